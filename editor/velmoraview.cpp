#include "editor/velmoraview.h"

#include "editor/maskedit.h"
#include "editor/maskfile.h"
#include "editor/masklayeritem.h"
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
#include <QUndoStack>
#include <QWheelEvent>

#include <utility>

namespace {

// Steps kept in the history; the oldest is dropped when a new one would exceed it.
constexpr int undoLimit = 21;
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

    undoStack = new QUndoStack(this);
    undoStack->setUndoLimit(undoLimit);
    connect(undoStack, &QUndoStack::canRedoChanged, this, &VelmoraView::canRedoChanged);
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

MaskEdit *VelmoraView::pushStep()
{
    if (maskImage.isNull())
        return nullptr;
    // Pushing drops the steps that could have been redone, and the oldest beyond the limit.
    auto *step = new MaskEdit(&maskImage);
    undoStack->push(step);
    emit canUndoChanged(true);
    return step;
}

void VelmoraView::undo()
{
    if (drawing || !undoStack->canUndo())
        return;
    undoStack->undo();
    refreshStep(undoStack->index());
    emit canUndoChanged(undoStack->canUndo());
    updateModified();
}

void VelmoraView::redo()
{
    if (drawing || !undoStack->canRedo())
        return;
    undoStack->redo();
    refreshStep(undoStack->index() - 1);
    emit canUndoChanged(true);
    updateModified();
}

void VelmoraView::clearMask()
{
    if (maskImage.isNull() || drawing)
        return;
    // A clear that could not be undone would destroy the user's work, so without memory
    // for the tiles it would take back, the mask stays as it is.
    auto step = std::make_unique<MaskEdit>(&maskImage);
    if (!step->clearAll())
        return;
    undoStack->push(step.release());
    emit canUndoChanged(true);
    refreshStep(undoStack->index() - 1);
    updateModified();
}

void VelmoraView::markSaved()
{
    undoStack->setClean();
    updateModified();
}

void VelmoraView::refreshStep(int index)
{
    if (maskItem)
        maskItem->update(static_cast<const MaskEdit *>(undoStack->command(index))->bounds());
}

void VelmoraView::updateModified()
{
    // The mask equals the saved one when no step between the saved state and the current
    // one changed a pixel. A saved state dropped off the end of the history is gone.
    bool now = undoStack->cleanIndex() < 0;
    const int from = qMin(undoStack->cleanIndex(), undoStack->index());
    const int to = qMax(undoStack->cleanIndex(), undoStack->index());
    for (int i = from; !now && i < to; ++i)
        now = static_cast<const MaskEdit *>(undoStack->command(i))->changedPixels();
    if (now == modified)
        return;
    modified = now;
    emit modifiedChanged(modified);
}

bool VelmoraView::loadImage(const QString &path)
{
    // The picture is decoded afresh, not served by the pixmap cache, so a file changed on
    // disk shows as it is now.
    return loadImage(path, PictureFile::readWithMask(path));
}

bool VelmoraView::loadImage(const QString &path, PictureFile::WithMask decoded)
{
    // Everything that can fail is prepared first; the document is replaced only once the
    // picture, its mask layer and the picture's pixmap all exist.
    if (decoded.isNull())
        return false;
    const QPixmap picture = QPixmap::fromImage(std::move(decoded.picture));
    if (picture.isNull())
        return false;

    endStroke();
    imagePath = path;
    scene->clear();
    imageItem = nullptr;
    maskItem = nullptr;
    undoStack->clear();
    undoStack->setClean();
    emit canUndoChanged(false);
    scene->setSceneRect(-sceneHalfExtent, -sceneHalfExtent, 2 * sceneHalfExtent,
                        2 * sceneHalfExtent);
    imageItem = scene->addPixmap(picture);
    imageItem->setPos(0, 0);
    // Not interactive; the default mask-shaped hit test would trace the outline of the
    // whole picture on the next click.
    imageItem->setShapeMode(QGraphicsPixmapItem::BoundingRectShape);
    maskImage = std::move(decoded.mask);
    maskItem = new MaskLayerItem(&maskImage);
    scene->addItem(maskItem);
    maskItem->setPos(0, 0);
    maskItem->setOpacity(1.0);
    updateModified();

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

void VelmoraView::beginStroke()
{
    // The step is pushed before the first segment, so one undo takes back the whole stroke.
    // It holds nothing yet: each tile is kept the first time a segment is about to paint it.
    stroke = pushStep();
    strokeLostPixels = false;
}

void VelmoraView::paintStrokeTo(const QPointF &scenePos)
{
    if (!stroke)
        return;
    const int width = mode == EditorMode::Doodle ? brushSize : eraserSize;
    // The segment's box, widened by half the pen and a pixel for the antialiased rim.
    const qreal reach = width / 2.0 + 1.0;
    const QRect area = QRectF(lastScenePos, scenePos)
                           .normalized()
                           .adjusted(-reach, -reach, reach, reach)
                           .toAlignedRect()
                           .intersected(maskImage.rect());
    if (area.isEmpty())
        return;
    // Where the tiles' pixels could not be kept, nothing is painted: every change stays
    // undoable, and the rest of the stroke goes on.
    const QRegion refused = stroke->prepare(area);

    QPainter painter(&maskImage);
    if (!refused.isEmpty()) {
        painter.setClipRegion(QRegion(area).subtracted(refused));
        if (!strokeLostPixels) {
            strokeLostPixels = true;
            emit strokeOutOfMemory();
        }
    }
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
    maskItem->update(area);
}

void VelmoraView::endStroke()
{
    drawing = false;
    if (!stroke)
        return;
    stroke->finish();
    stroke = nullptr;
    updateModified();
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
        beginStroke();
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
        endStroke();
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
