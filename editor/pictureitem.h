#ifndef VELMORA_EDITOR_PICTUREITEM_H
#define VELMORA_EDITOR_PICTUREITEM_H

#include <QGraphicsItem>

namespace Display {
class Pyramid;
}

// Shows the picture from the reduced copy that matches the zoom, so a repaint reads about
// as many pixels as it shows, on a picture of any size.
class PictureItem : public QGraphicsItem
{
public:
    // `pyramid` is the view's; it lives as long as the view, longer than the item.
    explicit PictureItem(const Display::Pyramid *pyramid);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    const Display::Pyramid *pyramid;
};

#endif
