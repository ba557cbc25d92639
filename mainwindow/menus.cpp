// The window's menus and side panel: every command with its keys.

#include "mainwindow/mainwindow.h"

#include "folder/picturefolder.h"
#include "language/language.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/helpwindow.h"
#include "mainwindow/windowconstants.h"

#include <QAction>
#include <QActionGroup>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDockWidget>
#include <QInputDialog>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSlider>

using namespace WindowConstants;

namespace {

// The platform's keys for a standard command, and `extra` as well where it is not one of them.
QList<QKeySequence> keysWith(QKeySequence::StandardKey standard, const QKeySequence &extra)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
    if (!keys.contains(extra))
        keys.append(extra);
    return keys;
}

} // namespace

// Every command sits in a menu with its keys, as on any desktop; the menus hold the very
// actions of the toolbar, so texts, enabled states and shortcuts always agree.
void MainWindow::createMenus(QAction *openAction, QAction *saveAction, QAction *actualSizeAction)
{
    QSettings settings(organization(), application());
    QMenu *fileMenu = menuBar()->addMenu(tr("文件"));
    fileMenu->addAction(openAction);
    openFolderAction = fileMenu->addAction(tr("打开文件夹"));
    openFolderAction->setWhatsThis(tr("打开文件夹中第一张没有掩膜的图片（都有掩膜时打开第一张）"));
    openFolderAction->setShortcut(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_O));
    connect(openFolderAction, &QAction::triggered, this, &MainWindow::onOpenFolder);
    fileMenu->addAction(saveAction);
    saveAsAction = fileMenu->addAction(tr("掩膜另存为…"));
    saveAsAction->setWhatsThis(
        tr("把掩膜写到任选的文件（PNG，后缀为 JPEG 或 BMP 时按后缀）；图片旁的掩膜仍算未保存"));
    saveAsAction->setShortcut(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_S));
    connect(saveAsAction, &QAction::triggered, this, &MainWindow::onSaveMaskAs);
    previousAction = fileMenu->addAction(tr("上一张"));
    previousAction->setWhatsThis(tr("文件夹中的上一张图片，按自然顺序（img2 在 img10 之前）"));
    previousAction->setShortcuts({QKeySequence(Qt::Key_A), QKeySequence(Qt::Key_PageUp)});
    previousAction->setToolTip(tr("上一张 (A, Page Up)"));
    previousAction->setEnabled(false);
    connect(previousAction, &QAction::triggered, this, &MainWindow::onPreviousPicture);
    nextAction = fileMenu->addAction(tr("下一张"));
    nextAction->setWhatsThis(tr("文件夹中的下一张图片，按自然顺序"));
    nextAction->setShortcuts({QKeySequence(Qt::Key_D), QKeySequence(Qt::Key_PageDown)});
    nextAction->setToolTip(tr("下一张 (D, Page Down)"));
    nextAction->setEnabled(false);
    connect(nextAction, &QAction::triggered, this, &MainWindow::onNextPicture);
    addCarryNavigation(fileMenu);
    addReviewCommands(fileMenu);
    fileMenu->addSeparator();
    // A checkable command remembered under `key`.
    const auto addSetting = [&](const QString &text, const QString &whatsThis, const QString &key,
                                bool initial) {
        QAction *action = fileMenu->addAction(text);
        action->setWhatsThis(whatsThis);
        action->setCheckable(true);
        action->setChecked(settings.value(key, initial).toBool());
        connect(action, &QAction::toggled, this,
                [key](bool on) { QSettings(organization(), application()).setValue(key, on); });
        return action;
    };
    autoSaveAction =
        addSetting(tr("自动保存"), tr("开启时，离开已修改的图片会直接保存掩膜而不询问"),
                   QStringLiteral("AutoSave"), false);
    quietSaveAction = addSetting(tr("安静保存"),
                                 tr("开启时，保存掩膜不再询问，成功时只在状态栏和图片列表中显示（失"
                                    "败和文件被改动时仍会弹框）"),
                                 QStringLiteral("QuietSave"), false);
    revealAction = addSetting(tr("保存后显示文件"),
                              tr("开启时（默认），保存掩膜成功后在文件管理器中显示掩膜文件"),
                              QStringLiteral("RevealAfterSave"), true);
    fileMenu->addSeparator();
    QAction *quitAction = fileMenu->addAction(tr("退出"));
    quitAction->setWhatsThis(tr("关闭编辑器（有未保存的修改时先询问）"));
    quitAction->setShortcuts(keysWith(QKeySequence::Quit, QKeySequence(Qt::CTRL + Qt::Key_Q)));
    quitAction->setMenuRole(QAction::QuitRole);
    connect(quitAction, &QAction::triggered, this, &QWidget::close);

    QMenu *editMenu = menuBar()->addMenu(tr("编辑"));
    editMenu->addAction(undoAction);
    redoAction = editMenu->addAction(tr("重做"));
    redoAction->setWhatsThis(tr("重做撤销的步骤；新的一笔或清空会丢弃它们"));
    redoAction->setShortcuts(keysWith(QKeySequence::Redo, QKeySequence(Qt::CTRL + Qt::Key_Y)));
    redoAction->setEnabled(false);
    connect(redoAction, &QAction::triggered, this, &MainWindow::onRedo);
    connect(view, &VelmoraView::canRedoChanged, redoAction, &QAction::setEnabled);
    editMenu->addAction(resetAction);

    createMaskMenu();
    createToolMenu();

    QMenu *viewMenu = menuBar()->addMenu(tr("视图"));
    viewMenu->addAction(actualSizeAction);
    // The toolbar's button is the first way; Ctrl+1 the second.
    actualSizeAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_1));
    QAction *fitAction = viewMenu->addAction(tr("适应窗口"));
    fitAction->setWhatsThis(tr("缩放图片以适应窗口"));
    fitAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_0));
    connect(fitAction, &QAction::triggered, this, [this] {
        if (!view->isDrawing())
            view->fitToWindow();
    });
    QAction *zoomInAction = viewMenu->addAction(tr("放大"));
    zoomInAction->setWhatsThis(tr("以视图中心放大"));
    zoomInAction->setShortcuts(QKeySequence::ZoomIn);
    connect(zoomInAction, &QAction::triggered, view, &VelmoraView::zoomIn);
    QAction *zoomOutAction = viewMenu->addAction(tr("缩小"));
    zoomOutAction->setWhatsThis(tr("以视图中心缩小"));
    zoomOutAction->setShortcuts(QKeySequence::ZoomOut);
    connect(zoomOutAction, &QAction::triggered, view, &VelmoraView::zoomOut);
    viewMenu->addSeparator();
    QAction *hideMaskAction = viewMenu->addAction(tr("隐藏掩膜"));
    hideMaskAction->setWhatsThis(tr("隐藏掩膜以查看图片；涂抹时会重新显示"));
    hideMaskAction->setCheckable(true);
    hideMaskAction->setShortcut(QKeySequence(Qt::Key_H));
    connect(hideMaskAction, &QAction::triggered, this, [this, hideMaskAction](bool hidden) {
        if (view->isDrawing())
            hideMaskAction->setChecked(view->isMaskHidden());
        else
            view->setMaskHidden(hidden);
    });
    // A stroke into a hidden mask shows it again; the check follows.
    connect(view, &VelmoraView::maskHiddenChanged, hideMaskAction, &QAction::setChecked);
    createMaskDisplayActions(viewMenu);
}

// The submenu's name and the languages' own names read the same in every language, so it
// is found whichever one is on screen. Windows can't be translated once they exist: the
// choice takes effect at the next start.
void MainWindow::createLanguageMenu(QMenu *viewMenu)
{
    viewMenu->addSeparator();
    QMenu *languageMenu = viewMenu->addMenu(Language::menuTitle());
    languageMenu->menuAction()->setWhatsThis(
        tr("界面语言：跟随系统、中文或 English；重新启动后生效"));
    auto *choices = new QActionGroup(languageMenu);
    const Language::Choice chosen = Language::fromSetting(
        QSettings(organization(), application()).value(QStringLiteral("Language")).toString());
    for (const Language::Choice choice :
         {Language::Choice::System, Language::Choice::Chinese, Language::Choice::English}) {
        QAction *action = languageMenu->addAction(Language::nameOf(choice));
        action->setCheckable(true);
        action->setChecked(choice == chosen);
        choices->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] {
            QSettings(organization(), application())
                .setValue(QStringLiteral("Language"), Language::toSetting(choice));
            if (Language::speaksEnglish(choice, QLocale::system().uiLanguages()) !=
                Language::isEnglish())
                QMessageBox::information(this, Language::menuTitle(), Language::restartNote());
        });
    }
}

// How the mask is shown, never what is saved: its colour, and exactly as a save writes it.
void MainWindow::createMaskDisplayActions(QMenu *viewMenu)
{
    QSettings settings(organization(), application());
    const QColor stored(settings.value(QStringLiteral("MaskColor")).toString());
    if (stored.isValid())
        view->setMaskColour(stored);
    QAction *colourAction = viewMenu->addAction(tr("掩膜颜色…"));
    colourAction->setWhatsThis(
        tr("以红、绿、蓝、黄、青、品红或自定义颜色显示掩膜；保存的文件不变"));
    connect(colourAction, &QAction::triggered, this, &MainWindow::onChooseMaskColour);

    QAction *asSavedAction = viewMenu->addAction(tr("按保存结果显示"));

    asSavedAction->setWhatsThis(
        tr("完全按保存的结果显示掩膜：文件中为 255 的像素以完整颜色显示，没有淡边"));
    asSavedAction->setCheckable(true);
    asSavedAction->setShortcut(QKeySequence(Qt::Key_Y));
    asSavedAction->setChecked(settings.value(QStringLiteral("ShowAsSaved"), false).toBool());
    view->setShownAsSaved(asSavedAction->isChecked());
    connect(asSavedAction, &QAction::toggled, this, [this](bool on) {
        view->setShownAsSaved(on);
        QSettings(organization(), application()).setValue(QStringLiteral("ShowAsSaved"), on);
    });
}

void MainWindow::onChooseMaskColour()
{
    // Clear colours that stand apart from most photographs, and any other.
    const struct
    {
        const char *name;
        QColor colour;
    } colours[] = {
        {QT_TR_NOOP("红"), QColor(255, 0, 0)},   {QT_TR_NOOP("绿"), QColor(0, 255, 0)},
        {QT_TR_NOOP("蓝"), QColor(0, 0, 255)},   {QT_TR_NOOP("黄"), QColor(255, 255, 0)},
        {QT_TR_NOOP("青"), QColor(0, 255, 255)}, {QT_TR_NOOP("品红"), QColor(255, 0, 255)}};
    QStringList names;
    int current = -1;
    for (const auto &entry : colours) {
        if (entry.colour == view->getMaskColour())
            current = names.size();
        names << tr(entry.name);
    }
    const QString custom = tr("自定义…");
    names << custom;
    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("掩膜颜色"));
    dialog.setLabelText(tr("颜色:"));
    dialog.setComboBoxItems(names);
    dialog.setComboBoxEditable(false);
    dialog.setTextValue(names.at(current < 0 ? names.size() - 1 : current));
    dialog.setOkButtonText(tr("确定"));
    dialog.setCancelButtonText(tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString chosen = dialog.textValue();
    QColor colour;
    if (chosen == custom)
        colour = QColorDialog::getColor(view->getMaskColour(), this, tr("掩膜颜色"));
    else
        colour = colours[names.indexOf(chosen)].colour;
    if (!colour.isValid())
        return;
    view->setMaskColour(colour);
    QSettings(organization(), application()).setValue(QStringLiteral("MaskColor"), colour.name());
}

// Keys for the tools and their sizes, as paint programs have them.
void MainWindow::createToolMenu()
{
    QMenu *toolMenu = menuBar()->addMenu(tr("工具"));
    toolActions = new QActionGroup(this);
    const struct
    {
        const char *text;
        const char *does;
        Qt::Key key;
        EditorMode mode;
    } tools[] = {
        {QT_TR_NOOP("移动"), QT_TR_NOOP("拖动平移视图"), Qt::Key_V, EditorMode::Move},
        {QT_TR_NOOP("涂鸦"), QT_TR_NOOP("涂抹掩膜；单击画一个圆点"), Qt::Key_B, EditorMode::Doodle},
        {QT_TR_NOOP("橡皮擦"), QT_TR_NOOP("擦除掩膜；单击擦一个圆点"), Qt::Key_E,
         EditorMode::Eraser}};
    for (const auto &tool : tools) {
        QAction *action = toolMenu->addAction(tr(tool.text));
        action->setWhatsThis(tr(tool.does));
        action->setShortcut(QKeySequence(tool.key));
        action->setCheckable(true);
        action->setData(static_cast<int>(tool.mode));
        action->setChecked(tool.mode == view->getMode());
        toolActions->addAction(action);
        const EditorMode mode = tool.mode;
        connect(action, &QAction::triggered, this, [this, mode] { onToolKey(mode); });
    }
    toolMenu->addSeparator();
    QAction *bigger = toolMenu->addAction(tr("增大笔刷"));
    bigger->setWhatsThis(tr("当前工具的大小增大约五分之一（1 到 120；移动模式下为涂鸦笔刷）"));
    bigger->setShortcut(QKeySequence(Qt::Key_BracketRight));
    connect(bigger, &QAction::triggered, this, [this] { stepToolSize(+1); });
    QAction *smaller = toolMenu->addAction(tr("减小笔刷"));
    smaller->setWhatsThis(tr("当前工具的大小减小约五分之一（1 到 120；移动模式下为涂鸦笔刷）"));
    smaller->setShortcut(QKeySequence(Qt::Key_BracketLeft));
    connect(smaller, &QAction::triggered, this, [this] { stepToolSize(-1); });
    toolMenu->addSeparator();
    QAction *pressure = toolMenu->addAction(tr("笔压"));
    pressure->setWhatsThis(
        tr("数位板的笔压决定笔刷或橡皮擦的大小（最轻时十分之一，最重时完整大小）；"
           "关闭时总是完整大小。笔的橡皮擦一端总是擦除"));
    pressure->setCheckable(true);
    pressure->setChecked(QSettings(organization(), application())
                             .value(QStringLiteral("PenPressure"), true)
                             .toBool());
    view->setPenPressure(pressure->isChecked());
    connect(pressure, &QAction::toggled, this, [this](bool on) {
        view->setPenPressure(on);
        QSettings(organization(), application()).setValue(QStringLiteral("PenPressure"), on);
    });
}

// B, E and V go the way of the radio buttons; never in the middle of a stroke.
void MainWindow::onToolKey(EditorMode mode)
{
    if (!view->isDrawing())
        view->setMode(mode);
    showModeInToolMenu(view->getMode());
}

void MainWindow::showModeInToolMenu(EditorMode mode)
{
    for (QAction *action : toolActions->actions())
        action->setChecked(action->data().toInt() == static_cast<int>(mode));
}

// ] and [ change the size of the tool in use (the brush in Move mode) by about a fifth,
// through its slider, so the spin box, the view and the outline follow.
void MainWindow::stepToolSize(int direction)
{
    if (view->isDrawing())
        return;
    QSlider *slider = view->getMode() == EditorMode::Eraser ? eraserSizeSlider : brushSizeSlider;
    const int step = qMax(1, qRound(slider->value() / 5.0));
    slider->setValue(qBound(minToolSize, slider->value() + direction * step, maxToolSize));
}

// The folder's pictures in a panel at the right, shown unless the user closed it last time.
void MainWindow::createFolderPanel()
{
    folderPanel = new FolderPanel(folder, reviewMarks, previousAction, nextAction, this);
    connect(folderPanel, &FolderPanel::pictureChosen, this, &MainWindow::openPicture);
    folderDock = new QDockWidget(tr("图片列表"), this);
    folderDock->setObjectName(QStringLiteral("PictureList"));
    folderDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    folderDock->setWidget(folderPanel);
    addDockWidget(Qt::RightDockWidgetArea, folderDock);
    QSettings settings(organization(), application());
    folderDock->setVisible(settings.value(QStringLiteral("PictureListVisible"), true).toBool());
    QAction *toggle = folderDock->toggleViewAction();
    toggle->setWhatsThis(
        tr("文件夹中的图片，有掩膜的带绿色标记，并显示已完成的数目；单击一行打开"));
    // The panel also goes when the window closes and is destroyed; only the user's choice,
    // made while the window is on screen, is kept.
    connect(toggle, &QAction::toggled, this, [this](bool shown) {
        if (isVisible())
            QSettings(organization(), application())
                .setValue(QStringLiteral("PictureListVisible"), shown);
    });
    menuBar()->actions().last()->menu()->addAction(toggle);

    connect(folder, &PictureFolder::listChanged, this, [this] {
        updateFolderActions();
        readNextAhead();
    });
}

// The picture read ahead is the one after the current picture in the list as it is now.
void MainWindow::readNextAhead()
{
    const QString next = folder->next(view->getImagePath());
    if (session->readAhead().pending() != next)
        session->readAhead().start(next);
}

void MainWindow::updateFolderActions()
{
    const QString current = view->getImagePath();
    previousAction->setEnabled(!folder->previous(current).isEmpty());
    nextAction->setEnabled(!folder->next(current).isEmpty());
}

// 帮助: every key and gesture, read from the menus themselves, and what this program is.
void MainWindow::createHelpMenu()
{
    QMenu *helpMenu = menuBar()->addMenu(tr("帮助"));
    QAction *keysAction = helpMenu->addAction(tr("快捷键与手势"));
    keysAction->setWhatsThis(tr("在窗口中列出每个按键与手势"));
    keysAction->setShortcut(QKeySequence::HelpContents);
    connect(keysAction, &QAction::triggered, this, [this] {
        HelpWindow help(helpLines(menuBar()), this);
        help.exec();
    });
    QAction *aboutAction = helpMenu->addAction(tr("关于 Velmora"));
    aboutAction->setWhatsThis(tr("版本、Qt 版本与许可"));
    aboutAction->setMenuRole(QAction::AboutRole);
    connect(aboutAction, &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("关于 Velmora"),
                           tr("Velmora %1\n在图片上绘制二值掩膜。\n\n基于 Qt %2（LGPL v3）。")
                               .arg(QCoreApplication::applicationVersion().isEmpty()
                                        ? QStringLiteral("2.0")
                                        : QCoreApplication::applicationVersion(),
                                    QString::fromLatin1(qVersion())));
    });
}
