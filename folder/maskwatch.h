#ifndef VELMORA_FOLDER_MASKWATCH_H
#define VELMORA_FOLDER_MASKWATCH_H

#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QTimer;

// Watches the mask file of the open picture for changes made by other programs: written in
// place, replaced, created or removed. Reports once a burst of changes has settled; whether
// the file really differs is for the listener to tell.
class MaskWatch : public QObject
{
    Q_OBJECT

public:
    explicit MaskWatch(QObject *parent = nullptr);

    // Watches the file at `path` from now on; an empty path stops watching.
    void watch(const QString &path);

signals:
    void touched();

private:
    void rewatch();

    QString file;
    QFileSystemWatcher *watcher = nullptr;
    QTimer *settle = nullptr;
};

#endif
