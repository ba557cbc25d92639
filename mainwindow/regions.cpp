// The 掩膜 menu (grow, shrink, invert, fill holes, clean up), the wand's panel, and what the
// status bar says about region gestures.

#include "mainwindow/mainwindow.h"

#include "mainwindow/windowconstants.h"
#include "region/regionops.h"

#include <QAction>
#include <QDockWidget>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>

using namespace WindowConstants;

namespace {

constexpr int hintMs = 0; // shown while the keys are held
constexpr int noticeMs = 5000;

} // namespace

void MainWindow::createMaskMenu()
{
    QMenu *maskMenu = menuBar()->addMenu(tr("掩膜"));
    QAction *grow = maskMenu->addAction(tr("扩大…"));
    grow->setWhatsThis(tr("掩膜向外扩大若干像素（到掩膜像素中心的距离不超过该值的像素加入）"));
    connect(grow, &QAction::triggered, this, [this] { changeMaskBy(true); });
    QAction *shrink = maskMenu->addAction(tr("收缩…"));
    shrink->setWhatsThis(tr("掩膜向内收缩若干像素；图片边缘不算掩膜的边缘"));
    connect(shrink, &QAction::triggered, this, [this] { changeMaskBy(false); });
    QAction *invert = maskMenu->addAction(tr("反选"));
    invert->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_I));
    invert->setWhatsThis(tr("掩膜内外互换"));
    connect(invert, &QAction::triggered, this, [this] {
        if (!view->isDrawing())
            view->invertMask();
    });
    maskMenu->addSeparator();
    QAction *fill = maskMenu->addAction(tr("填充空洞"));
    fill->setWhatsThis(tr("不接触图片边缘的未选区域全部并入掩膜"));
    connect(fill, &QAction::triggered, this, [this] {
        if (!view->isDrawing())
            view->transformMask(&Region::holesFilled);
    });
    QAction *clean = maskMenu->addAction(tr("清理小块…"));
    clean->setWhatsThis(tr("去掉小于若干像素的掩膜碎块，再填上小于若干像素的空洞"));
    connect(clean, &QAction::triggered, this, [this] {
        if (view->isDrawing() || view->pictureSize().isEmpty())
            return;
        const int pixels = askPixels(tr("清理小块"), tr("小于多少像素的碎块和空洞:"),
                                     QStringLiteral("SpeckPixels"), 64, 10'000'000);
        if (pixels > 0)
            view->transformMask(
                [pixels](const QImage &mask) { return Region::cleaned(mask, pixels); });
    });
    addCarryCommands(maskMenu);
    addFillCommand(maskMenu);
    for (QAction *action : maskMenu->actions())
        maskActions << action;
}

// 扩大… and 收缩…: the pixel count, asked starting from the last one used.
void MainWindow::changeMaskBy(bool growing)
{
    if (view->isDrawing() || view->pictureSize().isEmpty())
        return;
    const int pixels = askPixels(growing ? tr("扩大掩膜") : tr("收缩掩膜"), tr("像素 (1–200):"),
                                 QStringLiteral("GrowPixels"), 5, 200);
    if (pixels <= 0)
        return;
    view->transformMask([growing, pixels](const QImage &mask) {
        return growing ? Region::grown(mask, pixels) : Region::shrunk(mask, pixels);
    });
}

// Asks for a count from 1 to `most`, remembered under `key`; 0 when the user cancels.
int MainWindow::askPixels(const QString &title, const QString &label, const QString &key,
                          int initial, int most)
{
    QSettings settings(organization(), application());
    QInputDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, most);
    dialog.setIntValue(qBound(1, settings.value(key, initial).toInt(), most));
    dialog.setOkButtonText(tr("确定"));
    dialog.setCancelButtonText(tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    settings.setValue(key, dialog.intValue());
    return dialog.intValue();
}

// The wand's tolerance in a panel under the picture list, remembered between runs.
void MainWindow::createSelectionPanel()
{
    auto *panel = new QWidget(this);
    auto *layout = new QHBoxLayout(panel);
    auto *slider = new QSlider(Qt::Horizontal, panel);
    wandToleranceSpin = new QSpinBox(panel);
    slider->setRange(0, 255);
    wandToleranceSpin->setRange(0, 255);
    layout->addWidget(slider);
    layout->addWidget(wandToleranceSpin);
    connect(slider, &QSlider::valueChanged, wandToleranceSpin, &QSpinBox::setValue);
    connect(wandToleranceSpin, QOverload<int>::of(&QSpinBox::valueChanged), slider,
            &QSlider::setValue);
    connect(wandToleranceSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int value) {
                view->setWandTolerance(value);
                QSettings(organization(), application())
                    .setValue(QStringLiteral("WandTolerance"), value);
            });
    auto *form = new QWidget(this);
    auto *formLayout = new QFormLayout(form);
    formLayout->addRow(tr("魔棒容差"), panel);
    const int stored =
        QSettings(organization(), application()).value(QStringLiteral("WandTolerance"), 32).toInt();
    wandToleranceSpin->setValue(qBound(0, stored, 255));
    view->setWandTolerance(wandToleranceSpin->value());
    wandToleranceSpin->setToolTip(tr("Ctrl+单击: 魔棒；按住拖动可临时改变容差"));

    selectionDock = new QDockWidget(tr("选区"), this);
    selectionDock->setObjectName(QStringLiteral("Selection"));
    selectionDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    selectionDock->setWidget(form);
    addDockWidget(Qt::RightDockWidgetArea, selectionDock);
    QAction *toggle = selectionDock->toggleViewAction();
    toggle->setWhatsThis(tr("魔棒容差（0–255，默认 32）"));
    menuBar()->actions().last()->menu()->addAction(toggle);
}

// What the status bar says while keys are held, while a region is computed, and after.
void MainWindow::connectRegionMessages()
{
    // A hint takes the bar only while its keys are held, and gives back what it replaced.
    const QStringList hints{
        tr("Ctrl+Shift+拖动: 贴边套索（加入掩膜）"), tr("Ctrl+Shift+拖动: 贴边套索"),
        tr("Ctrl+单击: 魔棒（加入掩膜），拖动改变容差"), tr("Ctrl+单击: 魔棒，拖动改变容差")};
    const auto isHint = [hints](const QString &message) {
        return hints.contains(message);
    };
    connect(view, &VelmoraView::modifiersChanged, this,
            [this, hints, isHint](Qt::KeyboardModifiers keys) {
                const bool moving = view->getMode() == EditorMode::Move;
                QString hint;
                if ((keys & Qt::ControlModifier) && (keys & Qt::ShiftModifier))
                    hint = hints.at(moving ? 0 : 1);
                else if (keys & Qt::ControlModifier)
                    hint = hints.at(moving ? 2 : 3);
                if (!hint.isEmpty()) {
                    if (!showingHint || !isHint(statusBar()->currentMessage()))
                        replacedByHint = statusBar()->currentMessage();
                    showingHint = true;
                    statusBar()->showMessage(hint, hintMs);
                } else if (showingHint) {
                    showingHint = false;
                    // A message shown over the hint meanwhile (a quiet save's path after Ctrl+S)
                    // stays; otherwise what the hint replaced comes back.
                    if (!isHint(statusBar()->currentMessage()))
                        return;
                    if (replacedByHint.isEmpty())
                        statusBar()->clearMessage();
                    else
                        statusBar()->showMessage(replacedByHint, noticeMs);
                }
            });
    connect(view, &VelmoraView::busyChanged, this, [this](bool busy) {
        if (busy)
            statusBar()->showMessage(tr("正在计算选区…（Esc 取消）"));
        else
            statusBar()->clearMessage();
        for (QAction *action : qAsConst(maskActions))
            action->setEnabled(!busy);
    });
    connect(view, &VelmoraView::snapFellBack, this, [this] {
        statusBar()->showMessage(tr("贴边套索未找到对象，已按普通套索填充"), noticeMs);
    });
    // Said once: after that the user knows the oldest steps go.
    connect(view, &VelmoraView::historyTrimmed, this, [this, said = false]() mutable {
        if (said)
            return;
        said = true;
        statusBar()->showMessage(tr("撤销记录超出内存上限，最早的步骤已无法撤销"), noticeMs);
    });
    connect(view, &VelmoraView::wandToleranceShown, this,
            [this](int tolerance) { statusBar()->showMessage(tr("魔棒容差: %1").arg(tolerance)); });
}
