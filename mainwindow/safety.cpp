// What keeps masks from being lost: the mask file watched while its picture is open, the
// warning when it could not be read, recovery copies of unsaved work and the offer to bring
// them back, ending cleanly when the system asks, and pictures too big to open.

#include "mainwindow/mainwindow.h"

#include "editor/picturefile.h"
#include "folder/maskwatch.h"
#include "folder/picturefolder.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/windowconstants.h"
#include "platform/memory.h"
#include "platform/termination.h"
#include "recovery/recovery.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

using namespace WindowConstants;

namespace {

// Memory left to the rest of the program when a picture is opened, as a part of what the
// picture needs: an eighth.
constexpr int openingMarginShift = 3;
constexpr int noticeMs = 10000;

} // namespace

void MainWindow::createSafetyNet()
{
    maskWarningLabel = new QLabel(this);
    maskWarningLabel->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    maskWarningLabel->hide();
    statusBar()->insertWidget(1, maskWarningLabel);

    maskWatch = new MaskWatch(this);
    connect(maskWatch, &MaskWatch::touched, this, &MainWindow::onMaskFileTouched);

    recovery = new Recovery(Recovery::defaultFolder(), this);
    recovery->setSource([this] { return view->exportMask(); });
    connect(view, &VelmoraView::maskEdited, this, [this] {
        if (view->isModified())
            recovery->changed();
    });
    connect(view, &VelmoraView::modifiedChanged, this, [this](bool modified) {
        if (!modified)
            recovery->discard();
    });
    connect(Platform::TerminationRequests::instance(), &Platform::TerminationRequests::requested,
            this, &MainWindow::onTerminationRequested);
}

// What became of the mask file, shown beside the status text and on the picture's row.
void MainWindow::rememberMaskFile(const MaskFile::Reading &reading)
{
    maskOnDisk = reading;
    replaceAgreed = FileStamp();
    const QString warning = unreadMaskText(reading.status);
    maskWarningLabel->setText(warning);
    maskWarningLabel->setVisible(!warning.isEmpty());
    const QString imagePath = view->getImagePath();
    folder->setMaskStatus(imagePath, reading.status);
    maskWatch->watch(MaskFile::pathFor(imagePath));
}

// Another program wrote, replaced, created or removed the mask file. Without unsaved strokes
// the mask follows the file; with them, the file waits for the question of the next save.
void MainWindow::onMaskFileTouched()
{
    const QString imagePath = view->getImagePath();
    if (imagePath.isEmpty() || storing)
        return;
    folder->refreshMask(imagePath);
    const QString maskPath = MaskFile::pathFor(imagePath);
    if (MaskFile::stampOf(maskPath) == maskOnDisk.stamp)
        return;
    if (view->isModified() || view->isDrawing()) {
        statusBar()->showMessage(tr("掩膜文件已被其他程序修改，保存时会先询问: %1").arg(maskPath),
                                 noticeMs);
        return;
    }
    MaskFile::Reading reading;
    QImage layer;
    {
        BusyCursor busy;
        layer = MaskFile::readLayer(maskPath, view->pictureSize(), &reading);
    }
    // Without memory for a new layer the mask stays as it is, and so does what is known of
    // the file: the next save still asks.
    if (!view->replaceMask(std::move(layer)))
        return;
    rememberMaskFile(reading);
    statusBar()->showMessage(tr("掩膜文件已被其他程序修改，已重新载入: %1").arg(maskPath),
                             noticeMs);
}

// A copy of unsaved work on this very picture, newer than its mask file, is offered back.
// Closing the box without an answer keeps the copy for the next time.
void MainWindow::offerRecovery(const QString &path)
{
    const Recovery::Found found = recovery->find(path);
    if (found.file.isEmpty())
        return;
    const QString when =
        QLocale().toString(found.time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QMessageBox box(QMessageBox::Question, tr("恢复未保存的掩膜"),
                    tr("%1 有未保存的修改（%2），是否恢复？").arg(QFileInfo(path).fileName(), when),
                    QMessageBox::Yes | QMessageBox::Discard, this);
    box.button(QMessageBox::Yes)->setText(tr("恢复"));
    box.button(QMessageBox::Discard)->setText(tr("丢弃"));
    box.setDefaultButton(QMessageBox::Yes);
    const int answer = box.exec();
    if (answer == QMessageBox::Discard) {
        recovery->remove(path);
        return;
    }
    if (answer != QMessageBox::Yes)
        return;
    const QImage kept = Recovery::read(found.file);
    // Shown as unsaved changes, one step that undo takes back to the mask file.
    if (kept.isNull() || !view->applyMask(kept))
        statusBar()->showMessage(tr("无法恢复: %1").arg(found.file), noticeMs);
    else if (!view->isModified())
        recovery->remove(path); // the copy held nothing the mask file does not
}

void MainWindow::onTerminationRequested()
{
    if (view->isModified())
        recovery->writeNow();
    endingOnRequest = true;
    close();
    QCoreApplication::exit(0);
}

// A picture whose decoded size would not fit is refused before it is decoded: a small file
// can announce billions of pixels.
bool MainWindow::fitsInMemory(const QString &path)
{
    const PictureFile::Footprint footprint = PictureFile::footprintOf(path);
    const qint64 available = Platform::memoryForNewData();
    if (footprint.bytes == 0 || available < 0 ||
        footprint.bytes + (footprint.bytes >> openingMarginShift) <= available)
        return true;
    const QLocale locale;
    QMessageBox::warning(this, tr("图片太大"),
                         tr("%1 有 %2 × %3 像素，打开需要约 %4 内存，当前可用约 %5。")
                             .arg(QFileInfo(path).fileName())
                             .arg(footprint.size.width())
                             .arg(footprint.size.height())
                             .arg(locale.formattedDataSize(footprint.bytes),
                                  locale.formattedDataSize(qMax<qint64>(0, available))));
    return false;
}
