#include "editor/masklayeritem.h"

#include "display/levelpainting.h"
#include "display/pyramid.h"

#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <new>
#include <utility>

const QColor MaskLayerItem::layerColour(255, 0, 0);

MaskLayerItem::MaskLayerItem(const Display::Pyramid *pyramid) : pyramid(pyramid)
{
    // Without it the exposed rectangle is always the whole item.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
    makeColours();
}

QRectF MaskLayerItem::boundingRect() const
{
    return QRectF(QPointF(0, 0), pyramid->level(0).size());
}

void MaskLayerItem::setColour(const QColor &newColour)
{
    colour = newColour;
    makeColours();
    update();
}

void MaskLayerItem::setShownAsSaved(bool on)
{
    asSaved = on;
    makeColours();
    update();
}

void MaskLayerItem::setClassColours(const QVector<QColor> &colours, const QVector<bool> &hidden)
{
    classColours = colours;
    classesHidden = hidden;
    makeColours();
    update();
}

void MaskLayerItem::setObjects(const QImage *layer, const QSet<int> &hidden)
{
    objects = layer;
    objectsHidden = hidden;
    update();
}

// Level `n` pixel (x, y) stands for base pixel (x << n, y << n); its object is compared with
// the objects one level pixel to the right and below, so the line stays a screen pixel
// thin at every zoom. Each row's objects are sampled once, into a row of their own, and
// serve as the row below the one before.
void MaskLayerItem::markObjects(int n, const QRect &area, QRgb *colours) const
{
    const QImage &numbers = *objects;
    const int lastX = numbers.width() - 1;
    const int lastY = numbers.height() - 1;
    const int width = area.width();
    thread_local std::vector<quint16> sampled;
    sampled.resize(2 * size_t(width + 1));
    quint16 *here = sampled.data();
    quint16 *below = here + width + 1;
    const auto sample = [&](int levelY, quint16 *into) {
        const auto *row =
            reinterpret_cast<const quint16 *>(numbers.constScanLine(qMin(levelY << n, lastY)));
        int baseX = area.left() << n;
        for (int x = 0; x <= width; ++x, baseX += 1 << n)
            into[x] = row[qMin(baseX, lastX)];
    };
    sample(area.top(), here);
    for (int y = 0; y < area.height(); ++y) {
        sample(area.top() + y + 1, below);
        QRgb *out = colours + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const quint16 object = here[x];
            const quint16 right = here[x + 1];
            const quint16 down = below[x];
            // Without a branch for the common case: most pixels meet no other object.
            const bool edge = object && ((right && right != object) || (down && down != object));
            if (edge)
                out[x] = ((out[x] >> 2) & 0x003f3f3fu) | (out[x] & 0xff000000u);
        }
        if (!objectsHidden.isEmpty())
            for (int x = 0; x < width; ++x)
                if (here[x] && objectsHidden.contains(here[x]))
                    out[x] = 0;
        std::swap(here, below);
    }
}

void MaskLayerItem::makeColours()
{
    if (!classColours.isEmpty()) {
        byValue[0] = 0;
        for (int value = 1; value < 256; ++value) {
            const bool hidden = value <= classesHidden.size() && classesHidden.at(value - 1);
            const QColor shown = classColours.at(qMin(value, int(classColours.size())) - 1);
            byValue[value] = hidden ? 0 : qPremultiply(shown.rgb());
        }
        return;
    }
    for (int value = 0; value < 256; ++value) {
        const int alpha = asSaved ? (value > 0 ? 255 : 0) : value;
        byValue[value] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), alpha));
    }
}

namespace {

// The part of `area` of `level` that holds values above 0, with `margin` around it inside
// `area`; empty when all are 0. Outside it nothing would show, so nothing is drawn there.
QRect holdingMask(const QImage &level, const QRect &area, int margin)
{
    int top = -1, bottom = -1, left = area.right() + 1, right = area.left() - 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *row = level.constScanLine(y);
        // Without a branch per pixel, so the compiler can look at many at once.
        uchar any = 0;
        for (int x = area.left(); x <= area.right(); ++x)
            any |= row[x];
        if (!any)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        int x = area.left();
        while (x < left && !row[x])
            ++x;
        left = qMin(left, x);
        x = area.right();
        while (x > right && !row[x])
            --x;
        right = qMax(right, x);
    }
    if (top < 0)
        return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom))
        .adjusted(-margin, -margin, margin, margin)
        .intersected(area);
}

} // namespace

void MaskLayerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    Display::LevelPart part = Display::partToDraw(*pyramid, *painter, option->exposedRect);
    const auto sampled = [&] {
        Display::drawSampled(*painter, pyramid->level(part.level), part.level, option->exposedRect,
                             [this](const uchar *row, int x) { return byValue[row[x]]; });
    };
    if (Display::isTooFine(part, *painter, option->exposedRect)) {
        sampled();
        return;
    }
    // Two empty pixels around what is drawn, so its smoothed edges fade as over empty mask.
    part.area = holdingMask(pyramid->level(part.level), part.area, 2);
    if (part.area.isEmpty())
        return;
    // Zoomed out, a reduced pixel is the mean of those it covers, so "as saved" shows a
    // screen pixel in full colour when any pixel under it is inside.
    const QImage &level = pyramid->level(part.level);
    const size_t count = size_t(part.area.width()) * size_t(part.area.height());
    if (scratch.size() < count) {
        // Without memory for the colours, the screen's own pixels are enough.
        try {
            scratch.resize(count);
        } catch (const std::bad_alloc &) {
            sampled();
            return;
        }
    }
    QImage colours(reinterpret_cast<uchar *>(scratch.data()), part.area.width(), part.area.height(),
                   part.area.width() * int(sizeof(QRgb)), QImage::Format_ARGB32_Premultiplied);
    const int width = part.area.width();
    for (int y = 0; y < part.area.height(); ++y) {
        const uchar *in = level.constScanLine(part.area.top() + y) + part.area.left();
        QRgb *out = scratch.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            out[x] = byValue[in[x]];
    }
    if (objects && !objects->isNull() && !classColours.isEmpty())
        markObjects(part.level, part.area, scratch.data());
    Display::drawPart(*painter, part, colours, boundingRect());
}
