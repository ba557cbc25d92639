#ifndef VELMORA_TESTS_VIEWPROBE_H
#define VELMORA_TESTS_VIEWPROBE_H

#include "editor/velmoraview.h"

#include <QGraphicsPixmapItem>

// Reaches the view's private state and steps for tests and the benchmark.
class VelmoraViewProbe
{
public:
    static const QImage &mask(const VelmoraView &v) { return v.maskImage; }
    static QImage &mutableMask(VelmoraView &v) { return v.maskImage; }
    static int undoDepth(const VelmoraView &v) { return v.undoStack.size(); }
    static const QVector<QImage> &undoStack(const VelmoraView &v) { return v.undoStack; }
    static EditorMode previousMode(const VelmoraView &v) { return v.previousMode; }
    static QPoint cursorViewPos(const VelmoraView &v) { return v.cursorViewPos; }
    static QPointF lastScenePos(const VelmoraView &v) { return v.lastScenePos; }
    static QGraphicsPixmapItem *imageItem(const VelmoraView &v) { return v.imageItem; }
    static QGraphicsPixmapItem *maskItem(const VelmoraView &v) { return v.maskItem; }
    static bool pushUndo(VelmoraView &v) { return v.pushUndo(); }
    static void refreshMaskItem(VelmoraView &v) { v.refreshMaskItem(); }
    // One stroke segment from `from` to `to` with the current tool, as the pointer would.
    static void segment(VelmoraView &v, const QPointF &from, const QPointF &to)
    {
        v.lastScenePos = from;
        v.paintStrokeTo(to);
        v.lastScenePos = to;
    }
    // True when the mask item shows exactly the pixels of a whole conversion of the mask
    // layer (a fully opaque layer converts to a pixmap without alpha, same pixels).
    static bool showsMaskLayer(const VelmoraView &v)
    {
        if (!v.maskItem)
            return false;
        const auto format = QImage::Format_ARGB32_Premultiplied;
        return v.maskItem->pixmap().toImage().convertToFormat(format) ==
               QPixmap::fromImage(v.maskImage).toImage().convertToFormat(format);
    }
};

#endif
