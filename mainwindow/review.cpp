// Marks of review: F flags the picture shown as 需复查, R marks it 已复查; the same key again
// takes the mark off. The marks are kept in the picture's folder for everyone working on it.

#include "mainwindow/mainwindow.h"

#include "folder/picturefolder.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/overview.h"
#include "mainwindow/windowconstants.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

namespace {

constexpr int noticeMs = 5000;

} // namespace

void MainWindow::addReviewCommands(QMenu *fileMenu)
{
    reviewMarks = new ReviewMarks::Keeper(this);
    QAction *flag = fileMenu->addAction(tr("标记需复查"));
    flag->setWhatsThis(
        tr("把这张图片标记为需复查（再按一次取消）；标记存在文件夹中，同伴也能看到"));
    flag->setShortcut(QKeySequence(Qt::Key_F));
    connect(flag, &QAction::triggered, this, [this] { markForReview(ReviewMarks::Mark::Flagged); });
    QAction *reviewed = fileMenu->addAction(tr("标记已复查"));
    reviewed->setWhatsThis(tr("把这张图片标记为已复查（再按一次取消）"));
    reviewed->setShortcut(QKeySequence(Qt::Key_R));
    connect(reviewed, &QAction::triggered, this,
            [this] { markForReview(ReviewMarks::Mark::Reviewed); });
    connect(reviewMarks, &ReviewMarks::Keeper::changed, this, [this] {
        if (overview)
            overview->marksChanged();
    });
    connect(reviewMarks, &ReviewMarks::Keeper::written, this,
            [this](const QString &name, ReviewMarks::Mark now) {
                statusBar()->showMessage(
                    now == ReviewMarks::Mark::None
                        ? tr("已取消 %1 的复查标记").arg(name)
                        : tr("%1：%2").arg(name, WindowConstants::reviewText(now)),
                    noticeMs);
            });
    connect(reviewMarks, &ReviewMarks::Keeper::failed, this, &MainWindow::showReviewFailure);
}

// The mark shows at once; the file is read and written aside, and the status bar says so
// once it is written (a box when it could not be).
void MainWindow::markForReview(ReviewMarks::Mark mark)
{
    // In the overview, the picture of the current cell.
    const QString path = overview->isVisible() ? overview->currentPath() : view->getImagePath();
    if (view->isDrawing() || path.isEmpty() || folder->indexOf(path) < 0)
        return;
    const QString name = QFileInfo(path).fileName();
    const ReviewMarks::Mark now =
        reviewMarks->markOf(name) == mark ? ReviewMarks::Mark::None : mark;
    reviewMarks->set(name, now);
}

void MainWindow::showReviewFailure(const QString &folder, ReviewMarks::Outcome outcome,
                                   AtomicFile::Failure why)
{
    const QString path = ReviewMarks::fileFor(folder);
    const QString record = QDir::toNativeSeparators(path);
    switch (outcome) {
    case ReviewMarks::Outcome::Written:
        return;
    case ReviewMarks::Outcome::Unreadable:
        QMessageBox::warning(this, tr("复查标记未保存"),
                             tr("%1\n不是可以读取的复查记录。为了不丢失其中的内容，标记没有保存，"
                                "文件保持原样。")
                                 .arg(record));
        return;
    case ReviewMarks::Outcome::TooBig:
        QMessageBox::warning(
            this, tr("复查标记未保存"),
            tr("%1\n会超过复查记录的上限 %2，标记没有保存，文件保持原样。")
                .arg(record, QLocale().formattedDataSize(ReviewMarks::largestFile)));
        return;
    case ReviewMarks::Outcome::Locked:
        QMessageBox::warning(this, tr("复查标记未保存"),
                             tr("无法写入 %1\n请检查文件夹的权限。").arg(record));
        return;
    case ReviewMarks::Outcome::NotWritten:
        QMessageBox::warning(this, tr("复查标记未保存"), AtomicFile::describe(why, path));
        return;
    }
}
