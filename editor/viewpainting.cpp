// How the view paints into the mask: strokes, dabs and the lasso, each change kept undoable.

#include "editor/velmoraview.h"

#include "document/maskedit.h"
#include "editor/masklayeritem.h"

#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRegion>

void VelmoraView::beginStroke()
{
    // The step is pushed before anything is painted, so one undo takes back the whole
    // stroke. It holds nothing yet: each tile is kept the first time it is about to change.
    // Nothing is painted unseen: a hidden mask shows again.
    setMaskHidden(false);
    stroke = document->beginStroke();
    strokeLostPixels = false;
}

void VelmoraView::paintWithTool(const QRectF &reach, const std::function<void(QPainter &)> &draw)
{
    if (!stroke)
        return;
    // Whole pixels, widened by one for the antialiased rim, inside the picture.
    QImage &layer = document->layer();
    const QRect area = reach.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(layer.rect());
    if (area.isEmpty())
        return;
    // Where the tiles' pixels could not be kept, nothing is painted: every change stays
    // undoable, and the rest of the stroke goes on.
    const QRegion refused = stroke->prepare(area);

    // The painter works on the area alone, in coordinates that start at the area's corner:
    // the raster engine loses what it draws beyond about 32,767 pixels from its device's
    // origin, and pictures can be wider than that. Without classes it paints the mask's own
    // memory; with classes it draws where the tool reaches, and the document gives those
    // pixels the class.
    const bool classes = document->hasClasses();
    QImage local;
    if (classes) {
        if (strokeCover.width() < area.width() || strokeCover.height() < area.height())
            strokeCover = QImage(qMax(area.width(), strokeCover.width()),
                                 qMax(area.height(), strokeCover.height()), layer.format());
        if (strokeCover.isNull()) {
            emit strokeOutOfMemory();
            return;
        }
        local = QImage(strokeCover.bits(), area.width(), area.height(), strokeCover.bytesPerLine(),
                       layer.format());
        local.fill(0);
    } else {
        local = QImage(layer.scanLine(area.top()) + area.left(), area.width(), area.height(),
                       layer.bytesPerLine(), layer.format());
    }
    QPainter painter(&local);
    painter.translate(-area.topLeft());
    if (!refused.isEmpty()) {
        painter.setClipRegion(QRegion(area).subtracted(refused));
        if (!strokeLostPixels) {
            strokeLostPixels = true;
            emit strokeOutOfMemory();
        }
    }
    const qreal width = toolWidth();
    if (!isErasing() || classes) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(QBrush(QColor(255, 0, 0, 255), Qt::SolidPattern), width, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(QColor(255, 0, 0, 255));
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(QBrush(Qt::transparent, Qt::SolidPattern), width, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::transparent);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    draw(painter);
    painter.end();
    if (classes) {
        // The eraser clears every class; its lasso, like the others, spares the other
        // classes when they are protected.
        const bool erase = isErasing();
        document->putCoverage(area, local, erase, erase && lassoing && document->protectsOthers());
    } else {
        document->layerPainted(area);
    }
}

void VelmoraView::paintStrokeTo(const QPointF &scenePos)
{
    const qreal half = toolWidth() / 2.0;
    paintWithTool(QRectF(lastScenePos, scenePos).normalized().adjusted(-half, -half, half, half),
                  [&](QPainter &painter) {
                      painter.setBrush(Qt::NoBrush);
                      // One line per segment; round caps close the joints between segments.
                      painter.drawLine(QLineF(lastScenePos, scenePos));
                  });
}

void VelmoraView::paintDab(const QPointF &centre)
{
    // A click leaves a disc of the tool's size, and a stroke starts as round as it ends.
    const qreal radius = toolWidth() / 2.0;
    paintWithTool(QRectF(centre, centre).adjusted(-radius, -radius, radius, radius),
                  [&](QPainter &painter) {
                      painter.setPen(Qt::NoPen);
                      painter.drawEllipse(centre, radius, radius);
                  });
}

void VelmoraView::fillLasso()
{
    const QPolygonF outline(lasso);
    lasso.clear();
    viewport()->update();
    // An outline that encloses no area, or none of the picture, changes nothing and makes
    // no undo step.
    if (!enclosesArea(outline) || document->isNull() ||
        !outline.boundingRect().intersects(QRectF(document->mask().rect())))
        return;
    beginStroke();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addPolygon(outline);
    path.closeSubpath();
    paintWithTool(outline.boundingRect(), [&](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.drawPath(path);
    });
}

bool VelmoraView::enclosesArea(const QPolygonF &outline)
{
    // Three points that are not all on one line.
    for (int i = 2; i < outline.size(); ++i) {
        const QPointF a = outline.at(1) - outline.at(0);
        const QPointF b = outline.at(i) - outline.at(0);
        if (!qFuzzyIsNull(a.x() * b.y() - a.y() * b.x()))
            return true;
    }
    return false;
}

void VelmoraView::endStroke()
{
    drawing = false;
    lassoing = false;
    lasso.clear();
    // However the stroke ends (released, another picture, the window gone), a pen's state
    // goes with it: the next stroke paints at its own size, with its own tool.
    penStroke = false;
    penErasing = false;
    pressed = 1.0;
    if (!stroke)
        return;
    stroke = nullptr;
    document->endStroke();
}
