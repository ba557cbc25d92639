#include "folder/maskwatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

// A program writing a file in several steps is heard from once, in milliseconds.
constexpr int settleMs = 200;

} // namespace

MaskWatch::MaskWatch(QObject *parent)
    : QObject(parent), watcher(new QFileSystemWatcher(this)), settle(new QTimer(this))
{
    settle->setSingleShot(true);
    settle->setInterval(settleMs);
    // The folder tells of a file created, removed or renamed over the old one; the file's own
    // watch tells of a write in place.
    connect(watcher, &QFileSystemWatcher::fileChanged, settle, qOverload<>(&QTimer::start));
    connect(watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
    connect(settle, &QTimer::timeout, this, [this] {
        rewatch();
        emit touched();
    });
}

void MaskWatch::watch(const QString &path)
{
    if (path == file)
        return;
    settle->stop();
    const QStringList watched = watcher->files() + watcher->directories();
    if (!watched.isEmpty())
        watcher->removePaths(watched);
    file = path;
    if (!file.isEmpty())
        watcher->addPath(QFileInfo(file).absolutePath());
    rewatch();
}

void MaskWatch::rewatch()
{
    // A file replaced by a rename is a new file: its watch is gone with the old one.
    if (!file.isEmpty() && QFileInfo(file).isFile() && !watcher->files().contains(file))
        watcher->addPath(file);
}
