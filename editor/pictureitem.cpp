#include "editor/pictureitem.h"

#include "display/levelpainting.h"
#include "display/pyramid.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

PictureItem::PictureItem(const Display::Pyramid *pyramid) : pyramid(pyramid)
{
    // Without it the exposed rectangle is always the whole item.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
}

QRectF PictureItem::boundingRect() const
{
    return QRectF(QPointF(0, 0), pyramid->level(0).size());
}

void PictureItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const Display::LevelPart part = Display::partToDraw(*pyramid, *painter, option->exposedRect);
    if (part.area.isEmpty())
        return;
    const QImage &level = pyramid->level(part.level);
    if (Display::isTooFine(part, *painter, option->exposedRect)) {
        Display::drawSampled(
            *painter, level, part.level, option->exposedRect,
            [](const uchar *row, int x) { return reinterpret_cast<const QRgb *>(row)[x]; });
        return;
    }
    // The part is read where it lies: no copy.
    const QImage pixels(level.constScanLine(part.area.top()) + part.area.left() * 4,
                        part.area.width(), part.area.height(), level.bytesPerLine(),
                        level.format());
    Display::drawPart(*painter, part, pixels, boundingRect());
}
