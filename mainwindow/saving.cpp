// Saving the mask: 保存掩膜 with its boxes, the quiet save behind the question before unsaved
// strokes are dropped and behind auto-save, and 掩膜另存为…. Every save beside the picture
// goes through storeBesidePicture(), which never lets a save destroy a mask it did not see.

#include "mainwindow/mainwindow.h"

#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/maskwatch.h"
#include "folder/picturefolder.h"
#include "folder/savetarget.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/progress.h"
#include "mainwindow/windowconstants.h"
#include "platform/filebrowser.h"
#include "platform/files.h"
#include "recovery/recovery.h"
#include "video/frames.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QtConcurrent>

using namespace WindowConstants;

namespace {

// How long the outcome of a quiet save stays over the status text, in milliseconds: the
// picture opened next writes its own status at once.
constexpr int quietSaveMessageMs = 5000;

} // namespace

// The one place that asks before unsaved strokes are dropped: by opening another picture
// (the dialog, a drop, the folder's list, previous and next) or by closing; with auto-save
// on it saves instead of asking. Returns whether the caller may go on.
bool MainWindow::maybeSave()
{
    if (!view->isModified())
        return true;
    if (autoSaveAction->isChecked())
        return saveQuietly();
    QMessageBox box(QMessageBox::Question, tr("保存更改"), tr("当前掩膜有未保存的修改，是否保存？"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(tr("保存"));
    box.button(QMessageBox::Discard)->setText(tr("不保存"));
    box.button(QMessageBox::Cancel)->setText(tr("取消"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return saveQuietly();
    case QMessageBox::Discard:
        // The user gave the strokes up: their recovery copy goes too.
        session->recovery().discard();
        return true;
    default:
        return false;
    }
}

// The file rules of 保存掩膜 without its questions, boxes and file browser: the outcome shows
// in the status bar for a while, and only a failure shows a box.
bool MainWindow::saveQuietly(bool pictureChangeSeen)
{
    MaskFile::StoreOutcome outcome;
    AtomicFile::Failure failure;
    if (!storeBesidePicture(outcome, failure, pictureChangeSeen))
        return false;
    const QString maskPath = MaskFile::pathFor(view->getImagePath());
    switch (outcome) {
    case MaskFile::StoreOutcome::Written:
        statusBar()->showMessage(tr("已保存: %1").arg(maskPath), quietSaveMessageMs);
        return true;
    case MaskFile::StoreOutcome::Removed:
        statusBar()->showMessage(tr("已删除旧掩膜: %1").arg(maskPath), quietSaveMessageMs);
        return true;
    case MaskFile::StoreOutcome::NothingToRemove:
        return true;
    case MaskFile::StoreOutcome::WriteFailed:
    case MaskFile::StoreOutcome::RemoveFailed:
        showSaveFailure(outcome, maskPath, failure);
        return false;
    }
    return false;
}

// Whether a save can start: never mid-stroke (a modal box would swallow the button's
// release), and only with a picture open, which the user is told to open first.
bool MainWindow::hasPictureToSave()
{
    if (view->isDrawing())
        return false;
    if (!view->getImagePath().isEmpty())
        return true;
    QMessageBox::warning(this, tr("警告"), tr("请先打开一张图片！"));
    return false;
}

void MainWindow::onSaveMask()
{
    if (!hasPictureToSave())
        return;
    if (quietSaveAction->isChecked()) {
        // Success shows in the status bar and the list; failures and questions still come
        // as boxes.
        saveQuietly();
        return;
    }
    QMessageBox question(QMessageBox::Question, tr("确认保存"), tr("确定要将掩膜保存为文件吗？"),
                         QMessageBox::Yes | QMessageBox::No, this);
    auto *quietFromNow = new QCheckBox(tr("以后不再询问"), &question);
    question.setCheckBox(quietFromNow);
    if (question.exec() != QMessageBox::Yes)
        return;
    if (quietFromNow->isChecked()) {
        // From this save on: no 成功 box, no file browser.
        quietSaveAction->setChecked(true);
        saveQuietly();
        return;
    }

    MaskFile::StoreOutcome outcome;
    AtomicFile::Failure failure;
    if (!storeBesidePicture(outcome, failure, false))
        return;
    const QString maskPath = MaskFile::pathFor(view->getImagePath());
    switch (outcome) {
    case MaskFile::StoreOutcome::Written:
        QMessageBox::information(this, tr("成功"), tr("掩膜已保存至:\n%1").arg(maskPath));
        // After dozens of saves a new file browser each time would fill the desktop.
        if (revealAction->isChecked())
            Platform::showInFileBrowser(maskPath);
        break;
    case MaskFile::StoreOutcome::WriteFailed:
    case MaskFile::StoreOutcome::RemoveFailed:
        showSaveFailure(outcome, maskPath, failure);
        break;
    case MaskFile::StoreOutcome::NothingToRemove:
        QMessageBox::information(this, tr("提示"),
                                 tr("掩膜为空，未找到对应的掩膜文件，无需操作。"));
        break;
    case MaskFile::StoreOutcome::Removed:
        QMessageBox::information(this, tr("成功"),
                                 tr("掩膜为空，已删除旧的掩膜文件:\n%1").arg(maskPath));
        break;
    }
}

// The one way a mask reaches the file beside its picture, for 保存掩膜, the quiet save and
// auto-save alike: the session keeps the file rules and asks through the window's boxes.
// Returns false when it stopped before touching the file, the user told or asked;
// otherwise `outcome` says what became of the file, which the picture's list shows.
bool MainWindow::storeBesidePicture(MaskFile::StoreOutcome &outcome, AtomicFile::Failure &failure,
                                    bool pictureChangeSeen)
{
    const PictureSession::Stored stored = session->store(pictureChangeSeen);
    if (stored.saveElsewhere)
        onSaveMaskAs();
    if (!stored.went)
        return false;
    outcome = stored.outcome;
    failure = stored.failure;
    const QString imagePath = view->getImagePath();
    const MaskDocument *document = view->getDocument();
    folder->setClasses(imagePath, classesPresent(*document), false);
    if (outcome == MaskFile::StoreOutcome::Written) {
        // Saved by hand, a filled-in mask is the user's own now.
        const QString name = QFileInfo(imagePath).fileName();
        if (reviewMarks->markOf(name) == ReviewMarks::Mark::Interpolated)
            reviewMarks->set(name, ReviewMarks::Mark::None);
    }
    if (outcome != MaskFile::StoreOutcome::WriteFailed &&
        outcome != MaskFile::StoreOutcome::RemoveFailed)
        showMaskFile(session->maskFile());
    folder->refreshMask(imagePath);
    return true;
}

void MainWindow::showSaveFailure(MaskFile::StoreOutcome outcome, const QString &maskPath,
                                 AtomicFile::Failure failure)
{
    if (outcome == MaskFile::StoreOutcome::RemoveFailed)
        QMessageBox::critical(this, tr("错误"),
                              tr("掩膜为空，但删除旧文件失败，请检查权限:\n%1").arg(maskPath));
    else if (failure == AtomicFile::Failure::LinkOutOfFolder)
        QMessageBox::critical(this, tr("错误"), AtomicFile::describe(failure, maskPath));
    else if (failure == AtomicFile::Failure::CannotCreate)
        // The file is never rewritten in place, where a crash half-way would destroy it.
        QMessageBox::critical(
            this, tr("错误"),
            tr("无法在文件夹 %1 中新建文件（文件夹不可写），掩膜文件没有改动，修改仍未保存。")
                .arg(QFileInfo(AtomicFile::targetOf(maskPath)).absolutePath()));
    else
        QMessageBox::critical(this, tr("错误"), tr("保存失败，请检查权限！"));
}

// Writes the mask to a file of the user's choice, in the format its suffix names (PNG when
// it has none). The picture stays open and the mask beside it stays as unsaved as it was.
void MainWindow::onSaveMaskAs()
{
    if (!hasPictureToSave())
        return;
    const QString imagePath = view->getImagePath();
    const QFileInfo picture(imagePath);
    const QString suggested =
        QStringLiteral("%1/%2_mask.png").arg(picture.absolutePath(), picture.completeBaseName());
    QString path = QFileDialog::getSaveFileName(
        this, tr("掩膜另存为"), suggested,
        QStringLiteral("PNG (*.png);;JPEG (*.jpg *.jpeg);;BMP (*.bmp)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    if (QFileInfo(path).absoluteFilePath() ==
        QFileInfo(MaskFile::pathFor(imagePath)).absoluteFilePath()) {
        // The file beside the picture keeps its own rules; the user chose it knowing
        // whether the picture changed.
        saveQuietly(true);
        return;
    }
    AtomicFile::Failure failure = AtomicFile::Failure::None;
    const bool written = session->saveAs(path, &failure);
    if (written)
        QMessageBox::information(this, tr("成功"), tr("掩膜已保存至:\n%1").arg(path));
    else if (failure != AtomicFile::Failure::None)
        showSaveFailure(MaskFile::StoreOutcome::WriteFailed, path, failure);
}
