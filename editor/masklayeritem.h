#ifndef VELMORA_EDITOR_MASKLAYERITEM_H
#define VELMORA_EDITOR_MASKLAYERITEM_H

#include <QColor>
#include <QGraphicsItem>

class QImage;

// Shows the mask layer from the very pixels that strokes paint into: no second full-size
// copy of the mask is kept for the screen. Each repaint draws only the exposed part.
class MaskLayerItem : public QGraphicsItem
{
public:
    // The colour strokes paint the layer in; shown as it is, at no extra cost.
    static const QColor layerColour;

    // `layer` is the view's mask image; it lives as long as the view, longer than the item.
    explicit MaskLayerItem(const QImage *layer);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // Shows the mask in `colour` instead of the layer's red; only the screen changes.
    void setColour(const QColor &colour);
    // Shows every pixel that a save writes as 255 at full colour, and no other.
    void setShownAsSaved(bool asSaved);

private:
    const QImage *layer;
    QColor colour = layerColour;
    bool asSaved = false;
};

#endif
