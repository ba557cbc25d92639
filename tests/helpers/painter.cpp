// A real editor process for the tests of what survives its end: opens the picture given as
// its argument, paints two strokes, writes what the mask then is beside it as
// <picture>.expected.png, says "painted" on its standard output, and runs until it is killed
// or asked to end.

#include "../support/viewprobe.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char **argv)
{
    // The same data folder as the test that starts it.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tst_safety"));
    if (argc < 2)
        return 2;
    const QString picture = QString::fromLocal8Bit(argv[1]);
    MainWindow window;
    window.show();
    window.openPicture(picture);
    auto *view = window.findChild<VelmoraView *>();
    if (!view || view->getImagePath() != picture)
        return 3;
    view->setMode(EditorMode::Doodle);
    VelmoraViewProbe::stroke(*view, {QPointF(5, 5), QPointF(60, 30)});
    view->setMode(EditorMode::Eraser);
    VelmoraViewProbe::stroke(*view, {QPointF(30, 5), QPointF(30, 40)});
    if (!view->exportMask().save(picture + QStringLiteral(".expected.png")))
        return 4;
    std::puts("painted");
    std::fflush(stdout);
    return app.exec();
}
