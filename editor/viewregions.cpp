// The view's region gestures: the colour wand (Ctrl+click, drag to change the tolerance),
// the snapping lasso (Ctrl+Shift+drag) and changes of the whole mask. The regions come from
// region/; the view collects the gesture and hands it to the document's region work, which
// runs it off the UI thread and puts the result on as one step of the history.

#include "editor/masklayeritem.h"
#include "editor/velmoraview.h"
#include "files/maskfile.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent>
#include <QtMath>

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

void VelmoraView::cancelMaskWork()
{
    document->regions().cancel();
}

void VelmoraView::transformMask(std::function<QImage(const QImage &)> change)
{
    if (document->isNull() || drawing)
        return;
    document->regions().transform(std::move(change));
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

void VelmoraView::snapLasso(const QPolygonF &outline)
{
    // Move adds, as Doodle does.
    document->regions().snapLasso(outline, mode != EditorMode::Eraser);
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
    // Move adds, as Doodle does.
    document->regions().wand(wandSeed, gestureTolerance, mode != EditorMode::Eraser);
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
