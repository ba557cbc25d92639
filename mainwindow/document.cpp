// The window's document: opening pictures and folders, saving the mask, and the question
// before unsaved strokes are dropped.

#include "mainwindow/mainwindow.h"

#include "editor/maskfile.h"
#include "editor/picturefile.h"
#include "folder/picturefolder.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/windowconstants.h"
#include "platform/filebrowser.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>

using namespace WindowConstants;

namespace {

// How long the outcome of a quiet save stays over the status text, in milliseconds: the
// picture opened next writes its own status at once.
constexpr int quietSaveMessageMs = 5000;

// The wait cursor while the program works for long (decoding or encoding a big picture).
// Never held while a dialog waits for an answer.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

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
    if (!PictureFile::hasPictureSuffix(path) || QFileInfo(path).isDir())
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
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择图片"), lastDir,
                                     QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp)"));
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

void MainWindow::onOpenFolder()
{
    if (view->isDrawing())
        return;
    QSettings settings(organization(), application());
    const QString lastDir = settings.value(QStringLiteral("LastOpenDir"), QString()).toString();
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("选择文件夹"), lastDir);
    if (!chosen.isEmpty())
        openFolder(chosen);
}

void MainWindow::openFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QVector<FolderEntry> entries = PictureFolder::read(absolute);
    if (entries.isEmpty()) {
        statusLabel->setText(QStringLiteral("文件夹中没有图片: %1").arg(absolute));
        return;
    }
    const auto todo = std::find_if(entries.cbegin(), entries.cend(),
                                   [](const FolderEntry &entry) { return !entry.hasMask; });
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
        openPicture(previous);
}

void MainWindow::onNextPicture()
{
    const QString next = folder->next(view->getImagePath());
    if (!next.isEmpty())
        openPicture(next);
}

void MainWindow::loadPicture(const QString &path)
{
    bool loaded;
    {
        BusyCursor busy;
        // The next picture of the folder was usually read while the user painted.
        PictureFile::WithMask ready = readAhead.take(path);
        loaded = ready.isNull() ? view->loadImage(path) : view->loadImage(path, std::move(ready));
    }
    // A picture that could not be shown must not be reported as loaded.
    statusLabel->setText(
        (loaded ? QStringLiteral("已加载: %1") : QStringLiteral("无法加载: %1")).arg(path));
    if (loaded) {
        // "[*]" is where Qt shows the modified mark; a literal one in a name is doubled.
        QString name = QFileInfo(path).fileName();
        name.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
        setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, appTitle()));
        setWindowModified(view->isModified());
        // Its folder becomes the current one.
        folder->setFolder(QFileInfo(path).absolutePath());
    } else if (folder->indexOf(path) >= 0 && !QFileInfo::exists(path)) {
        folder->rescan(); // deleted after it was listed: it leaves the list
    }
    folderPanel->setCurrent(view->getImagePath());
    updateFolderActions();
    readNextAhead();
    QSettings settings(organization(), application());
    settings.setValue(QStringLiteral("LastOpenDir"), QFileInfo(path).absolutePath());
    onOpacityChanged(opacitySlider->value());
}

// The one place that asks before unsaved strokes are dropped: by opening another picture
// (the dialog, a drop, the folder's list, previous and next) or by closing; with auto-save
// on it saves instead of asking. Returns whether the caller may go on.
bool MainWindow::maybeSave()
{
    if (!view->isModified())
        return true;
    if (autoSaveAction->isChecked())
        return saveQuietly();
    QMessageBox box(QMessageBox::Question, QStringLiteral("保存更改"),
                    QStringLiteral("当前掩膜有未保存的修改，是否保存？"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("不保存"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return saveQuietly();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

// The file rules of 保存掩膜 without its questions, boxes and file browser: the outcome shows
// in the status bar for a while, and only a failure shows the same error box.
bool MainWindow::saveQuietly()
{
    const QString maskPath = MaskFile::pathFor(view->getImagePath());
    MaskFile::StoreOutcome outcome;
    {
        BusyCursor busy;
        outcome = MaskFile::store(view->exportMask(), maskPath);
    }
    switch (outcome) {
    case MaskFile::StoreOutcome::Written:
        statusBar()->showMessage(QStringLiteral("已保存: %1").arg(maskPath), quietSaveMessageMs);
        break;
    case MaskFile::StoreOutcome::Removed:
        statusBar()->showMessage(QStringLiteral("已删除旧掩膜: %1").arg(maskPath),
                                 quietSaveMessageMs);
        break;
    case MaskFile::StoreOutcome::NothingToRemove:
        break;
    case MaskFile::StoreOutcome::WriteFailed:
    case MaskFile::StoreOutcome::RemoveFailed:
        showSaveFailure(outcome, maskPath);
        return false;
    }
    view->markSaved();
    folder->refreshMask(view->getImagePath());
    return true;
}

void MainWindow::showSaveFailure(MaskFile::StoreOutcome outcome, const QString &maskPath)
{
    if (outcome == MaskFile::StoreOutcome::RemoveFailed)
        QMessageBox::critical(
            this, QStringLiteral("错误"),
            QStringLiteral("掩膜为空，但删除旧文件失败，请检查权限:\n%1").arg(maskPath));
    else
        QMessageBox::critical(this, QStringLiteral("错误"),
                              QStringLiteral("保存失败，请检查权限！"));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (view->isDrawing() || !maybeSave()) {
        event->ignore();
        return;
    }
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

void MainWindow::onSaveMask()
{
    if (view->isDrawing())
        return;
    const QString imagePath = view->getImagePath();
    if (imagePath.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("警告"), QStringLiteral("请先打开一张图片！"));
        return;
    }
    if (QMessageBox::question(this, QStringLiteral("确认保存"),
                              QStringLiteral("确定要将掩膜保存为文件吗？"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;

    const QString maskPath = MaskFile::pathFor(imagePath);
    MaskFile::StoreOutcome outcome;
    {
        BusyCursor busy;
        const QImage mask = view->exportMask();
        if (mask.isNull())
            return;
        outcome = MaskFile::store(mask, maskPath);
    }
    switch (outcome) {
    case MaskFile::StoreOutcome::Written:
        view->markSaved();
        QMessageBox::information(this, QStringLiteral("成功"),
                                 QStringLiteral("掩膜已保存至:\n%1").arg(maskPath));
        Platform::showInFileBrowser(maskPath);
        break;
    case MaskFile::StoreOutcome::WriteFailed:
    case MaskFile::StoreOutcome::RemoveFailed:
        showSaveFailure(outcome, maskPath);
        break;
    case MaskFile::StoreOutcome::NothingToRemove:
        view->markSaved();
        QMessageBox::information(this, QStringLiteral("提示"),
                                 QStringLiteral("掩膜为空，未找到对应的掩膜文件，无需操作。"));
        break;
    case MaskFile::StoreOutcome::Removed:
        view->markSaved();
        QMessageBox::information(this, QStringLiteral("成功"),
                                 QStringLiteral("掩膜为空，已删除旧的掩膜文件:\n%1").arg(maskPath));
        break;
    }
    folder->refreshMask(imagePath);
}
