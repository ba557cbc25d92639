// A real editor process for the tests of what survives its end: opens the picture given as
// its argument, paints two strokes, writes what the mask then is beside it as
// <picture>.expected.png, says "painted" on its standard output, and runs until it is killed
// or asked to end. Given a second picture, it then opens that one too, saving the strokes
// when asked and answering 打开 to the question before a huge picture, and says "opening".

#include "../support/viewprobe.h"
#include "mainwindow/mainwindow.h"

#include "platform/termination.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

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
    if (argc > 2) {
        const QString huge = QString::fromLocal8Bit(argv[2]);
        QTimer::singleShot(0, &window, [&window, huge] {
            auto *answer = new QTimer(&window);
            QObject::connect(answer, &QTimer::timeout, answer, [answer] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                if (QAbstractButton *save = box->button(QMessageBox::Save)) {
                    save->click(); // the strokes go to the mask file first
                    return;
                }
                answer->stop();
                if (QAbstractButton *open = box->button(QMessageBox::Open)) {
                    open->click();
                    std::puts("opening");
                } else {
                    std::puts(qPrintable(box->windowTitle() + QLatin1Char(' ') + box->text()));
                    box->reject();
                }
                std::fflush(stdout);
            });
            answer->start(20);
            window.openPicture(huge);
        });
    }
    // Ends as the program does.
    const int status = app.exec();
    if (window.hasAbandonedWork())
        Platform::endNow(status);
    return status;
}
