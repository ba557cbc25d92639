#ifndef VELMORA_DISPLAY_LEVELPAINTING_IMPL_H
#define VELMORA_DISPLAY_LEVELPAINTING_IMPL_H

// The template of levelpainting.h; included from there only.

#include <QVector>
#include <QtMath>

namespace Display {

template <typename ColourOf>
void drawSampled(QPainter &painter, const QImage &level, int n, const QRectF &exposed,
                 ColourOf colourOf)
{
    const QTransform world = painter.worldTransform();
    const QRect screen = world.mapRect(exposed).toAlignedRect();
    if (screen.isEmpty() || level.isNull())
        return;
    QImage pixels(screen.size(), QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        return;
    // Scaled and moved, never turned: a column of the screen is a column of the level.
    const QTransform back = world.inverted();
    const qreal factor = 1 << n;
    const auto levelAt = [&](qreal at, int size) {
        return qBound(0, qFloor(at / factor), size - 1);
    };
    QVector<int> columns(screen.width());
    for (int x = 0; x < screen.width(); ++x)
        columns[x] = levelAt(back.map(QPointF(screen.x() + x + 0.5, 0)).x(), level.width());
    for (int y = 0; y < screen.height(); ++y) {
        const qreal below = back.map(QPointF(0, screen.y() + y + 0.5)).y();
        const uchar *row = level.constScanLine(levelAt(below, level.height()));
        auto *out = reinterpret_cast<QRgb *>(pixels.scanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            out[x] = colourOf(row, columns[x]);
    }
    // Only the exposed part of the base shows; the rest of the screen rectangle is clipped.
    painter.save();
    painter.setClipRect(exposed, Qt::IntersectClip);
    painter.resetTransform();
    painter.drawImage(screen.topLeft(), pixels);
    painter.restore();
}

} // namespace Display

#endif
