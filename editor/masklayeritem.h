#ifndef VELMORA_EDITOR_MASKLAYERITEM_H
#define VELMORA_EDITOR_MASKLAYERITEM_H

#include <QColor>
#include <QGraphicsItem>
#include <QRgb>
#include <QSet>
#include <QVector>

#include <vector>

namespace Display {
class Pyramid;
}

// Shows the mask in its colour from the reduced copy of the mask layer that matches the
// zoom. The layer holds only how much of each pixel is inside; the colour is given to the
// pixels a repaint reads, and to no others.
class MaskLayerItem : public QGraphicsItem
{
public:
    // The colour the mask is shown in unless another is chosen.
    static const QColor layerColour;

    // `pyramid` is the view's, over its mask layer; it lives longer than the item.
    explicit MaskLayerItem(const Display::Pyramid *pyramid);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // Shows the mask in `colour` instead of red; only the screen changes.
    void setColour(const QColor &colour);
    // Shows every pixel that a save writes as 255 at full colour, and no other.
    void setShownAsSaved(bool asSaved);
    // With classes the layer holds class numbers: class n shows in `colours[n - 1]`, at full
    // strength (the item's opacity dims it), and not at all when `hidden[n - 1]`. No colours:
    // the layer is one mask.
    void setClassColours(const QVector<QColor> &colours, const QVector<bool> &hidden);
    // The object layer beside the mask (16-bit numbers, null for none; the document's, it
    // lives longer than the item): where two objects meet, the first pixel of the pair shows
    // darker, so touching objects of one class are seen apart; objects in `hidden` do not
    // show.
    void setObjects(const QImage *objects, const QSet<int> &hidden);

private:
    void makeColours();
    void markObjects(int n, const QRect &area, QRgb *colours) const;

    const Display::Pyramid *pyramid;
    QColor colour = layerColour;
    bool asSaved = false;
    QVector<QColor> classColours;
    QVector<bool> classesHidden;
    const QImage *objects = nullptr;
    QSet<int> objectsHidden;
    QRgb byValue[256];         // the screen colour of each layer value
    std::vector<QRgb> scratch; // the colours of the part being drawn, kept between repaints
};

#endif
