#ifndef VELMORA_MAINWINDOW_OVERVIEW_H
#define VELMORA_MAINWINDOW_OVERVIEW_H

#include "folder/reviewmarks.h"
#include "thumbs/thumbnails.h"

#include <QListView>

#include <functional>

class PictureFolder;
class OverviewModel;

// 总览: the folder's pictures as a grid of thumbnails in the folder's order, each with its
// mask over it, its name and its marks (done, unread mask file, 需复查, 已复查). Thumbnails
// arrive from the background; until then a placeholder stands in. The grid follows the
// folder as files come and go and masks are saved.
class Overview : public QListView
{
    Q_OBJECT

public:
    using MarkOf = std::function<ReviewMarks::Mark(const QString &name)>;
    Overview(PictureFolder *folder, MarkOf markOf, QWidget *parent);
    ~Overview() override;

    // The colours masks are drawn in; other colours make the thumbnails again.
    void setColours(const Thumbnails::Colours &colours);
    // Makes the picture at `path` the current cell.
    void showCurrent(const QString &path);
    QString currentPath() const;
    // Only the pictures flagged 需复查.
    void setOnlyFlagged(bool only);
    // The marks of review changed.
    void marksChanged();
    Thumbnails::Maker *maker() const { return thumbnails; }

signals:
    void openRequested(const QString &path);
    void closeRequested();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyFilter();

    PictureFolder *folder;
    Thumbnails::Maker *thumbnails;
    OverviewModel *cells;
    MarkOf markOf;
    bool onlyFlagged = false;
};

#endif
