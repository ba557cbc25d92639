#ifndef VELMORA_DISPLAY_LEVELPAINTING_H
#define VELMORA_DISPLAY_LEVELPAINTING_H

#include <QImage>
#include <QPainter>
#include <QRect>

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

// Whether the part reads many more pixels than the screen shows: no level near the zoom is
// there (they are still being made, or their memory could not be had).
bool isTooFine(const LevelPart &part, const QPainter &painter, const QRectF &exposed);

// Draws `exposed` (base pixels) from level `n`, the nearest level pixel for each screen
// pixel: the cost and the memory follow the screen, however fine the level.
// `colourOf(row, x)` gives the premultiplied colour of pixel `x` of a row of the level.
template <typename ColourOf>
void drawSampled(QPainter &painter, const QImage &level, int n, const QRectF &exposed,
                 ColourOf colourOf);

} // namespace Display

#include "display/levelpainting_impl.h"

#endif
