#ifndef VELMORA_MAINWINDOW_FOLDERPANEL_H
#define VELMORA_MAINWINDOW_FOLDERPANEL_H

#include "folder/reviewmarks.h"

#include <QIcon>
#include <QString>
#include <QWidget>

class PictureFolder;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
struct FolderEntry;

// The side panel of the current folder: buttons to the previous and the next picture, how
// many pictures have a mask, and the list of pictures with a mark on those that have one and
// their marks of review, all of them or only those flagged.
class FolderPanel : public QWidget
{
    Q_OBJECT

public:
    FolderPanel(PictureFolder *folder, ReviewMarks::Keeper *marks, QAction *previous, QAction *next,
                QWidget *parent);

    // Highlights the picture at `path`, when it is listed.
    void setCurrent(const QString &path);
    ReviewMarks::Mark markOf(const QString &name) const;

signals:
    // A row was clicked.
    void pictureChosen(const QString &path);
    // 只看需复查 was turned on or off.
    void filterChanged(bool onlyFlagged);

private:
    void rebuild();
    void showMarks();
    void showMark(int index);
    void describe(QListWidgetItem *item, const FolderEntry &entry) const;
    void showProgress();
    void onItemClicked(QListWidgetItem *item);
    void applyFilter();

    PictureFolder *folder;
    QLabel *progress = nullptr;
    QListWidget *list = nullptr;
    QCheckBox *onlyFlagged = nullptr; // 只看需复查
    ReviewMarks::Keeper *marks;
    QString current;
    QIcon done;
    QIcon notDone;
    QIcon unread;
};

#endif
