#include "editor/masklayeritem.h"

#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

MaskLayerItem::MaskLayerItem(const QImage *layer) : layer(layer)
{
    // Without it the exposed rectangle is always the whole item.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
}

QRectF MaskLayerItem::boundingRect() const
{
    return QRectF(QPointF(0, 0), layer->size());
}

void MaskLayerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    // Whole mask pixels, so a zoomed view samples the same pixels as a whole-image draw.
    const QRect exposed = option->exposedRect.toAlignedRect().intersected(layer->rect());
    if (!exposed.isEmpty())
        painter->drawImage(exposed, *layer, exposed);
}
