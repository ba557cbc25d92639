#ifndef VELMORA_DISPLAY_LEVELPAINTING_H
#define VELMORA_DISPLAY_LEVELPAINTING_H

#include <QRect>

class QImage;
class QPainter;
class QRectF;

namespace Display {

class Pyramid;

// What a repaint reads: pixels `area` of level `level`.
struct LevelPart
{
    int level = 0;
    QRect area;
};

// The part of the pyramid that drawing `exposed` (base pixels) with `painter` reads, from
// the level that matches the painter's scale.
LevelPart partToDraw(const Pyramid &pyramid, const QPainter &painter, const QRectF &exposed);

// Draws `pixels` (the part's own pixels, or their colours) where the part lies over the
// base, inside `bounds`. The painter sees only the part: the raster engine loses what it
// reads more than about 32,767 pixels from an image's origin.
void drawPart(QPainter &painter, const LevelPart &part, const QImage &pixels, const QRectF &bounds);

} // namespace Display

#endif
