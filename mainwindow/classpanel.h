#ifndef VELMORA_MAINWINDOW_CLASSPANEL_H
#define VELMORA_MAINWINDOW_CLASSPANEL_H

#include <QColor>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <array>

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The side panel of classes: a row for each class with its colour, its key and how many
// pixels of the picture it holds, a check box that shows or hides it, and buttons to add a
// class, rename one and change its colour. The window keeps the classes; the panel shows
// them and says what the user asked for.
class ClassPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ClassPanel(QWidget *parent = nullptr);

    // Rows for `names` (the first is class 1), `current` standing out.
    void showClasses(const QStringList &names, const QVector<QColor> &colours,
                     const QVector<bool> &hidden, int current);
    // Pixels of each class; index 0 is the background. Without counts the column is empty.
    void showCounts(const std::array<qint64, 256> *counts);
    QCheckBox *protectBox() const { return protect; }

signals:
    void currentChosen(int number);
    void hiddenChanged(int number, bool hidden);
    void addAsked();
    void renameAsked(int number);
    void colourAsked(int number);

private:
    int selectedNumber() const;

    QTreeWidget *tree = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *renameButton = nullptr;
    QPushButton *colourButton = nullptr;
    QCheckBox *protect = nullptr;
    bool filling = false;
};

#endif
