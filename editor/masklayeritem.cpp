#include "editor/masklayeritem.h"

#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

const QColor MaskLayerItem::layerColour(255, 0, 0);

namespace {

// Gives every pixel of `screen` the colour `colour` at the pixel's own alpha, or, shown as
// saved, at full alpha wherever there is any.
void recolour(QImage &screen, const QColor &colour, bool asSaved)
{
    const int width = screen.width();
    const int height = screen.height();
    QRgb byAlpha[256];
    for (int alpha = 0; alpha < 256; ++alpha) {
        const int shown = asSaved ? (alpha > 0 ? 255 : 0) : alpha;
        byAlpha[alpha] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), shown));
    }
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(screen.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = byAlpha[qAlpha(row[x])];
    }
}

} // namespace

MaskLayerItem::MaskLayerItem(const QImage *layer) : layer(layer)
{
    // Without it the exposed rectangle is always the whole item.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
}

QRectF MaskLayerItem::boundingRect() const
{
    return QRectF(QPointF(0, 0), layer->size());
}

void MaskLayerItem::setColour(const QColor &newColour)
{
    colour = newColour;
    update();
}

void MaskLayerItem::setShownAsSaved(bool on)
{
    asSaved = on;
    update();
}

void MaskLayerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    // Whole mask pixels, so a zoomed view samples the same pixels as a whole-image draw.
    const QRect exposed = option->exposedRect.toAlignedRect().intersected(layer->rect());
    if (exposed.isEmpty())
        return;
    if (colour == layerColour && !asSaved) {
        painter->drawImage(exposed, *layer, exposed);
        return;
    }
    const QTransform world = painter->worldTransform();
    if (world.m11() >= 1.0) {
        // Zoomed in, the exposed mask pixels are no more than the screen's: they are
        // recoloured themselves, so "as saved" is decided for each mask pixel.
        QImage part = layer->copy(exposed);
        if (part.isNull())
            return;
        recolour(part, colour, asSaved);
        painter->drawImage(exposed, part);
        return;
    }
    // Zoomed out, drawn at screen resolution first and recoloured there, so the cost follows
    // the screen's pixels, not the picture's.
    const QRect target = world.mapRect(QRectF(exposed)).toAlignedRect();
    QImage screen(target.size(), QImage::Format_ARGB32_Premultiplied);
    if (screen.isNull())
        return;
    screen.fill(Qt::transparent);
    {
        QPainter onScreen(&screen);
        onScreen.setRenderHints(painter->renderHints());
        onScreen.setTransform(world * QTransform::fromTranslate(-target.x(), -target.y()));
        onScreen.drawImage(exposed, *layer, exposed);
    }
    recolour(screen, colour, asSaved);
    painter->save();
    painter->resetTransform();
    painter->drawImage(target.topLeft(), screen);
    painter->restore();
}
