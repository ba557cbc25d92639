#ifndef VELMORA_THUMBS_THUMBNAILS_H
#define VELMORA_THUMBS_THUMBNAILS_H

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QVector>

#include <atomic>
#include <memory>

// Thumbnails of a folder's pictures with their masks drawn over them, made off the UI thread
// and kept in a cache under the user's cache folder; no widgets.
namespace Thumbnails {

// A thumbnail fits this box, keeping the picture's proportions.
QSize box();

// How the mask is drawn: the colour of each layer value (class number; [1] for a plain
// mask), alpha included.
using Colours = QVector<QRgb>;

// What a thumbnail shows: the picture, its mask file and class map as they are on disk now,
// and the colours. A changed file, or other colours, give another key.
QByteArray keyOf(const QString &picturePath, const Colours &colours);

// The cache's folder: <cache location>/thumbnails, the user's alone (0700, its files 0600).
QString cacheFolder();
QImage cached(const QByteArray &key);
// Kept as a small JPEG; false when the cache can't take it (the thumbnail still shows).
bool store(const QByteArray &key, const QImage &thumbnail);

// Makes the thumbnail: the picture decoded reduced where its format can (JPEG decodes at an
// eighth, a quarter or half its size), the mask and classes beside it drawn over it. Null
// when the picture can't be read, and when it is too big: a picture the editor would ask
// about before opening it (its size takes much of the memory, or its file is far too small
// for it) is never decoded here; `tooBig` says so. Counts the thumbnails made on the UI
// thread (there should be none) in madeOnUiThread(), and the pictures decoded in decoded().
QImage make(const QString &picturePath, const Colours &colours, bool *tooBig = nullptr);
int madeOnUiThread();
int decoded();

// Makes thumbnails on a pool of its own, the latest asked for first (the ones the user
// scrolled to), from the cache when it has them.
class Maker : public QObject
{
    Q_OBJECT

public:
    explicit Maker(QObject *parent = nullptr);
    ~Maker() override;

    void setColours(const Colours &value) { drawn = value; }
    const Colours &colours() const { return drawn; }
    void request(const QString &picturePath);
    // Forgets what is waiting: the folder changed.
    void clearPending();
    void waitForDone() { pool.waitForDone(); }

signals:
    // `tooBig`: no thumbnail, since the picture is too big to decode for one.
    void made(const QString &picturePath, const QImage &thumbnail, bool tooBig);

private:
    Colours drawn;
    QThreadPool pool;
    int priority = 0;
    std::shared_ptr<std::atomic_int> generation = std::make_shared<std::atomic_int>(0);
};

} // namespace Thumbnails

#endif
