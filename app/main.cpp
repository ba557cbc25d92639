#include "cli/commandline.h"
#include "language/language.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/windowconstants.h"
#include "platform/console.h"
#include "platform/memory.h"
#include "platform/termination.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMetaObject>
#include <QSettings>

#include <cstdio>

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Paint binary masks over pictures; each mask is saved beside its "
                       "picture as <name>_mask.<suffix>."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("path"),
        QStringLiteral("A picture to open (png, jpg, jpeg, bmp, webp, tif, tiff, avif, heic, "
                       "heif, jxl), or a folder of pictures. A name that starts with '-' goes "
                       "after '--': velmora -- -x.png. Commands without a window: "
                       "velmora export --help, velmora stats --help, velmora import --help."),
        QStringLiteral("[picture|folder]"));
}

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char **argv)
{
    Platform::returnBigBlocksWhenFreed();
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));

    // `velmora export` and `velmora stats` run without a display and without a window.
    if (CommandLine::isCommand(argumentList(argc, argv))) {
        // First of all, so no file opened before takes the place of a closed standard stream.
        Platform::useStartingConsole();
        QCoreApplication terminal(argc, argv);
        Platform::keepBigBlocksForReuse();
        const QSettings settings(WindowConstants::organization(), WindowConstants::application());
        Language::install(Language::speaksEnglish(
            Language::fromSetting(settings.value(QStringLiteral("Language")).toString()),
            QLocale::system().uiLanguages()));
        return CommandLine::runInTerminal(terminal.arguments());
    }

    // --help and --version answer in a terminal without a display, so they are looked for
    // before the window system is needed. The toolkit's own options (-platform and the like)
    // are only known once QApplication has taken them out, so errors wait until then.
    {
        QCommandLineParser early;
        describe(early);
        early.parse(argumentList(argc, argv));
        if (early.isSet(QStringLiteral("help")) || early.isSet(QStringLiteral("help-all")) ||
            early.isSet(QStringLiteral("version"))) {
            QCoreApplication terminal(argc, argv);
            QCommandLineParser parser;
            describe(parser);
            parser.process(terminal); // prints and exits
        }
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);

    const QSettings settings(WindowConstants::organization(), WindowConstants::application());
    Language::install(Language::speaksEnglish(
        Language::fromSetting(settings.value(QStringLiteral("Language")).toString()),
        QLocale::system().uiLanguages()));

    MainWindow window(nullptr);
    window.show();
    const QStringList paths = parser.positionalArguments();
    if (!paths.isEmpty()) {
        // Opened once the window is on screen, so the picture is fitted to its real size.
        const QString path = QDir::current().absoluteFilePath(paths.first());
        QMetaObject::invokeMethod(
            &window, [&window, path] { window.openPath(path); }, Qt::QueuedConnection);
    }
    const int status = app.exec();
    // The window has closed and kept what it must; a decoder that can't be stopped is not
    // waited for.
    if (window.hasAbandonedWork())
        Platform::endNow(status);
    return status;
}
