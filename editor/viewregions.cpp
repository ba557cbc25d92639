// The view's region gestures: the colour wand (Ctrl+click, drag to change the tolerance),
// the snapping lasso (Ctrl+Shift+drag) and changes of the whole mask. The regions come from
// region/; the view collects the gesture, runs the work off the UI thread and applies the
// result as one step of the history.

#include "editor/masklayeritem.h"
#include "editor/velmoraview.h"
#include "files/maskfile.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent>
#include <QtMath>

#include <memory>
#include <mutex>

namespace {

// The wand's drag shows its region on a copy of at most this many pixels, so each step of
// the drag stays quick on any picture; the release works at full size.
constexpr qint64 previewPixels = 2'000'000;
// Screen pixels of drag for one unit of the wand's tolerance.
constexpr int wandDragPixelsPerUnit = 4;

} // namespace

QImage VelmoraView::picture() const
{
    return document->picture();
}

void VelmoraView::setWandTolerance(int tolerance)
{
    wandTolerance = qBound(0, tolerance, 255);
}

bool VelmoraView::applyPiece(const Region::Piece &piece, bool add)
{
    if (piece.isNull() || document->isNull() || drawing)
        return false;
    if (document->applyPiece(piece, add))
        return true;
    emit regionOutOfMemory();
    return false;
}

// The work runs on a pool thread; meanwhile the view counts as drawing, so no other change
// of the mask starts. Esc drops the result, and a new picture does too.
void VelmoraView::runMaskWork(std::function<MaskWork()> work)
{
    if (document->isNull() || drawing)
        return;
    drawing = true;
    working = true;
    const int ticket = ++workTicket;
    viewport()->setCursor(Qt::BusyCursor);
    emit busyChanged(true);
    auto *watcher = new QFutureWatcher<MaskWork>(this);
    connect(watcher, &QFutureWatcher<MaskWork>::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != workTicket)
            return; // cancelled, or another picture
        drawing = false;
        working = false;
        applyModeCursor();
        emit busyChanged(false);
        carrying.reset();
        workCancelled.reset();
        const MaskWork done = watcher->result();
        if (done.failed)
            emit regionOutOfMemory();
        else if (!done.placed.size.isEmpty())
            putCarried(done.placed, QImage(), done.carriedPieces, done.carriedUnchanged, true,
                       done.trails);
        else if (done.replace && !applyMask(done.piece.mask))
            emit regionOutOfMemory();
        else if (!done.replace)
            applyPiece(done.piece, done.add);
        if (done.fellBack)
            emit snapFellBack();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void VelmoraView::cancelMaskWork()
{
    if (!isWorking())
        return;
    ++workTicket;
    if (workCancelled)
        workCancelled->store(true);
    workCancelled.reset();
    carrying.reset();
    drawing = false;
    working = false;
    applyModeCursor();
    emit busyChanged(false);
}

void VelmoraView::transformMask(std::function<QImage(const QImage &)> change)
{
    if (document->isNull() || drawing)
        return;
    // With classes, the change works on the current class alone.
    const QImage current = document->exportCurrent();
    if (current.isNull()) {
        emit regionOutOfMemory();
        return;
    }
    runMaskWork([current, change] {
        MaskWork work;
        work.replace = true;
        work.piece = {change(current), QPoint()};
        work.failed = work.piece.isNull(); // the changes give null only without memory
        return work;
    });
}

void VelmoraView::invertMask()
{
    if (document->isNull() || drawing)
        return;
    viewport()->setCursor(Qt::BusyCursor);
    const bool done = document->invert();
    applyModeCursor();
    if (!done)
        emit regionOutOfMemory();
}

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

// What Esc needs of a carry under way: the pieces, and once the work has moved them, the moved
// pieces. The mask they go over is the document's, which does not change meanwhile.
struct VelmoraView::Carrying
{
    QImage numbers;
    std::mutex lock;
    Region::MovedMask moved; // empty until moved
};

void VelmoraView::carryMask(const Region::MotionCopy &before, const Region::MotionCopy &shown,
                            const QImage &numbers, const std::vector<Region::Trail> &trails,
                            bool snap)
{
    if (document->isNull() || drawing || numbers.size() != document->mask().size())
        return;
    if (!snap) {
        const QImage asIs = carriedOver(document->exportClasses(), numbers);
        if (asIs.isNull())
            emit regionOutOfMemory();
        else
            putCarried({}, asIs, -1, 0, false, {});
        return;
    }
    const QImage frame = picture();
    const auto cancelled = std::make_shared<std::atomic_bool>(false);
    auto state = std::make_shared<Carrying>();
    state->numbers = numbers;
    // The pieces go on where they are: no copy of the whole layer is made.
    runMaskWork([frame, before, shown, trails, state, cancelled] {
        MaskWork work;
        Region::MovedMask moved =
            Region::movedMask(before, shown, frame, state->numbers, trails, cancelled.get());
        {
            const std::lock_guard<std::mutex> hold(state->lock);
            state->moved = moved;
        }
        const int reach = before.isNull() ? Region::carriedMove : Region::fittedMove;
        const Region::Carried carried =
            moved.size.isEmpty() ? Region::Carried()
                                 : Region::fittedMask(frame, moved, reach, cancelled.get());
        work.placed = carried.placed;
        work.failed = carried.placed.size.isEmpty() && !cancelled->load();
        work.carriedPieces = carried.pieces;
        work.carriedUnchanged = carried.unchanged;
        work.trails = carried.trails;
        return work;
    });
    // From here on, Esc puts the pieces on unfitted and cancelMaskWork() stops the work.
    workCancelled = cancelled;
    carrying = state;
}

void VelmoraView::putCarriedUnfitted(Carrying &carried)
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
    const QImage asIs = carriedOver(document->exportClasses(), carried.numbers);
    if (asIs.isNull())
        emit regionOutOfMemory();
    else
        putCarried({}, asIs, -1, 0, false, {});
}

void VelmoraView::putCarried(const Region::MovedMask &placed, const QImage &numbers, int pieces,
                             int unchanged, bool snapped, const std::vector<Region::Trail> &trails)
{
    lastTrails = trails;
    const bool put = placed.size.isEmpty() ? document->applyClasses(numbers)
                                           : document->applyClassPieces(placed);
    if (put)
        emit maskCarried(pieces, unchanged, snapped);
    else
        emit regionOutOfMemory();
}

void VelmoraView::snapLasso(const QPolygonF &outline)
{
    const bool add = mode != EditorMode::Eraser; // Move adds, as Doodle does
    const QImage shown = picture();
    // An outline that misses the picture finds nothing; only one over it can fail.
    const bool overPicture = outline.boundingRect().toAlignedRect().intersects(shown.rect());
    runMaskWork([shown, outline, add, overPicture] {
        MaskWork work;
        bool snapped = false;
        work.piece = Region::snappedLasso(shown, outline, &snapped);
        work.add = add;
        work.fellBack = !snapped;
        work.failed = overPicture && work.piece.isNull();
        return work;
    });
}

void VelmoraView::beginWand(const QPointF &scenePos, QPoint viewPos)
{
    const QImage shown = picture();
    const QPoint seed(qFloor(scenePos.x()), qFloor(scenePos.y()));
    if (shown.isNull() || !shown.rect().contains(seed))
        return;
    drawing = true;
    wanding = true;
    wandSeed = seed;
    wandPressX = viewPos.x();
    gestureTolerance = wandTolerance;
    // The preview works on the largest of the screen's reduced copies that is small
    // enough; until they are made, on a copy sampled once per gesture.
    const auto pixelsOf = [](const QImage &image) {
        return qint64(image.width()) * image.height();
    };
    int level = 0;
    while (level + 1 < document->picturePyramid().levelCount() &&
           pixelsOf(document->picturePyramid().level(level)) > previewPixels)
        ++level;
    if (pixelsOf(document->picturePyramid().level(level)) <= previewPixels) {
        wandScale = 1.0 / (1 << level);
        wandPreviewPicture = document->picturePyramid().level(level);
    } else {
        wandScale = qSqrt(double(previewPixels) / pixelsOf(shown));
        wandPreviewPicture = shown.scaled(qMax(1, qRound(shown.width() * wandScale)),
                                          qMax(1, qRound(shown.height() * wandScale)));
    }
    updateWandPreview();
}

void VelmoraView::dragWand(QPoint viewPos)
{
    // A quarter of a unit of tolerance per screen pixel, right more and left less: small
    // changes are easy, and the whole range still fits a long drag.
    const int tolerance =
        qBound(0, wandTolerance + (viewPos.x() - wandPressX) / wandDragPixelsPerUnit, 255);
    if (tolerance == gestureTolerance)
        return;
    gestureTolerance = tolerance;
    updateWandPreview();
}

void VelmoraView::updateWandPreview()
{
    const QPoint seed(qMin(wandPreviewPicture.width() - 1, qFloor(wandSeed.x() * wandScale)),
                      qMin(wandPreviewPicture.height() - 1, qFloor(wandSeed.y() * wandScale)));
    wandPreview = Region::wand(wandPreviewPicture, seed, gestureTolerance);
    emit wandToleranceShown(gestureTolerance);
    viewport()->update();
}

void VelmoraView::endWand(bool commit)
{
    if (!wanding)
        return;
    wanding = false;
    drawing = false;
    wandPreview = {};
    wandPreviewPicture = QImage();
    viewport()->update();
    if (!commit)
        return;
    const QImage shown = picture();
    const QPoint seed = wandSeed;
    const int tolerance = gestureTolerance;
    const bool add = mode != EditorMode::Eraser; // Move adds, as Doodle does
    runMaskWork([shown, seed, tolerance, add] {
        MaskWork work;
        work.piece = Region::wand(shown, seed, tolerance);
        work.add = add;
        work.failed = work.piece.isNull(); // the seed is on the picture: it is always found
        return work;
    });
}

void VelmoraView::drawWandPreview(QPainter *painter) const
{
    if (!wanding || wandPreview.isNull())
        return;
    // The region in the mask's colour, over the picture at the preview's scale.
    QImage shown(wandPreview.mask.size(), QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    QColor colour = paintColour();
    colour.setAlpha(140);
    const QRgb fill = qPremultiply(colour.rgba());
    for (int y = 0; y < shown.height(); ++y) {
        const uchar *in = wandPreview.mask.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if (in[x])
                out[x] = fill;
    }
    const QRectF target(QPointF(wandPreview.offset) / wandScale,
                        QSizeF(wandPreview.mask.size()) / wandScale);
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(target, shown);
    painter->restore();
}
