#ifndef VELMORA_EDITOR_MASKLAYERITEM_H
#define VELMORA_EDITOR_MASKLAYERITEM_H

#include <QGraphicsItem>

class QImage;

// Shows the mask layer from the very pixels that strokes paint into: no second full-size
// copy of the mask is kept for the screen. Each repaint draws only the exposed part.
class MaskLayerItem : public QGraphicsItem
{
public:
    // `layer` is the view's mask image; it lives as long as the view, longer than the item.
    explicit MaskLayerItem(const QImage *layer);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    const QImage *layer;
};

#endif
