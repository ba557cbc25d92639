// Pen tablets: the pen paints like the mouse, its pressure sets the tool's size, and its
// eraser end erases whatever the tool.

#include "editor/velmoraview.h"

#include <QTabletEvent>

namespace {

// The lightest touch paints at this share of the tool's size.
constexpr qreal lightestShare = 0.1;

} // namespace

bool VelmoraView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        // Not taken: the system makes mouse events of it, and the mouse's gestures follow.
        penEvent(static_cast<QTabletEvent *>(event));
        return event->isAccepted();
    default:
        return QGraphicsView::viewportEvent(event);
    }
}

qreal VelmoraView::pressureScale(qreal pressure) const
{
    // A tablet that sends no pressure reports none at all: it paints at the whole size.
    if (!penPressure || pressure <= 0.0)
        return 1.0;
    return lightestShare + (1.0 - lightestShare) * qMin(pressure, 1.0);
}

qreal VelmoraView::toolWidth() const
{
    const int size = isErasing() ? eraserSize : brushSize;
    return qMax(1.0, size * pressed);
}

void VelmoraView::penEvent(QTabletEvent *event)
{
    const bool eraserEnd = event->pointerType() == QTabletEvent::Eraser;
    const QPoint at = event->pos();
    switch (event->type()) {
    case QEvent::TabletPress: {
        const bool painting = eraserEnd || mode != EditorMode::Move;
        // The pen's lassos, wand and hand are the mouse's, from the events made of it.
        const bool gesture = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
        if (!painting || gesture || drawing || working || spacePanning ||
            event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        penStroke = true;
        penErasing = eraserEnd;
        pressed = pressureScale(event->pressure());
        drawing = true;
        cursorViewPos = at;
        lastScenePos = mapToScene(at);
        beginStroke();
        paintDab(lastScenePos);
        viewport()->update();
        event->accept();
        return;
    }
    case QEvent::TabletMove: {
        if (!penStroke) {
            event->ignore();
            return;
        }
        const QRect before = toolOutlineArea(cursorViewPos);
        cursorViewPos = at;
        reportPointer(at);
        pressed = pressureScale(event->pressure());
        const QPointF scenePos = mapToScene(at);
        paintStrokeTo(scenePos);
        lastScenePos = scenePos;
        viewport()->update(before.united(toolOutlineArea(at)));
        event->accept();
        return;
    }
    case QEvent::TabletRelease:
        if (!penStroke) {
            event->ignore();
            return;
        }
        endStroke();
        viewport()->update();
        event->accept();
        return;
    default:
        event->ignore();
    }
}
