#ifndef VELMORA_MAINWINDOW_CLASSPANEL_H
#define VELMORA_MAINWINDOW_CLASSPANEL_H

#include <QColor>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <array>

class QAction;
class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The side panel of classes: a row for each class with its colour, its key and how many
// pixels of the picture it holds, a check box that shows or hides it, and buttons to add a
// class, rename one and change its colour. Under each class, a row for each of its objects
// (number, pixels) that can be chosen, hidden or deleted. The window keeps the classes; the panel
// shows them and says what the user asked for.
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

    struct ObjectRow
    {
        int number = 0;
        int classNumber = 0;
        qint64 pixels = 0;
        bool hidden = false;
    };
    // The objects under their classes, `current` standing out (0: none).
    void showObjects(const QVector<ObjectRow> &objects, int current);

signals:
    void currentChosen(int number);
    void hiddenChanged(int number, bool hidden);
    void addAsked();
    void renameAsked(int number);
    void colourAsked(int number);
    void objectChosen(int number);
    void objectHiddenChanged(int number, bool hidden);
    void deleteObjectAsked(int number);

private:
    int selectedNumber() const;
    int selectedObject() const;

    QTreeWidget *tree = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *renameButton = nullptr;
    QPushButton *colourButton = nullptr;
    QAction *deleteObjectAction = nullptr;
    QCheckBox *protect = nullptr;
    bool filling = false;
};

#endif
