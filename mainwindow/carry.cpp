// Carrying the mask of the picture shown before to this one: Shift+D and Shift+A go to the
// next or previous picture and bring the mask along, 掩膜 > 从上一张带入 brings it at any
// time. Frames of a sequence are mostly the same size and the camera and the objects moved a
// little, so each piece is then moved to where the picture under it went and fitted to the new
// picture's edges (带入后贴合, on by default). The session keeps the picture shown before.

#include "mainwindow/mainwindow.h"

#include "document/maskdocument.h"
#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "mainwindow/windowconstants.h"
#include "video/frames.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QtConcurrent>

using namespace WindowConstants;

namespace {

constexpr int noticeMs = 8000;

} // namespace

void MainWindow::addCarryNavigation(QMenu *fileMenu)
{
    QAction *previous = fileMenu->addAction(tr("上一张并带入掩膜"));
    previous->setWhatsThis(tr("打开上一张图片，并把刚离开的图片的掩膜带入（可撤销）"));
    previous->setShortcut(QKeySequence(Qt::SHIFT + Qt::Key_A));
    connect(previous, &QAction::triggered, this, [this] { goCarrying(false); });
    QAction *next = fileMenu->addAction(tr("下一张并带入掩膜"));
    next->setWhatsThis(tr("打开下一张图片，并把刚离开的图片的掩膜带入（可撤销）"));
    next->setShortcut(QKeySequence(Qt::SHIFT + Qt::Key_D));
    connect(next, &QAction::triggered, this, [this] { goCarrying(true); });
    // Available exactly when plain going is.
    connect(previousAction, &QAction::changed, previous,
            [this, previous] { previous->setEnabled(previousAction->isEnabled()); });
    connect(nextAction, &QAction::changed, next,
            [this, next] { next->setEnabled(nextAction->isEnabled()); });
    previous->setEnabled(false);
    next->setEnabled(false);
}

void MainWindow::addCarryCommands(QMenu *maskMenu)
{
    maskMenu->addSeparator();
    QAction *carry = maskMenu->addAction(tr("从上一张带入"));
    carry->setWhatsThis(tr("把上一张看过的图片的掩膜（尺寸相同时）加到这张图片上，作为一步可撤销"));
    connect(carry, &QAction::triggered, this, &MainWindow::carryFromLast);
    carrySnapsAction = maskMenu->addAction(tr("带入后贴合"));
    carrySnapsAction->setWhatsThis(
        tr("开启时（默认），带入的每一块掩膜先随画面和对象移动，再贴合到这张图片的边缘"));
    carrySnapsAction->setCheckable(true);
    carrySnapsAction->setChecked(QSettings(organization(), application())
                                     .value(QStringLiteral("CarrySnaps"), true)
                                     .toBool());
    connect(carrySnapsAction, &QAction::toggled, this, [](bool on) {
        QSettings(organization(), application()).setValue(QStringLiteral("CarrySnaps"), on);
    });
    connect(view, &VelmoraView::maskCarried, this, [this](int pieces, int unchanged, bool snapped) {
        if (!snapped)
            statusBar()->showMessage(tr("已从上一张带入掩膜（未贴合）"), noticeMs);
        else if (unchanged == 0)
            statusBar()->showMessage(tr("已从上一张带入掩膜并贴合（%1 块）").arg(pieces), noticeMs);
        else
            statusBar()->showMessage(tr("已从上一张带入掩膜：%1 块中有 %2 块无法贴合，只随画面移动")
                                         .arg(pieces)
                                         .arg(unchanged),
                                     noticeMs);
    });
}

void MainWindow::goCarrying(bool forward)
{
    if (view->isDrawing())
        return;
    const QString current = view->getImagePath();
    const QString target = forward ? folder->next(current) : folder->previous(current);
    if (target.isEmpty())
        return;
    stepToPicture(target);
    if (view->getImagePath() == target && session->lastShown().path == current)
        carryFromLast();
}

void MainWindow::carryFromLast()
{
    if (view->isDrawing() || view->pictureSize().isEmpty())
        return;
    const PictureSession::LastShown &last = session->lastShown();
    const QString name = Frames::displayName(last.path);
    const QSize here = view->pictureSize();
    switch (session->carryFromLast(carrySnapsAction->isChecked())) {
    case PictureSession::Carry::Started:
        if (view->isWorking())
            statusBar()->showMessage(
                tr("正在把带入的掩膜移到对象所在处并贴合…（Esc 只移动不贴合）"));
        break;
    case PictureSession::Carry::NothingShown:
        statusBar()->showMessage(tr("没有可带入的掩膜：还没有看过别的图片"), noticeMs);
        break;
    case PictureSession::Carry::OtherSize:
        statusBar()->showMessage(tr("%1 的尺寸（%2×%3）与这张图片（%4×%5）不同，掩膜未带入")
                                     .arg(name)
                                     .arg(last.size.width())
                                     .arg(last.size.height())
                                     .arg(here.width())
                                     .arg(here.height()),
                                 noticeMs);
        break;
    case PictureSession::Carry::NoMemory:
        statusBar()->showMessage(tr("内存不足，掩膜未带入"), noticeMs);
        break;
    case PictureSession::Carry::NothingToCarry:
        statusBar()->showMessage(tr("%1 没有掩膜，没有可带入的").arg(name), noticeMs);
        break;
    }
}
