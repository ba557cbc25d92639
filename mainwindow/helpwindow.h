#ifndef VELMORA_MAINWINDOW_HELPWINDOW_H
#define VELMORA_MAINWINDOW_HELPWINDOW_H

#include <QDialog>
#include <QList>
#include <QString>

class QMenuBar;

// One line of the help: the keys or the gesture, and what it does.
struct HelpLine
{
    QString keys;
    QString does;
};

// Every key and gesture of the editor: the menu commands with their shortcuts, read from the
// menus themselves so the help can't fall behind them, then the gestures of the pointer.
QList<HelpLine> helpLines(const QMenuBar *menus);

// The window 帮助 > 快捷键与手势 shows: the lines above in a table.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    HelpWindow(const QList<HelpLine> &lines, QWidget *parent);
};

#endif
