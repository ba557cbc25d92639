#include "mainwindow/mainwindow.h"

#include "editor/maskfile.h"
#include "editor/picturefile.h"
#include "folder/picturefolder.h"
#include "mainwindow/folderpanel.h"
#include "platform/filebrowser.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int minToolSize = 1;
constexpr int maxToolSize = 120;
constexpr int defaultBrushSize = 20;
constexpr int defaultEraserSize = 30;
constexpr int defaultOpacity = 50; // percent
// How long the outcome of a quiet save stays over the status text, in milliseconds: the
// picture opened next writes its own status at once.
constexpr int quietSaveMessageMs = 5000;
const QString appTitle = QStringLiteral("QtVelmora v2.0");
const QString organization = QStringLiteral("Ostrenza");
const QString application = QStringLiteral("Velmora");

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

// The platform's keys for a standard command, and `extra` as well where it is not one of them.
QList<QKeySequence> keysWith(QKeySequence::StandardKey standard, const QKeySequence &extra)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
    if (!keys.contains(extra))
        keys.append(extra);
    return keys;
}

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
    setWindowTitle(appTitle);
    resize(1200, 850);
    // A picture dropped anywhere on the window opens; the view passes drops on to it.
    setAcceptDrops(true);

    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);

    view = new VelmoraView(this);
    centralLayout->addWidget(view);

    connect(view, &VelmoraView::modeChanged, this, &MainWindow::onModeChangedFromView);
    connect(view, &VelmoraView::canUndoChanged, view,
            [this](bool canUndo) { undoAction->setEnabled(canUndo); });
    connect(view, &VelmoraView::currentDrawingSizeChanged, this,
            &MainWindow::onCurrentDrawingSizeChanged);
    connect(view, &VelmoraView::strokeOutOfMemory, this, &MainWindow::onStrokeOutOfMemory);
    connect(view, &VelmoraView::modifiedChanged, this, &QWidget::setWindowModified);
    view->setAcceptDrops(false);

    QToolBar *toolbar = addToolBar(QStringLiteral("Tools"));
    toolbar->setIconSize(QSize(24, 24));
    QFont toolbarFont = font();
    toolbarFont.setPointSize(11);
    toolbar->setFont(toolbarFont);

    QAction *openAction = toolbar->addAction(QStringLiteral("打开图片"));
    openAction->setShortcut(QKeySequence::Open);
    connect(openAction, &QAction::triggered, this, &MainWindow::onOpenImage);
    QAction *saveAction = toolbar->addAction(QStringLiteral("保存掩膜"));
    saveAction->setShortcut(QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &MainWindow::onSaveMask);
    toolbar->addSeparator();

    toolbar->addWidget(createModeSelector());
    toolbar->addSeparator();

    QAction *actualSizeAction = toolbar->addAction(QStringLiteral("1:1显示"));
    actualSizeAction->setToolTip(QStringLiteral("恢复原图大小"));
    connect(actualSizeAction, &QAction::triggered, view, &VelmoraView::resetZoom);
    toolbar->addSeparator();

    undoAction = toolbar->addAction(QStringLiteral("撤销"));
    undoAction->setEnabled(false);
    undoAction->setShortcut(QKeySequence::Undo);
    connect(undoAction, &QAction::triggered, this, &MainWindow::onUndo);
    resetAction = toolbar->addAction(QStringLiteral("重置"));
    connect(resetAction, &QAction::triggered, this, &MainWindow::onReset);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(QStringLiteral(" 涂鸦笔刷: "), toolbarFont));
    toolbar->addWidget(
        createSizeControl(brushSizeSlider, brushSizeSpin, defaultBrushSize, toolbarFont));
    connect(brushSizeSlider, &QAbstractSlider::valueChanged, this, &MainWindow::onBrushSizeChanged);
    connect(brushSizeSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &MainWindow::onBrushSizeChanged);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(QStringLiteral(" 橡皮擦笔刷: "), toolbarFont));
    toolbar->addWidget(
        createSizeControl(eraserSizeSlider, eraserSizeSpin, defaultEraserSize, toolbarFont));
    connect(eraserSizeSlider, &QAbstractSlider::valueChanged, this,
            &MainWindow::onEraserSizeChanged);
    connect(eraserSizeSpin, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &MainWindow::onEraserSizeChanged);
    toolbar->addSeparator();

    toolbar->addWidget(createCaption(QStringLiteral(" 透明度: "), toolbarFont));
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
    createStatusBar();
    widenToShowTheToolbar(toolbar);

    eraserSizeSlider->setEnabled(false);
    eraserSizeSpin->setEnabled(false);
    brushSizeSlider->setEnabled(false);
    brushSizeSpin->setEnabled(false);
}

// With some fonts the Chinese captions make the toolbar wider than the default 1200 pixels,
// and the opacity control would hide behind the toolbar's extension button. The window then
// grows to show every control, as far as the screen has room.
void MainWindow::widenToShowTheToolbar(QToolBar *toolbar)
{
    int wanted = toolbar->sizeHint().width();
    if (const QScreen *shown = screen())
        wanted = qMin(wanted, shown->availableGeometry().width());
    if (wanted > width())
        resize(wanted, height());
}

// Every command sits in a menu with its keys, as on any desktop; the menus hold the very
// actions of the toolbar, so texts, enabled states and shortcuts always agree.
// Every command sits in a menu with its keys, as on any desktop; the menus hold the very
// actions of the toolbar, so texts, enabled states and shortcuts always agree.
void MainWindow::createMenus(QAction *openAction, QAction *saveAction, QAction *actualSizeAction)
{
    QSettings settings(organization, application);
    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("文件"));
    fileMenu->addAction(openAction);
    openFolderAction = fileMenu->addAction(QStringLiteral("打开文件夹"));
    openFolderAction->setShortcut(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_O));
    connect(openFolderAction, &QAction::triggered, this, &MainWindow::onOpenFolder);
    fileMenu->addAction(saveAction);
    previousAction = fileMenu->addAction(QStringLiteral("上一张"));
    previousAction->setShortcuts({QKeySequence(Qt::Key_A), QKeySequence(Qt::Key_PageUp)});
    previousAction->setToolTip(QStringLiteral("上一张 (A, Page Up)"));
    previousAction->setEnabled(false);
    connect(previousAction, &QAction::triggered, this, &MainWindow::onPreviousPicture);
    nextAction = fileMenu->addAction(QStringLiteral("下一张"));
    nextAction->setShortcuts({QKeySequence(Qt::Key_D), QKeySequence(Qt::Key_PageDown)});
    nextAction->setToolTip(QStringLiteral("下一张 (D, Page Down)"));
    nextAction->setEnabled(false);
    connect(nextAction, &QAction::triggered, this, &MainWindow::onNextPicture);
    fileMenu->addSeparator();
    autoSaveAction = fileMenu->addAction(QStringLiteral("自动保存"));
    autoSaveAction->setCheckable(true);
    autoSaveAction->setChecked(settings.value(QStringLiteral("AutoSave"), false).toBool());
    connect(autoSaveAction, &QAction::toggled, this, [](bool on) {
        QSettings(organization, application).setValue(QStringLiteral("AutoSave"), on);
    });
    fileMenu->addSeparator();
    QAction *quitAction = fileMenu->addAction(QStringLiteral("退出"));
    quitAction->setShortcuts(keysWith(QKeySequence::Quit, QKeySequence(Qt::CTRL + Qt::Key_Q)));
    quitAction->setMenuRole(QAction::QuitRole);
    connect(quitAction, &QAction::triggered, this, &QWidget::close);

    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("编辑"));
    editMenu->addAction(undoAction);
    redoAction = editMenu->addAction(QStringLiteral("重做"));
    redoAction->setShortcuts(keysWith(QKeySequence::Redo, QKeySequence(Qt::CTRL + Qt::Key_Y)));
    redoAction->setEnabled(false);
    connect(redoAction, &QAction::triggered, this, &MainWindow::onRedo);
    connect(view, &VelmoraView::canRedoChanged, redoAction, &QAction::setEnabled);
    editMenu->addAction(resetAction);

    QMenu *viewMenu = menuBar()->addMenu(QStringLiteral("视图"));
    viewMenu->addAction(actualSizeAction);
}

// The folder's pictures in a panel at the right, shown unless the user closed it last time.
void MainWindow::createFolderPanel()
{
    folderPanel = new FolderPanel(folder, previousAction, nextAction, this);
    connect(folderPanel, &FolderPanel::pictureChosen, this, &MainWindow::openPicture);
    folderDock = new QDockWidget(QStringLiteral("图片列表"), this);
    folderDock->setObjectName(QStringLiteral("PictureList"));
    folderDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    folderDock->setWidget(folderPanel);
    addDockWidget(Qt::RightDockWidgetArea, folderDock);
    QSettings settings(organization, application);
    folderDock->setVisible(settings.value(QStringLiteral("PictureListVisible"), true).toBool());
    QAction *toggle = folderDock->toggleViewAction();
    // The panel also goes when the window closes and is destroyed; only the user's choice,
    // made while the window is on screen, is kept.
    connect(toggle, &QAction::toggled, this, [this](bool shown) {
        if (isVisible())
            QSettings(organization, application)
                .setValue(QStringLiteral("PictureListVisible"), shown);
    });
    menuBar()->actions().last()->menu()->addAction(toggle);

    connect(folder, &PictureFolder::listChanged, this, [this] {
        updateFolderActions();
        // The picture read ahead is the next one of the list as it is now.
        const QString next = folder->next(view->getImagePath());
        if (readAhead.pending() != next)
            readAhead.start(next);
    });
}

void MainWindow::updateFolderActions()
{
    const QString current = view->getImagePath();
    previousAction->setEnabled(!folder->previous(current).isEmpty());
    nextAction->setEnabled(!folder->next(current).isEmpty());
}

QWidget *MainWindow::createModeSelector()
{
    auto *selector = new QWidget(this);
    auto *layout = new QHBoxLayout(selector);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(15);

    moveRadio = new QRadioButton(QStringLiteral("移动"));
    doodleRadio = new QRadioButton(QStringLiteral("涂鸦"));
    eraserRadio = new QRadioButton(QStringLiteral("橡皮擦"));
    QFont modeFont = moveRadio->font();
    modeFont.setWeight(QFont::Bold);
    modeFont.setPointSize(12);
    for (QRadioButton *radio : {moveRadio, doodleRadio, eraserRadio}) {
        radio->setFont(modeFont);
        layout->addWidget(radio);
    }

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
    slider->setRange(minToolSize, maxToolSize);
    slider->setValue(value);
    slider->setFixedWidth(100);
    spin = new QSpinBox(this);
    spin->setRange(minToolSize, maxToolSize);
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
    statusLabel = new QLabel(QStringLiteral("请打开图片"), this);
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

    statusBar()->addPermanentWidget(contactLabel, 0);
    statusBar()->addPermanentWidget(nameLabel, 0);
}

void MainWindow::onOpenImage()
{
    // A shortcut can fire in the middle of a stroke; a modal dialog would then swallow the
    // button's release and the stroke would go on painting with no button held.
    if (view->isDrawing())
        return;
    QSettings settings(organization, application);
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
    QSettings settings(organization, application);
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
        setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, appTitle));
        setWindowModified(view->isModified());
        // Its folder becomes the current one; listing it also starts reading the next.
        folder->setFolder(QFileInfo(path).absolutePath());
    } else if (folder->indexOf(path) >= 0 && !QFileInfo::exists(path)) {
        folder->rescan(); // deleted after it was listed: it leaves the list
    }
    folderPanel->setCurrent(view->getImagePath());
    updateFolderActions();
    QSettings settings(organization, application);
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
    if (!PictureFile::hasPictureSuffix(path) || QFileInfo(path).isDir())
        return QString();
    return path;
}

} // namespace

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
        statusLabel->setText(QStringLiteral("当前模式：移动 (右键单击切换涂鸦 / 双击切换橡皮擦)"));
        break;
    case EditorMode::Doodle:
        statusLabel->setText(QStringLiteral("当前模式：涂鸦 (右键单击切换移动 / 双击切换橡皮擦)"));
        onCurrentDrawingSizeChanged(view->getBrushSize());
        break;
    case EditorMode::Eraser:
        statusLabel->setText(QStringLiteral("当前模式：橡皮擦 (右键单击切换回之前模式)"));
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
    statusLabel->setText(QStringLiteral("内存不足，部分笔画未绘制"));
}

void MainWindow::onReset()
{
    if (QMessageBox::question(this, QStringLiteral("Confirm"), QStringLiteral("Clear mask?"),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        view->clearMask();
}
