#ifndef VELMORA_TESTS_VIEWPROBE_H
#define VELMORA_TESTS_VIEWPROBE_H

#include "document/maskedit.h"
#include "editor/masklayeritem.h"
#include "editor/pictureitem.h"
#include "editor/velmoraview.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QUndoStack>
#include <QtTest/QTest>

// Reaches the view's private state and steps for tests and the benchmark.
class VelmoraViewProbe
{
public:
    static const QImage &mask(const VelmoraView &v) { return v.document->mask(); }
    static QImage &mutableMask(VelmoraView &v) { return v.document->layer(); }
    // Steps that can be undone.
    static int undoDepth(const VelmoraView &v) { return v.document->historyIndex(); }
    static int historySize(const VelmoraView &v) { return v.document->historyCount(); }
    // Bytes of pixels the whole history holds.
    static qint64 historyBytes(const VelmoraView &v)
    {
        qint64 total = 0;
        for (int i = 0; i < v.document->historyCount(); ++i)
            total += v.document->step(i)->bytes();
        return total;
    }
    static EditorMode previousMode(const VelmoraView &v) { return v.previousMode; }
    static QPoint cursorViewPos(const VelmoraView &v) { return v.cursorViewPos; }
    static QPointF lastScenePos(const VelmoraView &v) { return v.lastScenePos; }
    static QGraphicsItem *imageItem(const VelmoraView &v) { return v.imageItem; }
    static const QImage &picture(const VelmoraView &v) { return v.document->picture(); }
    static const Display::Pyramid &maskPyramid(const VelmoraView &v)
    {
        return v.document->maskPyramid();
    }
    static const Display::Pyramid &picturePyramid(const VelmoraView &v)
    {
        return v.document->picturePyramid();
    }
    // The area of the picture the wand's preview shows under way, in picture pixels.
    static QRect wandPreviewArea(const VelmoraView &v)
    {
        const QRect piece = v.wandPreview.rect();
        return QRectF(QPointF(piece.topLeft()) / v.wandScale, QSizeF(piece.size()) / v.wandScale)
            .toAlignedRect();
    }
    // Drops the reduced copies, as when their memory could not be had.
    static void dropReducedCopies(VelmoraView &v)
    {
        const_cast<Display::Pyramid &>(v.document->picturePyramid()).setReduced({});
        const_cast<Display::Pyramid &>(v.document->maskPyramid()).setReduced({});
    }
    // Waits until the picture's reduced copies are made and shown.
    static bool waitForReducedPicture(const VelmoraView &v, int timeout = 20000)
    {
        const MaskDocument &d = *v.document;
        return QTest::qWaitFor([&] { return !d.isReducing(); }, timeout) &&
               QTest::qWaitFor(
                   [&] {
                       return d.picturePyramid().levelCount() > 1 ||
                              qMax(d.picture().width(), d.picture().height()) <=
                                  Display::Pyramid::smallestSide;
                   },
                   timeout);
    }
    static QGraphicsItem *maskItem(const VelmoraView &v) { return v.maskItem; }

    // A stroke as the pointer makes it, in scene coordinates: the press at `points[0]`, one
    // segment to each further point, and the release.
    static void stroke(VelmoraView &v, const QVector<QPointF> &points)
    {
        beginStroke(v, points.first());
        for (int i = 1; i < points.size(); ++i)
            segment(v, points.at(i));
        endStroke(v);
    }
    static void stroke(VelmoraView &v, const QPointF &from, const QPointF &to)
    {
        stroke(v, {from, to});
    }
    static void beginStroke(VelmoraView &v, const QPointF &at)
    {
        v.drawing = true;
        v.lastScenePos = at;
        v.beginStroke();
        v.paintDab(at);
    }
    // One more segment of the stroke under way, from the last point to `to`.
    static void segment(VelmoraView &v, const QPointF &to)
    {
        v.paintStrokeTo(to);
        v.lastScenePos = to;
    }
    static void endStroke(VelmoraView &v) { v.endStroke(); }
    // A lasso through `points`, filled as on release.
    static void lasso(VelmoraView &v, const QVector<QPointF> &points)
    {
        v.lasso = points;
        v.lassoing = true;
        v.fillLasso();
        v.endStroke();
    }

    // True when the mask item paints exactly the pixels of the mask layer.
    static bool showsMaskLayer(const VelmoraView &v)
    {
        if (!v.maskItem || v.maskItem->boundingRect() != QRectF(v.document->mask().rect()))
            return false;
        QImage shown(v.document->mask().size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::transparent);
        QPainter painter(&shown);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        QStyleOptionGraphicsItem option;
        option.exposedRect = v.maskItem->boundingRect();
        v.maskItem->paint(&painter, &option, nullptr);
        painter.end();
        QImage expected(v.document->mask().size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                expected.setPixel(
                    x, y, qPremultiply(qRgba(255, 0, 0, v.document->mask().constScanLine(y)[x])));
        return shown == expected;
    }
};

#endif
