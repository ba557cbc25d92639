#include "editor/velmoraview.h"

#include "editor/maskfile.h"
#include "editor/picturefile.h"

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QWheelEvent>

#include <utility>

namespace {

// More than this many stored snapshots and the oldest is dropped, so at most 21 are kept.
constexpr int undoDropAbove = 20;
constexpr qreal zoomStep = 1.15;
// The scene reaches far beyond any picture, so the view can be panned past its edges.
constexpr qreal sceneHalfExtent = 50000.0;

} // namespace

VelmoraView::VelmoraView(QWidget *parent) : QGraphicsView(parent)
{
    scene = new QGraphicsScene(this);
    setScene(scene);
    setRenderHint(QPainter::Antialiasing, true);
    setRenderHint(QPainter::SmoothPixmapTransform, true);
    // Moves without a pressed button must arrive too: the tool outline follows the pointer.
    setAttribute(Qt::WA_MouseTracking, true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    // The overlay moves with the pointer; repainting everything never leaves an old circle.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setDragMode(QGraphicsView::ScrollHandDrag);
}

void VelmoraView::setMode(EditorMode newMode)
{
    if (newMode == mode)
        return;
    // The Eraser is a detour: a right click in it returns to the mode it was entered from.
    if (mode != EditorMode::Eraser)
        previousMode = mode;
    mode = newMode;
    applyModeCursor();
    emit modeChanged(mode);
    if (mode == EditorMode::Doodle)
        emit currentDrawingSizeChanged(brushSize);
    else if (mode == EditorMode::Eraser)
        emit currentDrawingSizeChanged(eraserSize);
    viewport()->update();
}

void VelmoraView::applyModeCursor()
{
    switch (mode) {
    case EditorMode::Move:
        setDragMode(QGraphicsView::ScrollHandDrag);
        setCursor(Qt::OpenHandCursor);
        break;
    case EditorMode::Doodle:
        setDragMode(QGraphicsView::NoDrag);
        setCursor(Qt::CrossCursor);
        break;
    case EditorMode::Eraser:
        setDragMode(QGraphicsView::NoDrag);
        setCursor(Qt::ForbiddenCursor);
        break;
    }
}

void VelmoraView::setBrushSize(int size)
{
    brushSize = size;
    if (mode == EditorMode::Doodle) {
        viewport()->update();
        emit currentDrawingSizeChanged(size);
    }
}

void VelmoraView::setEraserSize(int size)
{
    eraserSize = size;
    if (mode == EditorMode::Eraser) {
        viewport()->update();
        emit currentDrawingSizeChanged(size);
    }
}

void VelmoraView::setMaskOpacity(int value)
{
    if (maskItem)
        maskItem->setOpacity(value / 100.0);
}

void VelmoraView::resetZoom()
{
    if (!imageItem)
        return;
    resetTransform();
    centerOn(imageItem);
    viewport()->update();
}

bool VelmoraView::pushUndo()
{
    if (maskImage.isNull())
        return false;
    // On a big picture the copy can fail for want of memory. A null snapshot is never
    // stored: restoring it later would wipe the mask.
    QImage snapshot = maskImage.copy();
    if (snapshot.isNull())
        return false;
    if (undoStack.size() > undoDropAbove)
        undoStack.removeFirst();
    undoStack.append(std::move(snapshot));
    emit canUndoChanged(true);
    return true;
}

void VelmoraView::undo()
{
    if (undoStack.isEmpty())
        return;
    maskImage = std::move(undoStack.last());
    undoStack.removeLast();
    refreshMaskItem();
    emit canUndoChanged(!undoStack.isEmpty());
}

void VelmoraView::clearMask()
{
    if (maskImage.isNull())
        return;
    // A clear that could not be undone would destroy the user's work, so without a
    // snapshot the mask stays as it is.
    if (!pushUndo())
        return;
    maskImage.fill(Qt::transparent);
    refreshMaskItem();
}

void VelmoraView::refreshMaskItem()
{
    if (maskItem)
        maskItem->setPixmap(QPixmap::fromImage(maskImage));
}

// Brings only `area` of the mask layer into the item's pixmap, so a stroke segment costs in
// proportion to the brush, not to the picture. The result is the same as a whole conversion.
void VelmoraView::refreshMaskItem(const QRect &area)
{
    if (!maskItem)
        return;
    const QRect dirty = area.intersected(maskImage.rect());
    if (dirty.isEmpty())
        return;
    // The item gives up its reference first: painting into a pixmap that is still shared
    // would copy the whole picture before the first pixel is touched.
    QPixmap pixmap = maskItem->pixmap();
    // A mask that was fully opaque was converted into a pixmap without alpha, which could
    // not show erased pixels; that rare case is converted whole.
    if (!pixmap.hasAlphaChannel()) {
        refreshMaskItem();
        return;
    }
    maskItem->setPixmap(QPixmap());
    {
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(dirty.topLeft(), maskImage, dirty);
    }
    maskItem->setPixmap(pixmap);
}

void VelmoraView::loadExistingMask(const QString &path, QImage &mask) const
{
    MaskFile::readInto(MaskFile::pathFor(path), mask);
}

bool VelmoraView::loadImage(const QString &path)
{
    // Everything that can fail is prepared first; the document is replaced only once the
    // picture, its mask layer and the layer's pixmap all exist. The picture is decoded
    // afresh, not served by the pixmap cache, so a file changed on disk shows as it is now.
    const QPixmap picture = QPixmap::fromImage(PictureFile::read(path));
    if (picture.isNull())
        return false;
    QImage newMask(picture.size(), QImage::Format_ARGB32);
    if (newMask.isNull())
        return false;
    loadExistingMask(path, newMask);
    const QPixmap maskPixmap = QPixmap::fromImage(newMask);
    if (maskPixmap.isNull())
        return false;

    imagePath = path;
    scene->clear();
    imageItem = nullptr;
    maskItem = nullptr;
    undoStack.clear();
    emit canUndoChanged(false);
    scene->setSceneRect(-sceneHalfExtent, -sceneHalfExtent, 2 * sceneHalfExtent,
                        2 * sceneHalfExtent);
    imageItem = scene->addPixmap(picture);
    imageItem->setPos(0, 0);
    // Neither item is interactive; the default mask-shaped hit test would trace the outline
    // of the whole picture (and of the mask after every stroke) on the next click.
    imageItem->setShapeMode(QGraphicsPixmapItem::BoundingRectShape);
    maskImage = std::move(newMask);
    maskItem = scene->addPixmap(maskPixmap);
    maskItem->setPos(0, 0);
    maskItem->setShapeMode(QGraphicsPixmapItem::BoundingRectShape);
    maskItem->setOpacity(1.0);

    resetTransform();
    const QRectF bounds = imageItem->boundingRect();
    const QRect port = viewport()->rect();
    if (bounds.width() > port.width() || bounds.height() > port.height())
        fitInView(imageItem, Qt::KeepAspectRatio);
    else
        centerOn(imageItem);
    applyModeCursor();
    viewport()->update();
    return true;
}

QImage VelmoraView::exportMask() const
{
    return MaskFile::toGray(maskImage);
}

void VelmoraView::paintStrokeTo(const QPointF &scenePos)
{
    if (maskImage.isNull())
        return;
    const int width = mode == EditorMode::Doodle ? brushSize : eraserSize;

    QPainter painter(&maskImage);
    if (mode == EditorMode::Doodle) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(QBrush(QColor(255, 0, 0, 255), Qt::SolidPattern), width, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(QBrush(Qt::transparent, Qt::SolidPattern), width, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    // One line per segment; the round caps close the joints between successive segments.
    painter.drawLine(QLineF(lastScenePos, scenePos));
    painter.end();
    // The segment's box, widened by half the pen and a pixel for the antialiased rim.
    const qreal reach = width / 2.0 + 1.0;
    refreshMaskItem(QRectF(lastScenePos, scenePos)
                        .normalized()
                        .adjusted(-reach, -reach, reach, reach)
                        .toAlignedRect());
}

void VelmoraView::mousePressEvent(QMouseEvent *event)
{
    const bool painting = mode == EditorMode::Doodle || mode == EditorMode::Eraser;
    if (event->button() == Qt::RightButton && !drawing) {
        if (mode == EditorMode::Move)
            setMode(EditorMode::Doodle);
        else if (mode == EditorMode::Doodle)
            setMode(EditorMode::Move);
        else
            setMode(previousMode);
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && painting) {
        drawing = true;
        lastScenePos = mapToScene(event->pos());
        // The snapshot comes before the first segment, so one undo takes back the whole
        // stroke. Should it fail for want of memory the stroke still paints.
        pushUndo();
        paintStrokeTo(lastScenePos);
        event->accept();
        return;
    }
    QGraphicsView::mousePressEvent(event);
}

void VelmoraView::mouseMoveEvent(QMouseEvent *event)
{
    cursorViewPos = event->pos();
    const bool painting = mode == EditorMode::Doodle || mode == EditorMode::Eraser;
    if (painting)
        viewport()->update();
    if (drawing && painting) {
        const QPointF scenePos = mapToScene(event->pos());
        paintStrokeTo(scenePos);
        lastScenePos = scenePos;
        event->accept();
        return;
    }
    QGraphicsView::mouseMoveEvent(event);
}

void VelmoraView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton &&
        (mode == EditorMode::Doodle || mode == EditorMode::Eraser))
        drawing = false;
    QGraphicsView::mouseReleaseEvent(event);
}

void VelmoraView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        if (mode != EditorMode::Eraser)
            setMode(EditorMode::Eraser);
        event->accept();
        return;
    }
    QGraphicsView::mouseDoubleClickEvent(event);
}

void VelmoraView::wheelEvent(QWheelEvent *event)
{
    // One fixed step per event, whatever the size of its delta.
    const qreal factor = event->angleDelta().y() > 0 ? zoomStep : 1.0 / zoomStep;
    scale(factor, factor);
    viewport()->update();
}

void VelmoraView::leaveEvent(QEvent *)
{
    cursorViewPos = QPoint(-1, -1);
    viewport()->update();
}

void VelmoraView::drawForeground(QPainter *painter, const QRectF &)
{
    drawPictureFrame(painter);
    painter->save();
    painter->resetTransform(); // viewport pixels from here on
    if (mode != EditorMode::Move)
        drawToolOutline(painter);
    painter->restore();
}

void VelmoraView::drawPictureFrame(QPainter *painter) const
{
    if (!imageItem)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    QPen pen(QBrush(Qt::green), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    pen.setCosmetic(true); // one device pixel wide at every zoom
    painter->setPen(pen);
    painter->drawRect(imageItem->boundingRect());
    painter->restore();
}

void VelmoraView::drawToolOutline(QPainter *painter) const
{
    const int size = mode == EditorMode::Doodle ? brushSize : eraserSize;
    // The on-screen half-width of a stroke of this size at the current zoom.
    const qreal radius = size * 0.5 * transform().m11();
    const bool inside = cursorViewPos.x() >= 0;
    // Outside the view the circle is parked near the top-left corner, fainter.
    const QPointF centre = inside ? QPointF(cursorViewPos) : QPointF(radius + 20, radius + 20);
    const int alpha = inside ? 50 : 30;

    if (mode == EditorMode::Doodle) {
        painter->setPen(QPen(QBrush(Qt::red), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter->setBrush(QBrush(QColor(255, 0, 0, alpha), Qt::SolidPattern));
    } else {
        painter->setPen(QPen(QBrush(Qt::darkCyan), 2.0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
        painter->setBrush(QBrush(QColor(0, 255, 255, alpha), Qt::SolidPattern));
    }
    if (inside)
        painter->setRenderHint(QPainter::Antialiasing, true);
    painter->drawEllipse(centre, radius, radius);

    painter->setPen(QPen(Qt::black));
    painter->setBrush(Qt::NoBrush);
    painter->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold, false));
    QRectF label(0, 0, 80, 20);
    label.moveCenter(QPointF(centre.x(), centre.y() + radius + 15));
    painter->drawText(label, Qt::AlignCenter, QString::number(size));
}
