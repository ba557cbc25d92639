// What keeps masks from being lost: the mask file watched while its picture is open, the
// warning when it could not be read, recovery copies of unsaved work and the offer to bring
// them back, ending cleanly when the system asks, and pictures too big to open.

#include "mainwindow/mainwindow.h"

#include "document/maskdocument.h"
#include "files/classfiles.h"
#include "files/picturefile.h"
#include "folder/maskwatch.h"
#include "folder/picturefolder.h"
#include "mainwindow/busycursor.h"
#include "mainwindow/windowconstants.h"
#include "platform/memory.h"
#include "platform/termination.h"
#include "recovery/recovery.h"
#include "video/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include <cstdio>

using namespace WindowConstants;

namespace {

constexpr int noticeMs = 10000;

} // namespace

void MainWindow::createSafetyNet()
{
    maskWarningLabel = new QLabel(this);
    maskWarningLabel->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    maskWarningLabel->hide();
    statusBar()->insertWidget(1, maskWarningLabel);

    connect(&session->maskWatch(), &MaskWatch::touched, this, &MainWindow::onMaskFileTouched);

    // Said for as long as unsaved strokes have no copy anywhere.
    protectionLabel = new QLabel(tr("崩溃保护不可用"), this);
    protectionLabel->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    protectionLabel->setToolTip(
        tr("未保存的修改无法复制到任何恢复文件夹，程序意外退出时会丢失。请尽快保存。"));
    protectionLabel->hide();
    statusBar()->addPermanentWidget(protectionLabel);

    connect(view, &VelmoraView::modifiedChanged, this, &MainWindow::showProtection);
    connect(&session->recovery(), &Recovery::availabilityChanged, this,
            &MainWindow::showProtection);
    connect(Platform::TerminationRequests::instance(), &Platform::TerminationRequests::requested,
            this, &MainWindow::onTerminationRequested);
}

void MainWindow::showProtection()
{
    protectionLabel->setVisible(!session->recovery().isAvailable() && view->isModified());
}

// What became of the mask file, shown beside the status text and on the picture's row.
void MainWindow::showMaskFile(const MaskFile::Reading &reading)
{
    const QString warning = MaskFile::unreadText(reading.status);
    maskWarningLabel->setText(warning);
    maskWarningLabel->setVisible(!warning.isEmpty());
    const QString imagePath = view->getImagePath();
    folder->setMaskStatus(imagePath, reading.status);
}

// Another program wrote, replaced, created or removed the mask file. Without unsaved strokes
// the mask follows the file; with them, the file waits for the question of the next save.
void MainWindow::onMaskFileTouched()
{
    const QString imagePath = view->getImagePath();
    if (imagePath.isEmpty() || storing)
        return;
    folder->refreshMask(imagePath);
    if (!session->maskFileChanged())
        return;
    const QString maskPath = MaskFile::pathFor(imagePath);
    if (view->isModified() || view->isDrawing()) {
        statusBar()->showMessage(tr("掩膜文件已被其他程序修改，保存时会先询问: %1").arg(maskPath),
                                 noticeMs);
        return;
    }
    {
        BusyCursor busy;
        // Without memory for a new layer the mask stays as it is, and so does what is known
        // of the file: the next save still asks.
        if (!session->reloadMaskFile())
            return;
    }
    showMaskFile(session->maskFile());
    statusBar()->showMessage(tr("掩膜文件已被其他程序修改，已重新载入: %1").arg(maskPath),
                             noticeMs);
}

// Copies of unsaved work on this very picture, left by windows that are no longer running
// (or by this one), are offered back, newest first. 恢复 takes one over and ends the offer;
// 丢弃 removes one and goes on to the next; closing the box without an answer keeps the
// copies for the next time.
void MainWindow::offerRecovery(const QString &path)
{
    const QVector<Recovery::Found> copies = session->recovery().find(path);
    for (int i = 0; i < copies.size(); ++i) {
        const Recovery::Found &found = copies.at(i);
        const QString when =
            QLocale().toString(found.time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QString text =
            tr("%1 有未保存的修改（%2），是否恢复？").arg(Frames::displayName(path), when);
        if (found.maskChanged)
            text += QLatin1Char('\n') +
                    tr("掩膜文件在这些修改之后被其他程序改过；恢复后保存会覆盖那些改动。");
        if (copies.size() > 1)
            text += QLatin1Char('\n') +
                    tr("（第 %1 份，共 %2 份，较新的在前）").arg(i + 1).arg(copies.size());
        QMessageBox box(QMessageBox::Question, tr("恢复未保存的掩膜"), text,
                        QMessageBox::Yes | QMessageBox::Discard, this);
        box.button(QMessageBox::Yes)->setText(tr("恢复"));
        box.button(QMessageBox::Discard)->setText(tr("丢弃"));
        box.setDefaultButton(QMessageBox::Yes);
        const int answer = box.exec();
        if (answer == QMessageBox::Discard) {
            Recovery::remove(found.file);
            continue;
        }
        if (answer == QMessageBox::Yes)
            restoreCopy(found.file);
        return;
    }
}

void MainWindow::restoreCopy(const QString &file)
{
    const QImage kept = Recovery::read(file);
    // Shown as unsaved changes, one step that undo takes back to the mask file. A copy of
    // classes holds their numbers.
    const bool classes = kept.format() == QImage::Format_Indexed8;
    QImage numbers;
    QImage objects;
    const bool withObjects = Recovery::splitObjects(kept, &numbers, &objects);
    MaskDocument *document = view->getDocument();
    const bool restored = withObjects
                              ? !view->isDrawing() && document->applyClasses(numbers, objects)
                          : classes ? !view->isDrawing() && document->applyClasses(kept)
                                    : view->applyMask(kept);
    if (kept.isNull() || !restored)
        statusBar()->showMessage(tr("无法恢复: %1").arg(file), noticeMs);
    else if (!view->isModified())
        Recovery::remove(file); // the copy held nothing the mask file does not
    else
        session->recovery().adopt(file); // from now on this window's own copy keeps the strokes
}

// Ends without questions. Unsaved strokes are copied for recovery first; when no copy can
// be made anywhere, the program says on standard error which picture's strokes are lost and
// ends with a failure status, so whatever asked it to end can tell.
void MainWindow::onTerminationRequested()
{
    int status = 0;
    if (view->isModified() && !session->recovery().writeNow()) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(tr("Velmora: 崩溃保护不可用，%1 的未保存修改没有保留")
                                    .arg(QDir::toNativeSeparators(view->getImagePath()))));
        std::fflush(stderr);
        status = 1;
    }
    endingOnRequest = true;
    cancelOpening();
    close();
    QCoreApplication::exit(status);
}
