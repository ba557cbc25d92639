#include "document/regionwork.h"

#include "document/maskdocument.h"

#include <QFutureWatcher>
#include <QtConcurrent>

#include <mutex>

namespace {

// `carried` (class numbers) over `under`: the carried pieces win where they are.
QImage carriedOver(const QImage &under, const QImage &carried)
{
    QImage merged = under;
    if (merged.isNull() || carried.size() != merged.size())
        return QImage();
    const int width = merged.width();
    for (int y = 0; y < merged.height(); ++y) {
        const uchar *from = carried.constScanLine(y);
        uchar *to = merged.scanLine(y);
        for (int x = 0; x < width; ++x)
            if (from[x])
                to[x] = from[x];
    }
    return merged;
}

} // namespace

// What stopping needs of a carry under way: the pieces, and once the work has moved them,
// the moved pieces. The mask they go over is the document's, which does not change
// meanwhile.
struct RegionWork::Carrying
{
    QImage numbers;
    QImage objects; // null without objects
    std::mutex lock;
    Region::MovedMask moved; // empty until moved
};

RegionWork::RegionWork(MaskDocument *document) : QObject(document), document(document) {}

RegionWork::~RegionWork()
{
    if (cancelled)
        cancelled->store(true);
}

// The work runs on a pool thread; meanwhile no other work starts.
void RegionWork::run(std::function<Result()> work)
{
    if (document->isNull() || working)
        return;
    working = true;
    const int mine = ++ticket;
    emit busyChanged(true);
    auto *watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher, mine] {
        watcher->deleteLater();
        if (mine != ticket)
            return; // cancelled, or another picture
        working = false;
        emit busyChanged(false);
        carrying.reset();
        cancelled.reset();
        const Result done = watcher->result();
        if (done.failed)
            emit outOfMemory();
        else if (!done.placed.size.isEmpty())
            putCarried(done.placed, QImage(), done.carriedPieces, done.carriedUnchanged, true,
                       done.trails);
        else if (done.replace && !document->applyMask(done.piece.mask))
            emit outOfMemory();
        else if (!done.replace)
            applyPiece(done.piece, done.add);
        if (done.fellBack)
            emit snapFellBack();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void RegionWork::applyPiece(const Region::Piece &piece, bool add)
{
    if (!piece.isNull() && !document->isNull() && !document->applyPiece(piece, add))
        emit outOfMemory();
}

void RegionWork::cancel()
{
    if (!working)
        return;
    ++ticket;
    if (cancelled)
        cancelled->store(true);
    cancelled.reset();
    carrying.reset();
    working = false;
    emit busyChanged(false);
}

void RegionWork::finishNow()
{
    const std::shared_ptr<Carrying> carried = carrying;
    cancel();
    if (carried)
        putCarriedUnfitted(*carried);
}

void RegionWork::snapLasso(const QPolygonF &outline, bool add)
{
    const QImage shown = document->picture();
    // An outline that misses the picture finds nothing; only one over it can fail.
    const bool overPicture = outline.boundingRect().toAlignedRect().intersects(shown.rect());
    run([shown, outline, add, overPicture] {
        Result work;
        bool snapped = false;
        work.piece = Region::snappedLasso(shown, outline, &snapped);
        work.add = add;
        work.fellBack = !snapped;
        work.failed = overPicture && work.piece.isNull();
        return work;
    });
}

void RegionWork::wand(QPoint seed, int tolerance, bool add)
{
    const QImage shown = document->picture();
    run([shown, seed, tolerance, add] {
        Result work;
        work.piece = Region::wand(shown, seed, tolerance);
        work.add = add;
        work.failed = work.piece.isNull(); // the seed is on the picture: it is always found
        return work;
    });
}

void RegionWork::transform(std::function<QImage(const QImage &)> change)
{
    if (document->isNull() || working)
        return;
    // With classes, the change works on the current class alone.
    const QImage current = document->exportCurrent();
    if (current.isNull()) {
        emit outOfMemory();
        return;
    }
    run([current, change] {
        Result work;
        work.replace = true;
        work.piece = {change(current), QPoint()};
        work.failed = work.piece.isNull(); // the changes give null only without memory
        return work;
    });
}

void RegionWork::carry(const Region::MotionCopy &before, const Region::MotionCopy &shown,
                       const QImage &numbers, const std::vector<Region::Trail> &trails, bool snap,
                       const QImage &objects)
{
    if (document->isNull() || working || numbers.size() != document->mask().size())
        return;
    if (!snap && !objects.isNull()) {
        // Objects go on as pieces where they were, each keeping its number.
        const Region::MovedMask asIs =
            Region::movedMask({}, {}, document->picture(), numbers, {}, nullptr, nullptr, objects);
        if (asIs.size.isEmpty())
            emit outOfMemory();
        else
            putCarried(asIs, QImage(), -1, 0, false, {});
        return;
    }
    if (!snap) {
        const QImage asIs = carriedOver(document->exportClasses(), numbers);
        if (asIs.isNull())
            emit outOfMemory();
        else
            putCarried({}, asIs, -1, 0, false, {});
        return;
    }
    const QImage frame = document->picture();
    const auto stop = std::make_shared<std::atomic_bool>(false);
    auto state = std::make_shared<Carrying>();
    state->numbers = numbers;
    state->objects = objects;
    // The pieces go on where they are: no copy of the whole layer is made.
    run([frame, before, shown, trails, state, stop] {
        Result work;
        Region::MovedMask moved = Region::movedMask(before, shown, frame, state->numbers, trails,
                                                    stop.get(), nullptr, state->objects);
        {
            const std::lock_guard<std::mutex> hold(state->lock);
            state->moved = moved;
        }
        const int reach = before.isNull() ? Region::carriedMove : Region::fittedMove;
        const Region::Carried carried = moved.size.isEmpty()
                                            ? Region::Carried()
                                            : Region::fittedMask(frame, moved, reach, stop.get());
        work.placed = carried.placed;
        work.failed = carried.placed.size.isEmpty() && !stop->load();
        work.carriedPieces = carried.pieces;
        work.carriedUnchanged = carried.unchanged;
        work.trails = carried.trails;
        return work;
    });
    // From here on, finishNow() puts the pieces on unfitted and cancel() stops the work.
    cancelled = stop;
    carrying = state;
}

void RegionWork::putCarriedUnfitted(Carrying &carried)
{
    Region::MovedMask moved;
    {
        const std::lock_guard<std::mutex> hold(carried.lock);
        moved = carried.moved;
    }
    if (!moved.size.isEmpty()) {
        putCarried(moved, QImage(), -1, 0, false, moved.trails);
        return;
    }
    if (!carried.objects.isNull()) {
        const Region::MovedMask asIs = Region::movedMask(
            {}, {}, document->picture(), carried.numbers, {}, nullptr, nullptr, carried.objects);
        if (asIs.size.isEmpty())
            emit outOfMemory();
        else
            putCarried(asIs, QImage(), -1, 0, false, {});
        return;
    }
    const QImage asIs = carriedOver(document->exportClasses(), carried.numbers);
    if (asIs.isNull())
        emit outOfMemory();
    else
        putCarried({}, asIs, -1, 0, false, {});
}

void RegionWork::putCarried(const Region::MovedMask &placed, const QImage &numbers, int pieces,
                            int unchanged, bool snapped, const std::vector<Region::Trail> &trails)
{
    lastTrails = trails;
    const bool put = placed.size.isEmpty() ? document->applyClasses(numbers)
                                           : document->applyClassPieces(placed);
    if (put)
        emit carried(pieces, unchanged, snapped);
    else
        emit outOfMemory();
}
