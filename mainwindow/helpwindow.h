#ifndef VELMORA_MAINWINDOW_HELPWINDOW_H
#define VELMORA_MAINWINDOW_HELPWINDOW_H

#include <QDialog>
#include <QList>
#include <QString>

class QMenuBar;

// One line of the help: the keys or the gesture, the command, and what it does.
struct HelpLine
{
    QString keys;
    QString command;
    QString does;
};

// Every command and gesture of the editor: the menu commands with their shortcuts (or the
// menu that holds them) and what each does, read from the menus themselves so the help
// can't fall behind them, then the gestures of the pointer. The README's table is this list.
QList<HelpLine> helpLines(const QMenuBar *menus);

// The window of 快捷键与手势: the lines above in a table.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    HelpWindow(const QList<HelpLine> &lines, QWidget *parent);
};

#endif
