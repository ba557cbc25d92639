#include "platform/filebrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QUrl>
#endif

namespace Platform {

#if defined(Q_OS_WIN)

void showInFileBrowser(const QString &filePath)
{
    QProcess::startDetached(QStringLiteral("explorer.exe"),
                            {QStringLiteral("/select,"), QDir::toNativeSeparators(filePath)});
}

#elif defined(Q_OS_MACOS)

void showInFileBrowser(const QString &filePath)
{
    QProcess::startDetached(QStringLiteral("open"), {QStringLiteral("-R"), filePath});
}

#else

namespace {

void openFolder(const QString &filePath)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(filePath).absolutePath()});
}

} // namespace

#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)

// Desktops that implement the FileManager1 interface show the file selected. The call is
// sent without waiting; should it fail, the folder is opened the generic way instead.
void showInFileBrowser(const QString &filePath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(filePath);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString()} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [filePath](QDBusPendingCallWatcher *finished) {
                         if (finished->isError())
                             openFolder(filePath);
                         finished->deleteLater();
                     });
}

#else

void showInFileBrowser(const QString &filePath)
{
    openFolder(filePath);
}

#endif
#endif

} // namespace Platform
