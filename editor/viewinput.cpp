// How the view answers the pointer and the keys, and what it draws over the scene.

#include "editor/velmoraview.h"

#include "editor/pictureitem.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QWheelEvent>
#include <QtMath>

void VelmoraView::mousePressEvent(QMouseEvent *event)
{
    const bool painting = mode == EditorMode::Doodle || mode == EditorMode::Eraser;
    if (working) {
        // A region is being computed; the pointer waits for it.
        event->accept();
        return;
    }
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
    if (event->button() == Qt::LeftButton && spacePanning)
        handDragging = true; // the base handler below starts the hand's drag
    const Qt::KeyboardModifiers keys = event->modifiers();
    // Alt+click picks the object under the pointer, in every mode; its class becomes current.
    if (event->button() == Qt::LeftButton && (keys & Qt::AltModifier) && !drawing &&
        document->hasObjectLayer()) {
        const QPointF at = mapToScene(event->pos());
        document->setCurrentObject(
            document->objectAt(QPoint(int(std::floor(at.x())), int(std::floor(at.y())))));
        event->accept();
        return;
    }
    // In Move, Ctrl+click (the wand) and Ctrl+Shift+drag (the snapping lasso) add to the
    // mask as in Doodle; a plain drag pans.
    const bool regionInMove = mode == EditorMode::Move && (keys & Qt::ControlModifier);
    if (event->button() == Qt::LeftButton && (painting || regionInMove) && !spacePanning) {
        if ((keys & Qt::ControlModifier) && !(keys & Qt::ShiftModifier)) {
            // The colour wand: the region under the pointer, its tolerance dragged.
            beginWand(mapToScene(event->pos()), event->pos());
            event->accept();
            return;
        }
        drawing = true;
        lastScenePos = mapToScene(event->pos());
        if (keys & Qt::ShiftModifier) {
            // A lasso: its outline is filled on release, snapped to edges with Ctrl.
            lassoing = true;
            snapping = keys & Qt::ControlModifier;
            lasso = {lastScenePos};
        } else {
            beginStroke();
            paintDab(lastScenePos);
        }
        event->accept();
        return;
    }
    QGraphicsView::mousePressEvent(event);
}

void VelmoraView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint before = cursorViewPos;
    cursorViewPos = event->pos();
    reportPointer(cursorViewPos);
    const bool painting = mode == EditorMode::Doodle || mode == EditorMode::Eraser;
    // The outline moves: only where it was and where it is now are drawn again. A lasso
    // or the wand's region change more, and the whole view follows.
    if (lassoing || wanding)
        viewport()->update();
    else if (painting)
        viewport()->update(toolOutlineArea(before).united(toolOutlineArea(cursorViewPos)));
    if (wanding) {
        dragWand(event->pos());
        event->accept();
        return;
    }
    if (drawing && (painting || lassoing) && !working) {
        const QPointF scenePos = mapToScene(event->pos());
        if (lassoing) {
            if (scenePos != lasso.last())
                lasso.append(scenePos);
        } else {
            paintStrokeTo(scenePos);
        }
        lastScenePos = scenePos;
        event->accept();
        return;
    }
    QGraphicsView::mouseMoveEvent(event);
}

void VelmoraView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        handDragging = false;
    if (event->button() == Qt::LeftButton &&
        (mode == EditorMode::Doodle || mode == EditorMode::Eraser || wanding || lassoing) &&
        !working) {
        if (wanding) {
            endWand(true);
        } else if (lassoing && snapping) {
            const QPolygonF outline(lasso);
            endStroke();
            viewport()->update();
            if (enclosesArea(outline))
                snapLasso(outline);
        } else {
            if (lassoing)
                fillLasso();
            endStroke();
        }
    }
    QGraphicsView::mouseReleaseEvent(event);
}

void VelmoraView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && (wanding || working)) {
        // A carried mask being fitted goes on as it was moved.
        endWand(false);
        document->regions().finishNow();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift)
        emit modifiersChanged(event->modifiers());
    if (event->key() == Qt::Key_Escape && lassoing) {
        // The lasso is dropped; the rest of the drag does nothing.
        lassoing = false;
        drawing = false;
        lasso.clear();
        viewport()->update();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        // While held, the hand pans in Doodle and Eraser; the mode itself stays.
        if (!spacePanning && !drawing &&
            (mode == EditorMode::Doodle || mode == EditorMode::Eraser)) {
            spacePanning = true;
            setDragMode(QGraphicsView::ScrollHandDrag);
        }
        event->accept();
        return;
    }
    QGraphicsView::keyPressEvent(event);
}

void VelmoraView::focusOutEvent(QFocusEvent *event)
{
    // A box that opens while Ctrl or Shift is held takes their release: the keys are over
    // for the view, and so is their hint.
    emit modifiersChanged(Qt::NoModifier);
    QGraphicsView::focusOutEvent(event);
}

void VelmoraView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift) {
        // Some systems still report the released key among the modifiers.
        const Qt::KeyboardModifiers released =
            event->key() == Qt::Key_Control ? Qt::ControlModifier : Qt::ShiftModifier;
        emit modifiersChanged(event->modifiers() & ~released);
    }
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        if (spacePanning) {
            spacePanning = false;
            // A pan still under way ends here as if the button had been released.
            if (handDragging) {
                handDragging = false;
                QMouseEvent release(QEvent::MouseButtonRelease, cursorViewPos, Qt::LeftButton,
                                    Qt::NoButton, Qt::NoModifier);
                QGraphicsView::mouseReleaseEvent(&release);
            }
            applyModeCursor();
        }
        event->accept();
        return;
    }
    QGraphicsView::keyReleaseEvent(event);
}

void VelmoraView::enterEvent(QEvent *event)
{
    // Keys for tools and Space reach the view without a click into it first.
    setFocus(Qt::MouseFocusReason);
    QGraphicsView::enterEvent(event);
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
    reportZoom();
}

// Said only when the pixel changes: a move within one pixel at a high zoom says nothing.
void VelmoraView::reportPointer(QPoint viewPos)
{
    QPoint pixel(-1, -1);
    if (imageItem && viewPos.x() >= 0) {
        const QPointF scenePos = mapToScene(viewPos);
        const QPoint under(qFloor(scenePos.x()), qFloor(scenePos.y()));
        if (imageItem->boundingRect().toRect().contains(under))
            pixel = under;
    }
    if (pixel == pointerPixel)
        return;
    pointerPixel = pixel;
    emit pointerPixelChanged(pixel);
}

void VelmoraView::reportZoom()
{
    emit zoomChanged(transform().m11());
}

void VelmoraView::leaveEvent(QEvent *)
{
    cursorViewPos = QPoint(-1, -1);
    reportPointer(cursorViewPos);
    viewport()->update();
}

void VelmoraView::drawForeground(QPainter *painter, const QRectF &)
{
    drawPictureFrame(painter);
    drawWandPreview(painter);
    drawLasso(painter);
    painter->save();
    painter->resetTransform(); // viewport pixels from here on
    if (mode != EditorMode::Move || penErasing)
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

void VelmoraView::drawLasso(QPainter *painter) const
{
    if (lasso.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    // Black dashes over white, one screen pixel wide at every zoom: seen on any picture.
    QPen under(Qt::white, 1.0);
    under.setCosmetic(true);
    painter->setPen(under);
    painter->drawPolyline(lasso.constData(), lasso.size());
    QPen dashes(Qt::black, 1.0, Qt::DashLine);
    dashes.setCosmetic(true);
    painter->setPen(dashes);
    painter->drawPolyline(lasso.constData(), lasso.size());
    painter->restore();
}

// Where the outline is drawn with the pointer at `at` (x < 0: outside): the circle with its
// pen, and the size written under it.
QRect VelmoraView::toolOutlineArea(QPoint at) const
{
    const qreal radius = toolOutlineRadius();
    const QPointF centre = outlineCentre(at, radius);
    const QRectF circle(centre - QPointF(radius + 3, radius + 3),
                        centre + QPointF(radius + 3, radius + 3));
    QRectF label(0, 0, 84, 24);
    label.moveCenter(QPointF(centre.x(), centre.y() + radius + 15));
    return circle.united(label).toAlignedRect();
}

// The on-screen half-width of a stroke of the tool's size at the current zoom.
qreal VelmoraView::toolOutlineRadius() const
{
    return toolWidth() * 0.5 * transform().m11();
}

// Outside the view the circle is parked near the top-left corner, fainter.
QPointF VelmoraView::outlineCentre(QPoint at, qreal radius)
{
    return at.x() >= 0 ? QPointF(at) : QPointF(radius + 20, radius + 20);
}

void VelmoraView::drawToolOutline(QPainter *painter) const
{
    // The size being pressed, with a pen.
    const int size = qRound(toolWidth());
    const qreal radius = toolOutlineRadius();
    const bool inside = cursorViewPos.x() >= 0;
    const QPointF centre = outlineCentre(cursorViewPos, radius);
    const int alpha = inside ? 50 : 30;

    if (!isErasing()) {
        // The brush shows in the colour it paints in: the mask's, red unless the user chose
        // another, or the current class's.
        const QColor colour = paintColour();
        QColor fill = colour;
        fill.setAlpha(alpha);
        painter->setPen(QPen(QBrush(colour), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter->setBrush(QBrush(fill, Qt::SolidPattern));
    } else {
        painter->setPen(QPen(QBrush(Qt::darkCyan), 2.0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
        painter->setBrush(QBrush(QColor(0, 255, 255, alpha), Qt::SolidPattern));
    }
    if (inside)
        painter->setRenderHint(QPainter::Antialiasing, true);
    painter->drawEllipse(centre, radius, radius);

    drawSizeLabel(painter, QPointF(centre.x(), centre.y() + radius + 15), QString::number(size));
}

// Black with a white halo, so the size reads on dark and light pictures alike.
void VelmoraView::drawSizeLabel(QPainter *painter, QPointF middle, const QString &text)
{
    const QFont font(QStringLiteral("Arial"), 9, QFont::Bold, false);
    const QFontMetricsF metrics(font);
    QPainterPath path;
    path.addText(middle.x() - metrics.horizontalAdvance(text) / 2,
                 middle.y() + (metrics.ascent() - metrics.descent()) / 2, font, text);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->strokePath(
        path, QPen(QColor(255, 255, 255, 230), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->fillPath(path, Qt::black);
}
