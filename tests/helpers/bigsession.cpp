// A real editor process for the promise about big pictures: opens the picture given as its
// argument (answering 打开 to 打开大图片, and printing the title and text of any other box),
// paints a stroke at each end of it, saves the mask quietly and prints "saved" when the mask
// file holds both strokes. Started under an address-space limit by the test.

#include "../support/viewprobe.h"
#include "../support/windowprobe.h"
#include "files/maskfile.h"
#include "mainwindow/mainwindow.h"
#include "platform/memory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    // As the program starts.
    Platform::returnBigBlocksWhenFreed();
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tst_bigpictures"));
    if (argc < 2)
        return 2;
    const QString picture = QString::fromLocal8Bit(argv[1]);
    MainWindow window;
    window.show();
    MainWindowProbe probe(window);
    probe.quietSaveAction()->setChecked(true);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (QAbstractButton *open = box->button(QMessageBox::Open)) {
            open->click();
            return;
        }
        std::printf("%s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
        std::fflush(stdout);
        box->reject();
    });
    answer.start(20);
    window.openPicture(picture);
    VelmoraView *view = probe.view();
    if (view->getImagePath() != picture)
        return 3;
    const QSize size = view->pictureSize();
    view->setMode(EditorMode::Doodle);
    view->setBrushSize(40);
    VelmoraViewProbe::stroke(*view, {QPointF(30, 30), QPointF(300, 60)});
    VelmoraViewProbe::stroke(*view, {QPointF(size.width() - 300, size.height() - 60),
                                     QPointF(size.width() - 30, size.height() - 30)});
    probe.saveMask();
    if (view->isModified())
        return 4;
    // The file as another program would read it: a few rows at each end are enough.
    QImageReader reader(MaskFile::pathFor(picture));
    if (reader.size() != size)
        return 5;
    std::puts("saved");
    std::fflush(stdout);
    return 0;
}
