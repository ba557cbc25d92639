#include "mainwindow/mainwindow.h"

#include "folder/picturefolder.h"
#include "mainwindow/windowconstants.h"
#include "recovery/recovery.h"

#include <QAction>
#include <QButtonGroup>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr int defaultBrushSize = 20;
constexpr int defaultEraserSize = 30;
constexpr int defaultOpacity = 50; // percent
// A window frame's usual size: borders left and right, title bar and border above and below.
constexpr QSize frameAllowance(16, 40);

// Sets a control's value without letting it report the change back.
template <typename Control> void setSilently(Control *control, int value)
{
    control->blockSignals(true);
    control->setValue(value);
    control->blockSignals(false);
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(WindowConstants::appTitle());
    resize(1200, 850);
    // A picture dropped anywhere on the window opens; the view passes drops on to it.
    setAcceptDrops(true);

    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);

    sessionBoxes.reset(new SessionBoxes(this, storing));
    session.reset(new PictureSession(*sessionBoxes, Recovery::defaultFolders()));
    view = new VelmoraView(session->document(), this);
    centralLayout->addWidget(view);

    connect(view, &VelmoraView::modeChanged, this, &MainWindow::onModeChangedFromView);
    connect(view, &VelmoraView::canUndoChanged, view,
            [this](bool canUndo) { undoAction->setEnabled(canUndo); });
    connect(view, &VelmoraView::currentDrawingSizeChanged, this,
            &MainWindow::onCurrentDrawingSizeChanged);
    connect(view, &VelmoraView::strokeOutOfMemory, this, &MainWindow::onStrokeOutOfMemory);
    connect(view, &VelmoraView::regionOutOfMemory, this,
            [this] { statusLabel->setText(tr("内存不足，操作没有完成，掩膜未改动")); });
    connect(view, &VelmoraView::modifiedChanged, this, &QWidget::setWindowModified);
    view->setAcceptDrops(false);

    QToolBar *toolbar = addToolBar(QStringLiteral("Tools"));
    // The name under which the window keeps the toolbar's place between runs.
    toolbar->setObjectName(QStringLiteral("Tools"));
    toolbar->setIconSize(QSize(24, 24));
    QFont toolbarFont = font();
    toolbarFont.setPointSize(11);
    toolbar->setFont(toolbarFont);

    QAction *openAction = toolbar->addAction(tr("打开图片"));

    openAction->setWhatsThis(tr("打开一张图片；已保存的掩膜会一起显示"));
    openAction->setShortcut(QKeySequence::Open);
    connect(openAction, &QAction::triggered, this, &MainWindow::onOpenImage);
    QAction *saveAction = toolbar->addAction(tr("保存掩膜"));
    saveAction->setWhatsThis(tr("把掩膜保存在图片旁边（空掩膜会删除旧的掩膜文件）"));
    saveAction->setShortcut(QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &MainWindow::onSaveMask);
    toolbar->addSeparator();

    toolbar->addWidget(createModeSelector());
    toolbar->addSeparator();

    QAction *actualSizeAction = toolbar->addAction(tr("1:1显示"));

    actualSizeAction->setWhatsThis(tr("每个图片像素对应一个屏幕像素"));
    actualSizeAction->setToolTip(tr("恢复原图大小"));
    connect(actualSizeAction, &QAction::triggered, view, &VelmoraView::resetZoom);
    toolbar->addSeparator();

    undoAction = toolbar->addAction(tr("撤销"));

    undoAction->setWhatsThis(tr("撤销上一笔或上一次清空（最多 21 步）"));
    undoAction->setEnabled(false);
    undoAction->setShortcut(QKeySequence::Undo);
    connect(undoAction, &QAction::triggered, this, &MainWindow::onUndo);
    resetAction = toolbar->addAction(tr("重置"));
    resetAction->setWhatsThis(tr("清空整个掩膜（先询问，可撤销）"));
    connect(resetAction, &QAction::triggered, this, &MainWindow::onReset);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(tr(" 涂鸦笔刷: "), toolbarFont));
    toolbar->addWidget(
        createSizeControl(brushSizeSlider, brushSizeSpin, defaultBrushSize, toolbarFont));
    connect(brushSizeSlider, &QAbstractSlider::valueChanged, this, &MainWindow::onBrushSizeChanged);
    connect(brushSizeSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &MainWindow::onBrushSizeChanged);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(tr(" 橡皮擦笔刷: "), toolbarFont));
    toolbar->addWidget(
        createSizeControl(eraserSizeSlider, eraserSizeSpin, defaultEraserSize, toolbarFont));
    connect(eraserSizeSlider, &QAbstractSlider::valueChanged, this,
            &MainWindow::onEraserSizeChanged);
    connect(eraserSizeSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &MainWindow::onEraserSizeChanged);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(tr(" 透明度: "), toolbarFont));
    opacitySlider = new QSlider(Qt::Horizontal, this);
    opacitySlider->setRange(10, 100);
    opacitySlider->setValue(defaultOpacity);
    opacitySlider->setFixedWidth(100);
    connect(opacitySlider, &QAbstractSlider::valueChanged, this, &MainWindow::onOpacityChanged);
    toolbar->addWidget(opacitySlider);
    opacityValueLabel = new QLabel(QString::number(defaultOpacity) + QLatin1Char('%'), this);
    opacityValueLabel->setFixedWidth(35);
    opacityValueLabel->setFont(toolbarFont);
    toolbar->addWidget(opacityValueLabel);

    folder = new PictureFolder(this);
    createMenus(openAction, saveAction, actualSizeAction);
    createFolderPanel();
    createSelectionPanel();
    createClassPanel();
    createOverview(menuBar()->actions().last()->menu());
    // Last in 视图, after the panels.
    createLanguageMenu(menuBar()->actions().last()->menu());
    createHelpMenu();
    connectRegionMessages();
    createStatusBar();
    createSafetyNet();
    widenToShowTheToolbar(toolbar);
    restoreWindowPlace(toolbar);

    eraserSizeSlider->setEnabled(false);
    eraserSizeSpin->setEnabled(false);
    brushSizeSlider->setEnabled(false);
    brushSizeSpin->setEnabled(false);
}

// The view goes before the session whose document it shows.
MainWindow::~MainWindow()
{
    delete view;
}

// With some fonts the Chinese captions make the toolbar wider than the default 1200 pixels,
// and the opacity control would hide behind the toolbar's extension button. The window then
// grows to show every control, as far as the screen has room.
void MainWindow::widenToShowTheToolbar(QToolBar *toolbar)
{
    int wanted = toolbar->sizeHint().width();
    const QScreen *shown = screen();
    if (shown)
        wanted = qMin(wanted, shown->availableGeometry().width() - frameAllowance.width());
    if (wanted <= width())
        return;
    resize(wanted, height());
    // A window that grows stays inside the screen's free area.
    if (shown) {
        const QRect room = shown->availableGeometry();
        const int overRight = x() + wanted + frameAllowance.width() - room.right() - 1;
        if (overRight > 0)
            move(qMax(room.x(), x() - overRight), y());
    }
}

// The window comes back where the user left it, its panels too; restoreGeometry() moves it
// onto a screen that exists now. The first time it is made to fit the screen's free area
// (a 1366x768 laptop has less than the 850 pixels asked for) and centred there.
void MainWindow::restoreWindowPlace(QToolBar *toolbar)
{
    QSettings settings(WindowConstants::organization(), WindowConstants::application());
    restoreState(settings.value(QStringLiteral("WindowState")).toByteArray());
    // Whether the list is shown is the user's latest choice, kept on its own.
    folderDock->setVisible(settings.value(QStringLiteral("PictureListVisible"), true).toBool());
    if (restoreGeometry(settings.value(QStringLiteral("WindowGeometry")).toByteArray())) {
        // A window that showed the whole toolbar shows it again, though it may need more room
        // now (another language, a font); one the user made narrower stays so.
        if (settings.value(QStringLiteral("WindowShowedToolbar"), true).toBool())
            widenToShowTheToolbar(toolbar);
        return;
    }
    const QScreen *shown = screen();
    if (!shown)
        return;
    const QRect room = shown->availableGeometry();
    // The frame is not known before the window is shown; room is left for a usual one.
    resize(size().boundedTo(room.size() - frameAllowance));
    const QSize framed = size() + frameAllowance;
    move(room.x() + (room.width() - framed.width()) / 2,
         room.y() + (room.height() - framed.height()) / 2);
}

void MainWindow::saveWindowPlace()
{
    QSettings settings(WindowConstants::organization(), WindowConstants::application());
    settings.setValue(QStringLiteral("WindowGeometry"), saveGeometry());
    settings.setValue(QStringLiteral("WindowState"), saveState());
    if (const auto *toolbar = findChild<QToolBar *>(QStringLiteral("Tools")))
        settings.setValue(QStringLiteral("WindowShowedToolbar"),
                          width() >= toolbar->sizeHint().width());
}

QWidget *MainWindow::createModeSelector()
{
    auto *selector = new QWidget(this);
    auto *layout = new QHBoxLayout(selector);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(15);

    moveRadio = new QRadioButton(tr("移动"));
    doodleRadio = new QRadioButton(tr("涂鸦"));
    eraserRadio = new QRadioButton(tr("橡皮擦"));
    QFont modeFont = moveRadio->font();
    modeFont.setWeight(QFont::Bold);
    modeFont.setPointSize(12);
    for (QRadioButton *radio : {moveRadio, doodleRadio, eraserRadio}) {
        radio->setFont(modeFont);
        layout->addWidget(radio);
    }
    // The gestures each painting mode has beyond the plain stroke.
    const QString gestures = tr("Shift+拖动: 套索填充\nCtrl+Shift+拖动: 贴边套索\n"
                                "Ctrl+单击: 魔棒（拖动改变容差）");
    doodleRadio->setToolTip(gestures);
    eraserRadio->setToolTip(gestures);

    // The ids are the EditorMode values, so a clicked id goes straight to the view.
    modeGroup = new QButtonGroup(this);
    modeGroup->addButton(moveRadio, static_cast<int>(EditorMode::Move));
    modeGroup->addButton(doodleRadio, static_cast<int>(EditorMode::Doodle));
    modeGroup->addButton(eraserRadio, static_cast<int>(EditorMode::Eraser));
    moveRadio->setChecked(true);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(modeGroup, &QButtonGroup::idClicked, this, &MainWindow::onModeGroupClicked);
#else
    connect(modeGroup, QOverload<int>::of(&QButtonGroup::buttonClicked), this,
            &MainWindow::onModeGroupClicked);
#endif
    return selector;
}

QWidget *MainWindow::createSizeControl(QSlider *&slider, QSpinBox *&spin, int value,
                                       const QFont &toolbarFont)
{
    auto *control = new QWidget(this);
    auto *layout = new QHBoxLayout(control);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(WindowConstants::minToolSize, WindowConstants::maxToolSize);
    slider->setValue(value);
    slider->setFixedWidth(100);
    spin = new QSpinBox(this);
    spin->setRange(WindowConstants::minToolSize, WindowConstants::maxToolSize);
    spin->setValue(value);
    spin->setFixedWidth(55);
    spin->setFont(toolbarFont);
    layout->addWidget(slider);
    layout->addWidget(spin);
    return control;
}

QLabel *MainWindow::createCaption(const QString &text, const QFont &toolbarFont)
{
    auto *caption = new QLabel(text, this);
    caption->setFont(toolbarFont);
    return caption;
}

void MainWindow::createStatusBar()
{
    statusLabel = new QLabel(tr("请打开图片"), this);
    QFont statusFont = statusLabel->font();
    statusFont.setPointSize(11);
    statusLabel->setFont(statusFont);
    statusBar()->addWidget(statusLabel, 1);

    auto *contactLabel = new QLabel(QStringLiteral("Velmora 2.0"), this);
    contactLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont makerFont = contactLabel->font();
    makerFont.setPointSize(10);
    contactLabel->setFont(makerFont);
    contactLabel->setStyleSheet(
        QStringLiteral("color: #444444; font-family: Arial; padding-right: 10px;"));

    auto *nameLabel = new QLabel(QStringLiteral("Ostrenza"), this);
    nameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    nameLabel->setFont(makerFont);
    nameLabel->setStyleSheet(QStringLiteral(
        "color: #444444; font-family: Arial; font-weight: bold; padding-right: 2px;"));

    // Where the pointer is, in picture pixels, and the zoom: numbers, the same in any language.
    positionLabel = new QLabel(this);
    positionLabel->setFont(makerFont);
    positionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    positionLabel->setMinimumWidth(
        positionLabel->fontMetrics().horizontalAdvance(QStringLiteral("(99999, 99999)   9999%")));
    connect(view, &VelmoraView::pointerPixelChanged, this, [this](QPoint pixel) {
        pointerPixel = pixel;
        showPosition();
    });
    connect(view, &VelmoraView::zoomChanged, this, [this](qreal scale) {
        zoom = scale;
        showPosition();
    });
    showPosition();

    statusBar()->addPermanentWidget(positionLabel, 0);
    statusBar()->addPermanentWidget(contactLabel, 0);
    statusBar()->addPermanentWidget(nameLabel, 0);
}

void MainWindow::showPosition()
{
    const QString percent = QStringLiteral("%1%").arg(qRound(zoom * 100));
    positionLabel->setText(pointerPixel.x() < 0 ? percent
                                                : QStringLiteral("(%1, %2)   %3")
                                                      .arg(pointerPixel.x())
                                                      .arg(pointerPixel.y())
                                                      .arg(percent));
}

void MainWindow::onBrushSizeChanged(int size)
{
    if (brushSizeSlider->value() != size)
        setSilently(brushSizeSlider, size);
    if (brushSizeSpin->value() != size)
        setSilently(brushSizeSpin, size);
    view->setBrushSize(size);
}

void MainWindow::onEraserSizeChanged(int size)
{
    if (eraserSizeSlider->value() != size)
        setSilently(eraserSizeSlider, size);
    if (eraserSizeSpin->value() != size)
        setSilently(eraserSizeSpin, size);
    view->setEraserSize(size);
}

void MainWindow::onOpacityChanged(int value)
{
    view->setMaskOpacity(value);
    opacityValueLabel->setText(QString::number(value) + QLatin1Char('%'));
}

void MainWindow::onModeGroupClicked(int id)
{
    view->setMode(static_cast<EditorMode>(id));
}

void MainWindow::onModeChangedFromView(EditorMode newMode)
{
    showModeInToolMenu(newMode);
    modeGroup->blockSignals(true);
    moveRadio->setChecked(newMode == EditorMode::Move);
    doodleRadio->setChecked(newMode == EditorMode::Doodle);
    eraserRadio->setChecked(newMode == EditorMode::Eraser);

    const bool doodle = newMode == EditorMode::Doodle;
    const bool eraser = newMode == EditorMode::Eraser;
    brushSizeSlider->setEnabled(doodle);
    brushSizeSpin->setEnabled(doodle);
    eraserSizeSlider->setEnabled(eraser);
    eraserSizeSpin->setEnabled(eraser);

    switch (newMode) {
    case EditorMode::Move:
        statusLabel->setText(tr("当前模式：移动 (右键单击切换涂鸦 / 双击切换橡皮擦)"));
        break;
    case EditorMode::Doodle:
        statusLabel->setText(tr("当前模式：涂鸦 (右键单击切换移动 / 双击切换橡皮擦)"));
        onCurrentDrawingSizeChanged(view->getBrushSize());
        break;
    case EditorMode::Eraser:
        statusLabel->setText(tr("当前模式：橡皮擦 (右键单击切换回之前模式)"));
        onCurrentDrawingSizeChanged(view->getEraserSize());
        break;
    }
    modeGroup->blockSignals(false);
}

void MainWindow::onCurrentDrawingSizeChanged(int size)
{
    switch (view->getMode()) {
    case EditorMode::Doodle:
        setSilently(brushSizeSlider, size);
        setSilently(brushSizeSpin, size);
        break;
    case EditorMode::Eraser:
        setSilently(eraserSizeSlider, size);
        setSilently(eraserSizeSpin, size);
        break;
    case EditorMode::Move:
        break;
    }
}

void MainWindow::onUndo()
{
    view->undo();
}

void MainWindow::onRedo()
{
    view->redo();
}

void MainWindow::onStrokeOutOfMemory()
{
    statusLabel->setText(tr("内存不足，部分笔画未绘制"));
}

void MainWindow::onReset()
{
    if (QMessageBox::question(this, QStringLiteral("Confirm"), QStringLiteral("Clear mask?"),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        view->clearMask();
}
