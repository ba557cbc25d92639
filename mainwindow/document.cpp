// The window's document: opening pictures and folders, saving the mask, and the question
// before unsaved strokes are dropped.

#include "mainwindow/mainwindow.h"

#include "document/maskdocument.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/picturefolder.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/progress.h"
#include "mainwindow/windowconstants.h"
#include "recovery/recovery.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>

using namespace WindowConstants;

namespace {

// The dropped picture: the first of the dragged items, when it is a local file with a
// picture suffix; empty for anything else (text, remote addresses, folders, other files).
QString droppedPicture(const QMimeData *data)
{
    if (!data->hasUrls() || data->urls().isEmpty())
        return QString();
    const QUrl first = data->urls().first();
    if (!first.isLocalFile())
        return QString();
    const QString path = first.toLocalFile();
    if ((!PictureFile::hasPictureSuffix(path) && !Frames::hasVideoSuffix(path)) ||
        QFileInfo(path).isDir())
        return QString();
    return path;
}

} // namespace

void MainWindow::onOpenImage()
{
    // A shortcut can fire in the middle of a stroke; a modal dialog would then swallow the
    // button's release and the stroke would go on painting with no button held.
    if (view->isDrawing())
        return;
    QSettings settings(organization(), application());
    const QString lastDir = settings.value(QStringLiteral("LastOpenDir"), QString()).toString();
    // Every format at once first; the four of old together, as before; then each other one.
    QStringList filters{PictureFile::filterOf(tr("所有图片"), PictureFile::pictureSuffixes()),
                        QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp)")};
    for (const PictureFile::Format &format : PictureFile::formats())
        if (!QStringList{"PNG", "JPEG", "BMP"}.contains(format.name))
            filters << PictureFile::filterOf(format.name, format.suffixes);
    filters << PictureFile::filterOf(tr("视频"), Frames::videoSuffixes());
    const QString path = QFileDialog::getOpenFileName(this, tr("选择图片"), lastDir,
                                                      filters.join(QStringLiteral(";;")));
    if (path.isEmpty())
        return;
    openPicture(path);
}

void MainWindow::openPicture(const QString &path)
{
    if (view->isDrawing() || !maybeSave())
        return;
    loadPicture(path);
}

// The previous or next frame of a sequence: shown at the zoom and place of the one left
// when both have one size.
void MainWindow::stepToPicture(const QString &path)
{
    if (view->isDrawing() || !maybeSave())
        return;
    loadPicture(path, VelmoraView::Placement::KeepWhenSameSize);
}

void MainWindow::onOpenFolder()
{
    if (view->isDrawing())
        return;
    QSettings settings(organization(), application());
    const QString lastDir = settings.value(QStringLiteral("LastOpenDir"), QString()).toString();
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("选择文件夹"), lastDir);
    if (!chosen.isEmpty())
        openFolder(chosen);
}

void MainWindow::openFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QVector<FolderEntry> entries = PictureFolder::read(absolute);
    if (entries.isEmpty()) {
        statusLabel->setText(tr("文件夹中没有图片: %1").arg(absolute));
        return;
    }
    const auto todo = std::find_if(entries.cbegin(), entries.cend(),
                                   [](const FolderEntry &entry) { return !entry.isDone(); });
    const FolderEntry &first = todo != entries.cend() ? *todo : entries.first();
    openPicture(absolute + QLatin1Char('/') + first.name);
}

void MainWindow::openPath(const QString &path)
{
    if (QFileInfo(path).isDir())
        openFolder(path);
    else
        openPicture(path);
}

void MainWindow::onPreviousPicture()
{
    const QString previous = folder->previous(view->getImagePath());
    if (!previous.isEmpty())
        stepToPicture(previous);
}

void MainWindow::onNextPicture()
{
    const QString next = folder->next(view->getImagePath());
    if (!next.isEmpty())
        stepToPicture(next);
}

// A video opens at its first frame without a mask, as a folder opens at its first picture
// without one. Empty, with the reason in the status bar, when it can't be read as a video.
QString MainWindow::frameToOpen(const QString &videoPath)
{
    // A long video's index takes a while to read: the window keeps drawing meanwhile.
    QString why;
    const auto found = std::make_shared<std::shared_ptr<VideoFile>>();
    {
        BusyCursor busy;
        const QFuture<void> indexing =
            QtConcurrent::run([found, videoPath] { *found = VideoFile::shared(videoPath); });
        opening = true;
        waitShowingProgress(indexing, this, tr("打开图片"),
                            tr("正在读取 %1 的帧…").arg(QFileInfo(videoPath).fileName()), false);
        opening = false;
        if (!indexing.isFinished() || endingOnRequest)
            return QString();
    }
    const std::shared_ptr<VideoFile> video = *found;
    if (!video) {
        VideoFile::open(videoPath, &why);
        statusLabel->setText(tr("无法加载: %1（%2）").arg(videoPath, why));
        return QString();
    }
    const QString masks = Frames::masksFolderOf(videoPath);
    const QVector<FolderEntry> frames = PictureFolder::read(masks);
    const auto todo = std::find_if(frames.cbegin(), frames.cend(),
                                   [](const FolderEntry &entry) { return !entry.isDone(); });
    return Frames::pathOf(videoPath, todo != frames.cend() ? int(todo - frames.cbegin()) + 1 : 1);
}

void MainWindow::loadPicture(const QString &opened, VelmoraView::Placement placement)
{
    QString path = opened;
    if (Frames::hasVideoSuffix(path) && PictureFile::isRegularFile(path)) {
        path = frameToOpen(path);
        if (path.isEmpty())
            return;
    }
    const QString shown = Frames::shownPath(path);
    // The next picture of the folder was usually read while the user painted.
    PictureFile::WithMask ready = session->readAhead().take(path);
    if (ready.isNull() && !session->mayDecode(path))
        return;
    bool loaded;
    bool classesDisagreed = false;
    bool mapRead = true;
    PictureSession::ListState listState = PictureSession::ListState::Read;
    // Taken before the picture is read (one read ahead was checked against the same file):
    // a change during the read shows as a change.
    const PictureSession::OnDisk before = PictureSession::lookBeforeReading(path);
    {
        BusyCursor busy;
        if (ready.isNull()) {
            // Read on a worker, so the window keeps drawing; a long read shows its progress
            // and can be cancelled, which keeps the current picture, as a failed open does.
            // Cancelling (or the program being asked to end) stops the decoder at its next
            // read, so a huge picture does not go on taking time and memory.
            const auto cancelled = std::make_shared<std::atomic_bool>(false);
            openingCancelled = cancelled;
            const QFuture<PictureFile::WithMask> read = QtConcurrent::run(
                [path, cancelled] { return PictureFile::readWithMask(path, cancelled.get()); });
            opening = true;
            const bool done =
                waitShowingProgress(read, this, tr("打开图片"),
                                    tr("正在打开 %1…").arg(Frames::displayName(path)), true);
            opening = false;
            openingCancelled.reset();
            if (!done || endingOnRequest) {
                cancelled->store(true);
                // Some decoders read all their input first and then work on without reading:
                // such a read may go on for a while, and the program's end does not wait for it.
                abandonedRead = read;
                statusLabel->setText(tr("已取消打开: %1").arg(shown));
                return;
            }
            ready = read.result();
        }
        classesDisagreed = ready.classesDisagreed;
        mapRead = ready.mapStatus != ClassFiles::MapStatus::Unreadable;
        // The picture is decoded afresh, not served by the pixmap cache, so a file changed
        // on disk shows as it is now.
        view->setNextPlacement(placement);
        loaded = session->open(path, std::move(ready), before, &listState);
        view->setNextPlacement(VelmoraView::Placement::Fit);
    }
    // A picture that could not be shown must not be reported as loaded.
    statusLabel->setText((loaded ? tr("已加载: %1") : tr("无法加载: %1")).arg(shown));
    if (loaded) {
        // "[*]" is where Qt shows the modified mark; a literal one in a name is doubled.
        QString name = Frames::displayName(path);
        name.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
        setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, appTitle()));
        setWindowModified(view->isModified());
        // Its folder becomes the current one.
        folder->setFolder(QFileInfo(path).absolutePath());
        showClassListState(listState);
        showMaskFile(session->maskFile());
        folder->setClasses(path, classesPresent(*view->getDocument()), classesDisagreed);
        if (classesDisagreed)
            statusLabel->setText(
                tr("已加载: %1（类别图与掩膜不一致：掩膜中没有类别的像素归入第一个类别）")
                    .arg(shown));
        else if (!mapRead)
            statusLabel->setText(tr("已加载: %1（类别图未能读取）").arg(shown));
    } else if (folder->indexOf(path) >= 0 && !PictureFile::isPicture(path)) {
        folder->rescan(); // deleted after it was listed: it leaves the list
    }
    folderPanel->setCurrent(view->getImagePath());
    updateFolderActions();
    readNextAhead();
    QSettings settings(organization(), application());
    settings.setValue(QStringLiteral("LastOpenDir"),
                      QFileInfo(Frames::sourceOf(path)).absolutePath());
    onOpacityChanged(opacitySlider->value());
    if (loaded)
        offerRecovery(path);
}

bool MainWindow::hasAbandonedWork() const
{
    return abandonedRead.isRunning();
}

void MainWindow::cancelOpening()
{
    if (openingCancelled)
        openingCancelled->store(true);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // While a picture is read or the mask written, the window waits for it to end.
    if (!endingOnRequest && (opening || storing || view->isDrawing() || !maybeSave())) {
        event->ignore();
        return;
    }
    saveWindowPlace();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPicture(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = droppedPicture(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    openPicture(path);
}
