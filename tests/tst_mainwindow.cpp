// The window's controls: how they are built and how they stay in step with the view.

#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include "mainwindow/helpwindow.h"
#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWidgetAction>

#include <QtTest>

namespace {
const QString moveText = QStringLiteral("当前模式：移动 (右键单击切换涂鸦 / 双击切换橡皮擦)");
const QString doodleText = QStringLiteral("当前模式：涂鸦 (右键单击切换移动 / 双击切换橡皮擦)");
const QString eraserText = QStringLiteral("当前模式：橡皮擦 (右键单击切换回之前模式)");
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<EditorMode>();
    }
    void init() { QVERIFY(showNewWindow(window, probe)); }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void freshWindowShowsItsInitialState()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("QtVelmora v2.0"));
        // 1200 x 850, or wider where the toolbar needs more, but always inside the screen's
        // free area (here the test platform's 800 x 600), and centred there.
        const QRect room = window->screen()->availableGeometry();
        QVERIFY2(window->width() >= qMin(1200, room.width() - 20),
                 qPrintable(QString::number(window->width())));
        QVERIFY(window->height() <= 850);
        QVERIFY(window->height() == 850 || window->height() >= room.height() - 60);
        QVERIFY2(room.contains(window->geometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                .arg(window->x())
                                .arg(window->y())
                                .arg(window->width())
                                .arg(window->height())
                                .arg(room.width())
                                .arg(room.height())));
        QVERIFY(qAbs(window->frameGeometry().center().x() - room.center().x()) <= 10);
        QVERIFY(probe->moveRadio()->isChecked());
        QVERIFY(!probe->undoAction()->isEnabled());
        QVERIFY(probe->resetAction()->isEnabled());
        for (QWidget *control : {static_cast<QWidget *>(probe->brushSlider()),
                                 static_cast<QWidget *>(probe->brushSpin()),
                                 static_cast<QWidget *>(probe->eraserSlider()),
                                 static_cast<QWidget *>(probe->eraserSpin())})
            QVERIFY(!control->isEnabled());
        QVERIFY(probe->opacitySlider()->isEnabled());
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("请打开图片"));
        QCOMPARE(probe->opacityLabel()->text(), QStringLiteral("50%"));
        QCOMPARE(probe->view()->getMode(), EditorMode::Move);
    }

    void toolbarHoldsItsItemsInOrder()
    {
        const QList<QToolBar *> bars = window->findChildren<QToolBar *>();
        QCOMPARE(bars.size(), 1);
        QToolBar *bar = bars.first();
        QCOMPARE(bar->windowTitle(), QStringLiteral("Tools"));
        QCOMPARE(bar->iconSize(), QSize(24, 24));
        QCOMPARE(bar->font().pointSize(), 11);

        // One letter per item: action, separator, widget.
        QString shape;
        QStringList texts;
        for (QAction *action : bar->actions()) {
            if (action->isSeparator()) {
                shape += QLatin1Char('|');
            } else if (qobject_cast<QWidgetAction *>(action)) {
                shape += QLatin1Char('w');
                if (auto *label = qobject_cast<QLabel *>(bar->widgetForAction(action)))
                    texts << label->text();
            } else {
                shape += QLatin1Char('a');
                texts << action->text();
            }
        }
        QCOMPARE(shape, QStringLiteral("aa|w|a|aa|ww|ww|www"));
        QCOMPARE(texts, QStringList({"打开图片", "保存掩膜", "1:1显示", "撤销", "重置",
                                     " 涂鸦笔刷: ", " 橡皮擦笔刷: ", " 透明度: ", "50%"}));
        const QList<QAction *> actions = bar->actions();
        QCOMPARE(actions.at(5)->toolTip(), QStringLiteral("恢复原图大小"));
        QCOMPARE(actions.at(0)->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(actions.at(1)->shortcut(), QKeySequence(QKeySequence::Save));
        QCOMPARE(probe->undoAction()->shortcut(), QKeySequence(QKeySequence::Undo));
    }

    void controlsHaveTheirRangesValuesAndFonts()
    {
        struct Expect
        {
            QAbstractSlider *slider;
            QSpinBox *spin;
            int value;
        };
        for (const Expect &e : {Expect{probe->brushSlider(), probe->brushSpin(), 20},
                                Expect{probe->eraserSlider(), probe->eraserSpin(), 30}}) {
            QCOMPARE(e.slider->minimum(), 1);
            QCOMPARE(e.slider->maximum(), 120);
            QCOMPARE(e.slider->value(), e.value);
            QCOMPARE(e.slider->width(), 100);
            QCOMPARE(e.spin->minimum(), 1);
            QCOMPARE(e.spin->maximum(), 120);
            QCOMPARE(e.spin->value(), e.value);
            QCOMPARE(e.spin->width(), 55);
            QCOMPARE(e.spin->font().pointSize(), 11);
        }
        QCOMPARE(probe->opacitySlider()->minimum(), 10);
        QCOMPARE(probe->opacitySlider()->maximum(), 100);
        QCOMPARE(probe->opacitySlider()->value(), 50);
        QCOMPARE(probe->opacitySlider()->width(), 100);
        QCOMPARE(probe->opacityLabel()->width(), 35);

        QStringList radioTexts;
        for (QRadioButton *radio :
             {probe->moveRadio(), probe->doodleRadio(), probe->eraserRadio()}) {
            radioTexts << radio->text();
            QCOMPARE(radio->font().pointSize(), 12);
            QCOMPARE(radio->font().weight(), int(QFont::Bold));
        }
        QCOMPARE(radioTexts, QStringList({"移动", "涂鸦", "橡皮擦"}));
        QCOMPARE(probe->modeGroup()->id(probe->moveRadio()), 0);
        QCOMPARE(probe->modeGroup()->id(probe->doodleRadio()), 1);
        QCOMPARE(probe->modeGroup()->id(probe->eraserRadio()), 2);
        QCOMPARE(probe->statusLabel()->font().pointSize(), 11);
    }

    // Its size, place and panels come back as the user left them.
    void theWindowsPlaceIsRemembered()
    {
        window->resize(640, 480);
        window->move(window->screen()->availableGeometry().topLeft() + QPoint(20, 30));
        QVERIFY(window->close());
        QVERIFY(showNewWindow(window, probe));
        QCOMPARE(window->size(), QSize(640, 480));
        QSettings settings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora"));
        QVERIFY(settings.contains(QStringLiteral("WindowState")));

        // Left showing the whole toolbar, in a language whose toolbar was narrower: it grows
        // to show the toolbar again, as far as the screen allows.
        QVERIFY(window->close());
        settings.setValue(QStringLiteral("WindowShowedToolbar"), true);
        QVERIFY(showNewWindow(window, probe));
        const QRect room = window->screen()->availableGeometry();
        QCOMPARE(window->width(), room.width() - 16);
        QVERIFY(room.contains(window->geometry()));
        settings.remove(QStringLiteral("WindowGeometry"));
        settings.remove(QStringLiteral("WindowShowedToolbar"));
    }

    // The help lists every command that has keys, with them, and the README names each one.
    void helpAndReadmeListEveryCommand()
    {
        const QList<HelpLine> lines = helpLines(window->menuBar());
        QFile readmeFile(QStringLiteral(VELMORA_SOURCE_DIR "/README.md"));
        QVERIFY(readmeFile.open(QIODevice::ReadOnly));
        const QString readme = QString::fromUtf8(readmeFile.readAll());
        QStringList commands;
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->shortcuts().isEmpty() || action->associatedWidgets().isEmpty())
                continue;
            const QString keys = action->shortcut().toString(QKeySequence::NativeText);
            QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                                 [&](const HelpLine &line) {
                                     return line.command == action->text() &&
                                            line.keys.contains(keys);
                                 }),
                     qPrintable(action->text()));
            QVERIFY2(readme.contains(action->text()), qPrintable(action->text()));
            commands << action->text();
        }
        for (const char *command : {"掩膜另存为…", "按保存结果显示", "快捷键与手势", "打开图片"})
            QVERIFY(commands.contains(QString::fromUtf8(command)));
        QVERIFY(std::any_of(lines.cbegin(), lines.cend(), [](const HelpLine &line) {
            return line.keys.startsWith(QStringLiteral("Shift+拖动"));
        }));
    }

    void makerLabelsSitAtTheRightOfTheStatusBar()
    {
        QLabel *contact = nullptr;
        QLabel *name = nullptr;
        for (QLabel *label : window->statusBar()->findChildren<QLabel *>()) {
            if (label->text() == QLatin1String("Velmora 2.0"))
                contact = label;
            else if (label->text() == QLatin1String("Ostrenza"))
                name = label;
        }
        QVERIFY(contact && name);
        QCOMPARE(contact->font().pointSize(), 10);
        QCOMPARE(name->font().pointSize(), 10);
        probe->statusLabel()->setText(QStringLiteral("x").repeated(40));
        QTRY_VERIFY(name->geometry().left() > contact->geometry().right());
        QVERIFY(contact->geometry().left() > probe->statusLabel()->geometry().right());
        QVERIFY(name->geometry().right() > window->statusBar()->width() - 40);
    }

    void sliderMoveReachesTheViewOnce()
    {
        QTest::mouseClick(probe->doodleRadio(), Qt::LeftButton);
        QCOMPARE(probe->view()->getMode(), EditorMode::Doodle);
        QSignalSpy sizes(probe->view(), &VelmoraView::currentDrawingSizeChanged);
        probe->brushSlider()->setValue(57);
        QCOMPARE(probe->brushSpin()->value(), 57);
        QCOMPARE(probe->view()->getBrushSize(), 57);
        // setBrushSize reports once per call in Doodle mode; a loop would report more.
        QCOMPARE(sizes.count(), 1);
        QCOMPARE(sizes.first().first().toInt(), 57);
    }

    void typingIntoTheSpinBoxMovesTheSlider()
    {
        probe->view()->setMode(EditorMode::Eraser);
        QSpinBox *spin = probe->eraserSpin();
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("120"));
        QCOMPARE(spin->value(), 120);
        QCOMPARE(probe->eraserSlider()->value(), 120);
        QCOMPARE(probe->view()->getEraserSize(), 120);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("500"));
        QVERIFY(spin->value() <= 120);
        QCOMPARE(probe->view()->getEraserSize(), spin->value());
    }

    void modeChangeFromTheViewReachesTheControls()
    {
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
        QSignalSpy clicks(probe->modeGroup(), &QButtonGroup::idClicked);
#else
        QSignalSpy clicks(probe->modeGroup(), QOverload<int>::of(&QButtonGroup::buttonClicked));
#endif
        probe->view()->setEraserSize(44); // stored silently while in Move
        probe->view()->setMode(EditorMode::Eraser);
        QVERIFY(probe->eraserRadio()->isChecked());
        QVERIFY(!probe->moveRadio()->isChecked());
        QVERIFY(probe->eraserSlider()->isEnabled());
        QVERIFY(probe->eraserSpin()->isEnabled());
        QVERIFY(!probe->brushSlider()->isEnabled());
        QCOMPARE(probe->eraserSlider()->value(), 44);
        QCOMPARE(probe->eraserSpin()->value(), 44);
        QCOMPARE(probe->statusLabel()->text(), eraserText);

        probe->view()->setMode(EditorMode::Doodle);
        QVERIFY(probe->doodleRadio()->isChecked());
        QVERIFY(probe->brushSpin()->isEnabled());
        QVERIFY(!probe->eraserSpin()->isEnabled());
        QCOMPARE(probe->statusLabel()->text(), doodleText);

        probe->view()->setMode(EditorMode::Move);
        QVERIFY(probe->moveRadio()->isChecked());
        QVERIFY(!probe->brushSpin()->isEnabled());
        QVERIFY(!probe->eraserSpin()->isEnabled());
        QCOMPARE(probe->statusLabel()->text(), moveText);
        QCOMPARE(clicks.count(), 0);
    }

    void radioClickDrivesTheViewAndTheStatusText()
    {
        QTest::mouseClick(probe->eraserRadio(), Qt::LeftButton);
        QCOMPARE(probe->view()->getMode(), EditorMode::Eraser);
        QCOMPARE(probe->statusLabel()->text(), eraserText);
        QVERIFY(probe->eraserSpin()->isEnabled());

        // Clicking the radio of the current mode changes nothing anywhere.
        probe->statusLabel()->setText(QStringLiteral("unchanged"));
        QSignalSpy modes(probe->view(), &VelmoraView::modeChanged);
        QTest::mouseClick(probe->eraserRadio(), Qt::LeftButton);
        QCOMPARE(modes.count(), 0);
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("unchanged"));
        QVERIFY(probe->eraserRadio()->isChecked());
    }

    void undoActionFollowsTheHistory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(60, 40).save(path));
        VelmoraView *view = probe->view();
        QVERIFY(view->loadImage(path));
        QVERIFY(!probe->undoAction()->isEnabled());

        view->clearMask();
        QVERIFY(probe->undoAction()->isEnabled());
        view->clearMask();
        probe->undoAction()->trigger();
        QVERIFY(probe->undoAction()->isEnabled());
        probe->undoAction()->trigger();
        QVERIFY(!probe->undoAction()->isEnabled());

        view->clearMask();
        QVERIFY(probe->undoAction()->isEnabled());
        QVERIFY(view->loadImage(path));
        QVERIFY(!probe->undoAction()->isEnabled());
    }

    void menusHoldEveryCommandWithItsKeys()
    {
        const QList<QAction *> tools = window->findChild<QToolBar *>()->actions();
        const QList<QAction *> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 6);
        QCOMPARE(menus.at(0)->text(), QStringLiteral("文件"));
        QCOMPARE(menus.at(1)->text(), QStringLiteral("编辑"));
        QCOMPARE(menus.at(2)->text(), QStringLiteral("掩膜"));
        QCOMPARE(menus.at(3)->text(), QStringLiteral("工具"));
        QCOMPARE(menus.at(4)->text(), QStringLiteral("视图"));
        QCOMPARE(menus.at(5)->text(), QStringLiteral("帮助"));

        // The menus hold the toolbar's own actions, so texts, states and keys agree.
        const QList<QAction *> file = menus.at(0)->menu()->actions();
        QStringList fileTexts;
        for (QAction *action : file)
            fileTexts << (action->isSeparator() ? QStringLiteral("|") : action->text());
        QCOMPARE(fileTexts,
                 QStringList({"打开图片", "打开文件夹", "保存掩膜", "掩膜另存为…", "导出类别图…",
                              "导入标注…", "上一张", "下一张", "上一张并带入掩膜",
                              "下一张并带入掩膜", "标记需复查", "标记已复查", "|", "自动保存",
                              "安静保存", "保存后显示文件", "|", "退出"}));
        QCOMPARE(file.at(0), tools.at(0));
        QCOMPARE(file.at(2), tools.at(1));
        QCOMPARE(file.at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
        QCOMPARE(file.at(3)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
        QCOMPARE(file.at(6)->shortcuts(),
                 QList<QKeySequence>({QKeySequence(Qt::Key_A), QKeySequence(Qt::Key_PageUp)}));
        QCOMPARE(file.at(7)->shortcuts(),
                 QList<QKeySequence>({QKeySequence(Qt::Key_D), QKeySequence(Qt::Key_PageDown)}));
        QVERIFY(file.at(6)->toolTip().contains(QLatin1String("Page Up")));
        QVERIFY(file.at(7)->toolTip().contains(QLatin1String("Page Down")));
        QVERIFY(!file.at(6)->isEnabled() && !file.at(7)->isEnabled());
        QCOMPARE(file.at(8)->shortcut(), QKeySequence(Qt::SHIFT + Qt::Key_A));
        QCOMPARE(file.at(9)->shortcut(), QKeySequence(Qt::SHIFT + Qt::Key_D));
        QVERIFY(!file.at(8)->isEnabled() && !file.at(9)->isEnabled());
        QCOMPARE(file.at(10)->shortcut(), QKeySequence(Qt::Key_F));
        QCOMPARE(file.at(11)->shortcut(), QKeySequence(Qt::Key_R));
        QVERIFY(file.at(13)->isCheckable());
        QVERIFY(file.at(14)->isCheckable() && !file.at(14)->isChecked()); // quiet, off by default
        QVERIFY(file.at(15)->isCheckable() && file.at(15)->isChecked());  // reveal, on by default
        const QList<QKeySequence> quitKeys = file.last()->shortcuts();
        QCOMPARE(quitKeys.count(QKeySequence(QStringLiteral("Ctrl+Q"))), 1);
        for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::Quit))
            QVERIFY(quitKeys.contains(key));
        for (QAction *action : file)
            QVERIFY(action == file.at(0) || action == file.at(2) || !tools.contains(action));

        const QList<QAction *> edit = menus.at(1)->menu()->actions();
        QCOMPARE(edit.size(), 3);
        QCOMPARE(edit.at(0), probe->undoAction());
        QCOMPARE(edit.at(1), probe->redoAction());
        QCOMPARE(edit.at(2), probe->resetAction());
        QCOMPARE(probe->redoAction()->text(), QStringLiteral("重做"));
        const QList<QKeySequence> redoKeys = probe->redoAction()->shortcuts();
        QCOMPARE(redoKeys.count(QKeySequence(QStringLiteral("Ctrl+Y"))), 1);
        for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::Redo))
            QVERIFY(redoKeys.contains(key));
        QVERIFY(!tools.contains(probe->redoAction()));

        QStringList toolKeys;
        for (QAction *action : menus.at(3)->menu()->actions())
            toolKeys << (action->isSeparator()
                             ? QStringLiteral("|")
                             : action->text() + QLatin1Char(' ') + action->shortcut().toString());
        QCOMPARE(toolKeys, QStringList({"移动 V", "涂鸦 B", "橡皮擦 E", "|", "增大笔刷 ]",
                                        "减小笔刷 [", "|", "笔压 "}));

        const QList<QAction *> viewMenu = menus.at(4)->menu()->actions();
        QStringList viewKeys;
        for (QAction *action : viewMenu)
            viewKeys << (action->isSeparator() ? QStringLiteral("|") : action->text());
        QCOMPARE(viewKeys, QStringList({"1:1显示", "适应窗口", "放大", "缩小", "|", "隐藏掩膜",
                                        "掩膜颜色…", "按保存结果显示", "图片列表", "类别", "选区",
                                        "总览", "|", "语言 / Language"}));
        QVERIFY(tools.contains(viewMenu.at(0)));
        QCOMPARE(viewMenu.at(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+1")));
        QCOMPARE(viewMenu.at(0)->toolTip(), QStringLiteral("恢复原图大小"));
        QCOMPARE(viewMenu.at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+0")));
        QCOMPARE(viewMenu.at(2)->shortcuts(), QKeySequence::keyBindings(QKeySequence::ZoomIn));
        QCOMPARE(viewMenu.at(3)->shortcuts(), QKeySequence::keyBindings(QKeySequence::ZoomOut));
        QCOMPARE(viewMenu.at(5)->shortcut(), QKeySequence(Qt::Key_H));
        QVERIFY(
            probe->doodleRadio()->toolTip().startsWith(QStringLiteral("Shift+拖动: 套索填充\n")));
        QVERIFY(probe->eraserRadio()->toolTip().contains(QStringLiteral("Ctrl+单击: 魔棒")));

        file.last()->trigger();
        QVERIFY(!window->isVisible());
    }

    void redoActionFollowsTheHistory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(60, 40).save(path));
        VelmoraView *view = probe->view();
        QVERIFY(!probe->redoAction()->isEnabled());
        QVERIFY(view->loadImage(path));
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*view, QPointF(5, 5), QPointF(50, 30));
        const QImage painted = VelmoraViewProbe::mask(*view).copy();
        QVERIFY(!probe->redoAction()->isEnabled());

        probe->undoAction()->trigger();
        QVERIFY(probe->redoAction()->isEnabled());
        QVERIFY(!probe->undoAction()->isEnabled());
        QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Y")));
        QCOMPARE(VelmoraViewProbe::mask(*view), painted);
        QVERIFY(!probe->redoAction()->isEnabled());
        QVERIFY(probe->undoAction()->isEnabled());

        probe->undoAction()->trigger();
        QVERIFY(view->loadImage(path));
        QVERIFY(!probe->redoAction()->isEnabled());
    }

    void resetAsksBeforeClearing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(60, 40).save(path));
        VelmoraView *view = probe->view();
        QVERIFY(view->loadImage(path));
        VelmoraViewProbe::mutableMask(*view).setPixel(3, 4, 0xFF000000u);

        {
            TestSupport::BoxAnswerer answers({QMessageBox::No});
            probe->resetAction()->trigger();
            QCOMPARE(answers.seen.size(), 1);
            QCOMPARE(answers.seen.first().title, QStringLiteral("Confirm"));
            QCOMPARE(answers.seen.first().text, QStringLiteral("Clear mask?"));
            QCOMPARE(answers.seen.first().buttons, QMessageBox::Yes | QMessageBox::No);
        }
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 1);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        QVERIFY(!probe->undoAction()->isEnabled());

        {
            TestSupport::BoxAnswerer answers({QMessageBox::Yes});
            probe->resetAction()->trigger();
        }
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        QVERIFY(probe->undoAction()->isEnabled());
    }

    void opacityLabelAndMaskFollowTheSlider()
    {
        probe->opacitySlider()->setValue(73);
        QCOMPARE(probe->opacityLabel()->text(), QStringLiteral("73%"));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(30, 30).save(path));
        QVERIFY(probe->view()->loadImage(path));
        probe->opacitySlider()->setValue(10);
        QCOMPARE(probe->opacityLabel()->text(), QStringLiteral("10%"));
        QCOMPARE(VelmoraViewProbe::maskItem(*probe->view())->opacity(), 0.1);
    }

    void fileAndUndoShortcutsWaitForTheStrokeToEnd()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(200, 200).save(path));
        VelmoraView *view = probe->view();
        QVERIFY(view->loadImage(path));
        view->setMode(EditorMode::Doodle);
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(view->isDrawing());
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);

        TestSupport::BoxAnswerer answers({});
        probe->undoAction()->trigger();
        window->findChildren<QToolBar *>().first()->actions().at(1)->trigger(); // save
        window->findChildren<QToolBar *>().first()->actions().at(0)->trigger(); // open
        QTest::qWait(100);
        QVERIFY(answers.seen.isEmpty());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);

        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(!view->isDrawing());
        probe->undoAction()->trigger();
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
    }

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
