#ifndef VELMORA_TESTS_WINDOWPROBE_H
#define VELMORA_TESTS_WINDOWPROBE_H

#include "mainwindow/classpanel.h"
#include "mainwindow/folderpanel.h"
#include "mainwindow/mainwindow.h"
#include "recovery/recovery.h"

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <memory>

// Reaches the window's controls for tests.
class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow &w) : w(w) {}
    VelmoraView *view() const { return w.view; }
    QSlider *brushSlider() const { return w.brushSizeSlider; }
    QSpinBox *brushSpin() const { return w.brushSizeSpin; }
    QSlider *eraserSlider() const { return w.eraserSizeSlider; }
    QSpinBox *eraserSpin() const { return w.eraserSizeSpin; }
    QSlider *opacitySlider() const { return w.opacitySlider; }
    QLabel *opacityLabel() const { return w.opacityValueLabel; }
    QRadioButton *moveRadio() const { return w.moveRadio; }
    QRadioButton *doodleRadio() const { return w.doodleRadio; }
    QRadioButton *eraserRadio() const { return w.eraserRadio; }
    QButtonGroup *modeGroup() const { return w.modeGroup; }
    QAction *undoAction() const { return w.undoAction; }
    QAction *resetAction() const { return w.resetAction; }
    QAction *redoAction() const { return w.redoAction; }
    QAction *previousAction() const { return w.previousAction; }
    QAction *nextAction() const { return w.nextAction; }
    QAction *openFolderAction() const { return w.openFolderAction; }
    QAction *autoSaveAction() const { return w.autoSaveAction; }
    QAction *quietSaveAction() const { return w.quietSaveAction; }
    FolderPanel *folderPanel() const { return w.folderPanel; }
    QDockWidget *folderDock() const { return w.folderDock; }
    PictureFolder *folder() const { return w.folder; }
    QString readAheadPending() const { return w.session->readAhead().pending(); }
    QLabel *statusLabel() const { return w.statusLabel; }
    QLabel *maskWarning() const { return w.maskWarningLabel; }
    QLabel *protectionLabel() const { return w.protectionLabel; }
    Recovery *recovery() const { return &w.session->recovery(); }
    void terminationRequested() { w.onTerminationRequested(); }
    QAction *saveAsAction() const { return w.saveAsAction; }
    QAction *revealAction() const { return w.revealAction; }
    QLabel *positionLabel() const { return w.positionLabel; }
    void openImage() { w.onOpenImage(); }
    ClassPanel *classPanel() const { return w.classPanel; }
    QDockWidget *classDock() const { return w.classDock; }
    QLabel *classLabel() const { return w.classLabel; }
    QList<QAction *> classKeys() const { return w.classKeyActions; }
    void addClass() { w.addClass(); }
    void renameClass(int number) { w.renameClass(number); }
    void saveMask() { w.onSaveMask(); }

private:
    MainWindow &w;
};

// The menu of the menu bar with this title.
inline QMenu *menuNamed(MainWindow &window, const QString &title)
{
    for (QAction *action : window.menuBar()->actions())
        if (action->text() == title)
            return action->menu();
    return nullptr;
}

// Makes and shows a new main window with its probe, for one test. Returns whether the window
// appeared (and, with `active`, became the active window, as key tests need).
inline bool showNewWindow(std::unique_ptr<MainWindow> &window,
                          std::unique_ptr<MainWindowProbe> &probe, bool active = false)
{
    probe.reset();
    window.reset(new MainWindow);
    probe.reset(new MainWindowProbe(*window));
    window->show();
    if (!active)
        return QTest::qWaitForWindowExposed(window.get());
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get());
}

#endif
