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

// Asks whether a file that holds something this window never showed may be replaced or
// removed. 取消 is the default: a hasty Enter keeps the file.
bool confirmReplacing(QWidget *parent, const QString &title, const QString &text,
                      const QString &replaceText)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.button(QMessageBox::Yes)->setText(replaceText);
    box.button(QMessageBox::Cancel)->setText(MainWindow::tr("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

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
        recovery->discard();
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
// auto-save alike. Nothing is written or removed when the picture has gone or was replaced
// (unless `pictureChangeSeen`: the user chose this file after being told), when the mask
// can't be exported (that is a failure, never an empty mask), when the mask file is a
// picture or leads out of the folder without the user's word, or when the file on disk is
// not the one last read or written here and the user does not agree to replace it. Returns
// false when it stopped before touching the file, the user told or asked; otherwise
// `outcome` says what became of the file.
bool MainWindow::storeBesidePicture(MaskFile::StoreOutcome &outcome, AtomicFile::Failure &failure,
                                    bool pictureChangeSeen)
{
    const QString imagePath = view->getImagePath();
    const QString maskPath = MaskFile::pathFor(imagePath);
    if (!pictureStillThere(imagePath) || (!pictureChangeSeen && !pictureUnchanged(imagePath)) ||
        !matchClassList())
        return false;
    const QString label = tr("正在保存 %1…").arg(QFileInfo(maskPath).fileName());
    // With classes, the class map is written beside the binary mask.
    const MaskDocument *document = view->getDocument();
    const bool classes = document->hasClasses();
    const QString mapPath = ClassFiles::mapPathFor(imagePath);
    QImage mask;
    QImage map;
    {
        // The export too runs on a worker: it reads the mask, which nothing changes while
        // the window waits (input is held back, and the watch ignores the mask file).
        BusyCursor busy;
        storing = true;
        const QFuture<QImage> exported =
            QtConcurrent::run([document] { return document->exportMask(); });
        waitShowingProgress(exported, this, tr("保存掩膜"), label, false);
        mask = exported.result();
        if (classes && !mask.isNull()) {
            const QFuture<QImage> numbers = QtConcurrent::run(
                [document] { return ClassFiles::toIndexed(document->exportClasses()); });
            waitShowingProgress(numbers, this, tr("保存掩膜"), label, false);
            map = numbers.result();
        }
        storing = false;
    }
    if (mask.isNull() || (classes && map.isNull())) {
        QMessageBox::critical(this, tr("错误"), tr("内存不足，无法导出掩膜，掩膜文件未改动。"));
        return false;
    }
    // Removing an empty mask's file removes a link, never what it leads to; only a write
    // goes through.
    const bool empty = MaskFile::isEmpty(mask);
    if ((!empty && !mayWriteThrough(maskPath, imagePath)) || !mayReplaceMaskFile(maskPath, empty))
        return false;
    if (classes &&
        ((!empty && !mayWriteThrough(mapPath, imagePath)) || !mayReplaceClassMap(mapPath, empty)))
        return false;
    // A class map left beside a mask without classes would give erased pixels back as a
    // class the next time both are read: it goes, so the two files never disagree.
    // Only a file (or a link, which goes itself) is taken away: a folder or a fifo under
    // that name is no class map and does not stop the save.
    const QFileInfo mapFile(mapPath);
    const bool staleMap = !classes && (mapFile.isSymLink() || mapFile.isFile());
    if (staleMap && !mayReplaceClassMap(mapPath, true))
        return false;
    // A link out of the folder the user agreed to write through is the only one followed.
    const AtomicFile::Options options{AtomicFile::widestFor(maskPath, imagePath), linkAgreed};
    const AtomicFile::Options mapOptions{AtomicFile::widestFor(mapPath, imagePath), linkAgreed};
    failure = AtomicFile::Failure::None;
    {
        // Encoded and written on a worker; a long save shows its progress. Meanwhile the
        // watch on the mask file must not take this very write for another program's. The
        // class map goes first: a mask file written without it would be read back with its
        // pixels in the first class.
        BusyCursor busy;
        storing = true;
        AtomicFile::Failure *why = &failure;
        const QFuture<MaskFile::StoreOutcome> stored =
            QtConcurrent::run([mask, maskPath, options, map, mapPath, mapOptions, why, staleMap] {
                if (staleMap && !QFile::remove(mapPath))
                    return MaskFile::StoreOutcome::WriteFailed;
                if (!map.isNull()) {
                    const MaskFile::StoreOutcome mapOutcome =
                        MaskFile::store(map, mapPath, mapOptions, why);
                    if (mapOutcome == MaskFile::StoreOutcome::WriteFailed ||
                        mapOutcome == MaskFile::StoreOutcome::RemoveFailed)
                        return mapOutcome;
                }
                return MaskFile::store(mask, maskPath, options, why);
            });
        waitShowingProgress(stored, this, tr("保存掩膜"), label, false);
        outcome = stored.result();
        storing = false;
    }
    mask = QImage();
    map = QImage();
    if (classes || staleMap) {
        mapOnDisk = MaskFile::stampOf(mapPath);
        mapUnread = false;
        folder->setClasses(imagePath, classesPresent(*document), false);
    }
    if (outcome == MaskFile::StoreOutcome::Written) {
        rememberMaskFile({MaskFile::ReadStatus::Read, MaskFile::stampOf(maskPath)});
        // Saved by hand, a filled-in mask is the user's own now.
        const QString name = QFileInfo(imagePath).fileName();
        if (reviewMarks->markOf(name) == ReviewMarks::Mark::Interpolated)
            reviewMarks->set(name, ReviewMarks::Mark::None);
    } else if (outcome == MaskFile::StoreOutcome::Removed ||
               outcome == MaskFile::StoreOutcome::NothingToRemove)
        rememberMaskFile({MaskFile::ReadStatus::Absent, MaskFile::stampOf(maskPath)});
    if (outcome != MaskFile::StoreOutcome::WriteFailed &&
        outcome != MaskFile::StoreOutcome::RemoveFailed)
        view->markSaved();
    folder->refreshMask(imagePath);
    return true;
}

// A mask saved beside a picture that was moved or renamed would belong to no picture.
bool MainWindow::pictureStillThere(const QString &imagePath)
{
    if (PictureFile::isPicture(imagePath))
        return true;
    QMessageBox::critical(this, tr("图片已不在"),
                          tr("%1\n已被移动、重命名或删除，掩膜无法保存在它旁边。"
                             "请用“掩膜另存为…”(Ctrl+Shift+S) 保存掩膜。")
                              .arg(imagePath));
    return false;
}

// A mask saved beside a picture that was replaced since it was opened (another picture
// under the same name, perhaps of another size) would belong to a picture nobody painted on.
bool MainWindow::pictureUnchanged(const QString &imagePath)
{
    if (FileStamp::of(Frames::sourceOf(imagePath)) == pictureStamp &&
        Platform::identityOf(Frames::sourceOf(imagePath)) == pictureIdentity)
        return true;
    QMessageBox box(QMessageBox::Warning, tr("图片已在磁盘上更改"),
                    tr("%1\n在打开后已被替换或修改，掩膜可能与它不再对应，因此没有保存在它旁边。"
                       "可以用“掩膜另存为…”把掩膜保存到别处。")
                        .arg(imagePath),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(tr("掩膜另存为…"));
    box.button(QMessageBox::Cancel)->setText(tr("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    if (box.exec() == QMessageBox::Save)
        onSaveMaskAs();
    return false;
}

// Never through a link or a hard link onto a picture; through a link out of the picture's
// folder only when the user agrees, once for each picture opened.
bool MainWindow::mayWriteThrough(const QString &maskPath, const QString &imagePath)
{
    const SaveTarget::Verdict target = SaveTarget::check(maskPath, imagePath);
    switch (target.kind) {
    case SaveTarget::Kind::Free:
        return true;
    case SaveTarget::Kind::Picture:
        refuseWritingOnPicture(maskPath, target.file);
        return false;
    case SaveTarget::Kind::OtherMask:
        QMessageBox::critical(this, tr("不能覆盖其他掩膜"),
                              tr("%1\n与另一张图片的掩膜\n%2\n是同一个文件，保存会覆盖那个掩膜。"
                                 "掩膜没有保存。")
                                  .arg(maskPath, target.file));
        return false;
    case SaveTarget::Kind::OutsideFolder:
        if (target.file == linkAgreed)
            return true;
        if (!confirmReplacing(
                this, tr("掩膜文件是一个链接"),
                tr("%1\n是一个链接，指向图片文件夹之外的文件:\n%2\n保存会写入那个文件。")
                    .arg(maskPath, target.file),
                tr("写入")))
            return false;
        linkAgreed = target.file;
        return true;
    }
    return false;
}

void MainWindow::refuseWritingOnPicture(const QString &maskPath, const QString &picture)
{
    QMessageBox::critical(
        this, tr("不能覆盖图片"),
        tr("%1\n与图片\n%2\n是同一个文件，保存会用掩膜覆盖这张图片。掩膜没有保存。")
            .arg(maskPath, picture));
}

// Whether the file at `maskPath` may be written over (or removed, for an empty mask): yes
// when it is what this window read or wrote last, or when it is gone and nothing is lost.
// A file changed by another program, or one that was never read, is replaced only when the
// user says so.
bool MainWindow::mayReplaceMaskFile(const QString &maskPath, bool removing)
{
    const FileStamp now = MaskFile::stampOf(maskPath);
    if (!now.exists || now == replaceAgreed)
        return true;
    const QString replaceText = removing ? tr("删除") : tr("覆盖");
    bool agreed = true;
    if (now != maskOnDisk.stamp)
        agreed = confirmReplacing(
            this, tr("掩膜文件已被修改"),
            tr("%1 在打开后被其他程序修改过，覆盖会丢失那些修改。").arg(maskPath), replaceText);
    else if (MaskFile::isUnread(maskOnDisk.status))
        agreed =
            confirmReplacing(this, tr("掩膜文件未能读取"),
                             tr("%1\n%2，打开图片时没有显示。%3会丢失其中的内容。")
                                 .arg(maskPath, unreadMaskText(maskOnDisk.status), replaceText),
                             replaceText);
    // A save that fails after the answer does not ask again about the same file.
    if (agreed)
        replaceAgreed = now;
    return agreed;
}

// The class map beside the picture, like the mask file, is replaced or removed unasked only
// when it is what this window read or wrote last.
bool MainWindow::mayReplaceClassMap(const QString &mapPath, bool removing)
{
    const FileStamp now = MaskFile::stampOf(mapPath);
    if (!now.exists || (now == mapOnDisk && !mapUnread))
        return true;
    const QString replaceText = removing ? tr("删除") : tr("覆盖");
    const bool agreed =
        confirmReplacing(this, tr("类别图已被修改"),
                         (mapUnread ? tr("%1\n未能读取，打开图片时没有显示。%2会丢失其中的内容。")
                                    : tr("%1 在打开后被其他程序修改过，%2会丢失那些修改。"))
                             .arg(mapPath, replaceText),
                         replaceText);
    if (agreed) {
        mapOnDisk = now;
        mapUnread = false;
    }
    return agreed;
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
    const SaveTarget::Verdict target = SaveTarget::check(path, imagePath);
    if (target.kind == SaveTarget::Kind::Picture) {
        refuseWritingOnPicture(path, target.file);
        return;
    }
    const AtomicFile::Options options{AtomicFile::widestFor(path, imagePath), QString()};
    AtomicFile::Failure failure = AtomicFile::Failure::WriteFailed;
    bool written = false;
    {
        // Exported, encoded and written on a worker, as the file beside the picture is.
        BusyCursor busy;
        const VelmoraView *shown = view;
        AtomicFile::Failure *why = &failure;
        const QFuture<bool> work = QtConcurrent::run([shown, path, options, why] {
            return MaskFile::write(shown->exportMask(), path, {}, options, why);
        });
        waitShowingProgress(work, this, tr("掩膜另存为"),
                            tr("正在保存 %1…").arg(QFileInfo(path).fileName()), false);
        written = work.result();
    }
    if (written)
        QMessageBox::information(this, tr("成功"), tr("掩膜已保存至:\n%1").arg(path));
    else
        showSaveFailure(MaskFile::StoreOutcome::WriteFailed, path, failure);
}
