#ifndef VELMORA_DOCUMENT_REGIONWORK_H
#define VELMORA_DOCUMENT_REGIONWORK_H

#include "region/regionops.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPolygonF>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class MaskDocument;

// The region work on a document: the snapping lasso, the colour wand, the changes of the
// whole mask and carrying a mask from another picture. The regions are computed off the UI
// thread, one at a time, and put on as one step of the document's history; a result that
// arrives after cancel() (or once another picture is loaded) is dropped. No widgets.
class RegionWork : public QObject
{
    Q_OBJECT

public:
    explicit RegionWork(MaskDocument *document);
    ~RegionWork() override;

    bool isWorking() const { return working; }

    // The piece the lasso's outline snaps to, added (or with `add` false, removed).
    void snapLasso(const QPolygonF &outline, bool add);
    // The wand's region of the picture about `seed`, within `tolerance`.
    void wand(QPoint seed, int tolerance, bool add);
    // Replaces the mask (with classes, the current class) by `change` of its 8-bit export.
    void transform(std::function<QImage(const QImage &)> change);
    // Puts the pieces of `numbers` (8-bit class numbers, the picture's size) on the mask,
    // over what it has, as one step. With `snap` each piece is first moved to where the
    // picture under it went since `before` (a copy of the frame the mask was made on; null
    // when unknown; `shown` is this picture's, made when null) and fitted to this picture's
    // edges. `trails` are those of the carry that placed the pieces, if any.
    // With `objects` (16-bit object numbers over `numbers`), each object's parts are carried
    // as pieces of their own and stay that object.
    void carry(const Region::MotionCopy &before, const Region::MotionCopy &shown,
               const QImage &numbers, const std::vector<Region::Trail> &trails, bool snap,
               const QImage &objects = QImage());
    // The trails of the strokes the last carry put on (see Region::Trail).
    const std::vector<Region::Trail> &carriedTrails() const { return lastTrails; }
    void forgetTrails() { lastTrails.clear(); }

    // Drops the work under way; the mask stays as it is.
    void cancel();
    // Stops the work under way at once: a carry being fitted goes on as it was moved (or
    // as it was, before it is moved); other work is dropped.
    void finishNow();

signals:
    // Work started or ended (finished, cancelled or dropped).
    void busyChanged(bool busy);
    // The snapping lasso found no object and filled the plain outline instead.
    void snapFellBack();
    // A carried mask was put on: its pieces, and how many went on as they were because
    // fitting would have lost them. `snapped` is false when no fitting was asked for or it was
    // stopped.
    void carried(int pieces, int unchanged, bool snapped);
    // A region could not get the memory it needs; the mask is unchanged.
    void outOfMemory();

private:
    // What the work gives: a piece to add or remove, or a whole new mask, or carried pieces.
    struct Result
    {
        Region::Piece piece;
        bool add = true;
        bool replace = false;
        bool fellBack = false;
        bool failed = false;                          // no memory for the result
        Region::MovedMask placed;                     // a carried mask's pieces
        int carriedPieces = -1, carriedUnchanged = 0; // a carried mask's
        std::vector<Region::Trail> trails;
    };
    struct Carrying;

    void run(std::function<Result()> work);
    void applyPiece(const Region::Piece &piece, bool add);
    void putCarried(const Region::MovedMask &placed, const QImage &numbers, int pieces,
                    int unchanged, bool snapped, const std::vector<Region::Trail> &trails);
    void putCarriedUnfitted(Carrying &carried);

    MaskDocument *document;
    bool working = false;
    int ticket = 0; // a result is applied only while its ticket is current
    std::shared_ptr<std::atomic_bool> cancelled; // tells the work under way to stop
    std::shared_ptr<Carrying> carrying;
    std::vector<Region::Trail> lastTrails;
};

#endif
