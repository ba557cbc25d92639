#include "display/levelpainting.h"

#include "display/pyramid.h"

#include <QImage>
#include <QPainter>
#include <QtMath>

namespace Display {

LevelPart partToDraw(const Pyramid &pyramid, const QPainter &painter, const QRectF &exposed)
{
    LevelPart part;
    if (pyramid.levelCount() == 0)
        return part;
    const QTransform &world = painter.worldTransform();
    const qreal scale = qMax(qSqrt(world.m11() * world.m11() + world.m12() * world.m12()),
                             qSqrt(world.m21() * world.m21() + world.m22() * world.m22()));
    part.level = pyramid.levelFor(scale);
    part.area = pyramid.areaFor(part.level, exposed);
    return part;
}

bool isTooFine(const LevelPart &part, const QPainter &painter, const QRectF &exposed)
{
    const QRectF screen = painter.worldTransform().mapRect(exposed);
    // Two levels finer than the zoom asks for, or more.
    return qreal(part.area.width()) * part.area.height() >
           16 * (screen.width() + 2) * (screen.height() + 2);
}

void drawPart(QPainter &painter, const LevelPart &part, const QImage &pixels, const QRectF &bounds)
{
    const qreal factor = 1 << part.level;
    const QRectF target(QPointF(part.area.topLeft()) * factor, QSizeF(part.area.size()) * factor);
    // A level's last column or row may stand for fewer pixels than the others: what it
    // would cover beyond the base is not drawn.
    const bool pastBounds = !bounds.contains(target);
    if (pastBounds) {
        painter.save();
        painter.setClipRect(bounds, Qt::IntersectClip);
    }
    painter.drawImage(target, pixels);
    if (pastBounds)
        painter.restore();
}

} // namespace Display
