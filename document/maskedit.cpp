#include "document/maskedit.h"

#include "files/maskfile.h"

#include <algorithm>
#include <cstring>

namespace {

// A tile is kept only while this much memory is left beyond it: the raster engine does not
// survive running out in the middle of a line, so the painting that follows needs room.
constexpr int headroomSide = 512; // pixels of 4 bytes (the painter's own), 1 MiB

// Layers hold a byte a pixel (classes) or two (object numbers).
template <typename T> bool isUniformOf(const QImage &image, const QRect &area, quint16 *value)
{
    const T first = reinterpret_cast<const T *>(image.constScanLine(area.top()))[area.left()];
    *value = first;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const T *row = reinterpret_cast<const T *>(image.constScanLine(y)) + area.left();
        // Without a branch per pixel, so the compiler can compare many at once.
        T differences = 0;
        for (int x = 0; x < area.width(); ++x)
            differences |= row[x] ^ first;
        if (differences != 0)
            return false;
    }
    return true;
}

// Whether every pixel of `area` is `*value`; `value` is set from the first pixel.
bool isUniform(const QImage &image, const QRect &area, quint16 *value)
{
    return image.depth() == 16 ? isUniformOf<quint16>(image, area, value)
                               : isUniformOf<uchar>(image, area, value);
}

size_t pixelBytes(const QImage &image)
{
    return size_t(image.depth() / 8);
}

void fillArea(QImage &image, const QRect &area, quint16 value)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        if (image.depth() == 16) {
            auto *row = reinterpret_cast<quint16 *>(image.scanLine(y)) + area.left();
            std::fill(row, row + area.width(), value);
        } else {
            std::memset(image.scanLine(y) + area.left(), uchar(value), size_t(area.width()));
        }
    }
}

void copyArea(const QImage &from, const QRect &area, QImage &to)
{
    const size_t bytes = pixelBytes(from);
    const size_t rowBytes = size_t(area.width()) * bytes;
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(to.scanLine(y), from.constScanLine(area.top() + y) + area.left() * bytes,
                    rowBytes);
}

void copyBack(const QImage &tile, const QRect &area, QImage &to)
{
    const size_t bytes = pixelBytes(to);
    const size_t rowBytes = size_t(area.width()) * bytes;
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(to.scanLine(area.top() + y) + area.left() * bytes, tile.constScanLine(y),
                    rowBytes);
}

bool sameArea(const QImage &image, const QRect &area, const QImage &tile)
{
    const size_t bytes = pixelBytes(image);
    const size_t rowBytes = size_t(area.width()) * bytes;
    for (int y = 0; y < area.height(); ++y) {
        const uchar *row = image.constScanLine(area.top() + y) + area.left() * bytes;
        if (std::memcmp(row, tile.constScanLine(y), rowBytes) != 0)
            return false;
    }
    return true;
}

// Adds `sign` to the count of every value of `area`.
template <typename T, typename Counts>
void countArea(const QImage &image, const QRect &area, qint64 sign, Counts &counts)
{
    quint16 value = 0;
    if (isUniform(image, area, &value)) {
        counts[value] += sign * qint64(area.width()) * area.height();
        return;
    }
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const T *row = reinterpret_cast<const T *>(image.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            counts[row[x]] += sign;
    }
}

} // namespace

MaskEdit::MaskEdit(QImage *mask, QImage *objects)
    : mask(mask), tilesAcross((mask->width() + tileSize - 1) / tileSize)
{
    classPlane.image = mask;
    if (objects && !objects->isNull())
        objectPlane.image = objects;
}

QRect MaskEdit::tileRect(int key) const
{
    const QRect tile((key % tilesAcross) * tileSize, (key / tilesAcross) * tileSize, tileSize,
                     tileSize);
    return tile.intersected(mask->rect());
}

// Keeps the tile's pixels as they are now: its value when uniform, else a copy, taken only
// while the memory for it and for the painting that follows can be had.
bool MaskEdit::keepTile(Plane &plane, int key, bool painting)
{
    const QRect rect = tileRect(key);
    Tile tile;
    tile.uniform = isUniform(*plane.image, rect, &tile.value);
    if (tile.uniform && !painting) {
        plane.tiles.insert(key, tile);
        return true;
    }
    // QImage gives a null image when the memory can't be had. The headroom is only
    // reserved, never touched, and given back at once.
    tile.pixels = plane.image->copy(rect);
    const QImage headroom(headroomSide, headroomSide, QImage::Format_ARGB32);
    if (tile.pixels.isNull() || headroom.isNull())
        return false;
    plane.tiles.insert(key, std::move(tile));
    return true;
}

QRegion MaskEdit::preparePlane(Plane &plane, const QRect &area, bool painting)
{
    const QRect inside = area.intersected(mask->rect());
    QRegion refusedHere;
    if (inside.isEmpty())
        return refusedHere;
    const int right = inside.right() / tileSize;
    const int bottom = inside.bottom() / tileSize;
    for (int ty = inside.top() / tileSize; ty <= bottom; ++ty) {
        for (int tx = inside.left() / tileSize; tx <= right; ++tx) {
            const int key = ty * tilesAcross + tx;
            if (plane.tiles.contains(key))
                continue;
            if (!plane.refused.contains(key)) {
                if (keepTile(plane, key, painting))
                    continue;
                plane.refused.insert(key);
            }
            refusedHere += tileRect(key);
        }
    }
    return refusedHere;
}

QRegion MaskEdit::prepare(const QRect &area, bool painting)
{
    QRegion refusedHere = preparePlane(classPlane, area, painting);
    if (hasObjects())
        refusedHere += preparePlane(objectPlane, area, painting);
    return refusedHere;
}

bool MaskEdit::prepareObjects(const QRect &area)
{
    return !hasObjects() || preparePlane(objectPlane, area, false).isEmpty();
}

void MaskEdit::finishPlane(Plane &plane)
{
    if (plane.finished)
        return;
    for (auto it = plane.tiles.begin(); it != plane.tiles.end();) {
        const QRect rect = tileRect(it.key());
        Tile &tile = it.value();
        quint16 now = 0;
        const bool uniformNow = isUniform(*plane.image, rect, &now);
        if (tile.uniform ? uniformNow && now == tile.value
                         : sameArea(*plane.image, rect, tile.pixels)) {
            it = plane.tiles.erase(it);
            continue;
        }
        if (tile.uniform && uniformNow) {
            tile.pixels = QImage(); // neither side needs an image
        } else if (tile.uniform && tile.pixels.isNull()) {
            // Undo will hold these pixels: their memory is taken now. Without it the tile
            // goes back to what it was, so the step stays undoable.
            tile.pixels = QImage(rect.size(), plane.image->format());
            if (tile.pixels.isNull()) {
                fillArea(*plane.image, rect, tile.value);
                plane.lost = true;
                it = plane.tiles.erase(it);
                continue;
            }
        }
        ++it;
    }
    plane.refused.clear();
    plane.finished = true;
}

void MaskEdit::finish()
{
    finishPlane(classPlane);
    if (hasObjects())
        finishPlane(objectPlane);
    changed = !classPlane.tiles.isEmpty() || !objectPlane.tiles.isEmpty();
}

bool MaskEdit::lostTiles() const
{
    return classPlane.lost || objectPlane.lost;
}

bool MaskEdit::clearPlane(Plane &plane)
{
    const int tilesDown = (mask->height() + tileSize - 1) / tileSize;
    for (int key = 0; key < tilesAcross * tilesDown; ++key) {
        quint16 value = 0;
        const QRect rect = tileRect(key);
        if (isUniform(*plane.image, rect, &value) && value == 0)
            continue;
        if (!keepTile(plane, key, false))
            return false;
    }
    return true;
}

bool MaskEdit::clearAll()
{
    if (!clearPlane(classPlane) || (hasObjects() && !clearPlane(objectPlane))) {
        classPlane.tiles.clear();
        objectPlane.tiles.clear();
        return false;
    }
    for (Plane *plane : {&classPlane, &objectPlane}) {
        for (auto it = plane->tiles.cbegin(); it != plane->tiles.cend(); ++it)
            fillArea(*plane->image, tileRect(it.key()), 0);
        plane->finished = true;
    }
    changed = !classPlane.tiles.isEmpty();
    return true;
}

bool MaskEdit::mapAll(const std::array<uchar, 256> &map)
{
    // A tile of one value takes its new value; the others change pixel by pixel, and keep
    // their image for the swap back. Each tile is changed right after it is looked at, while
    // its pixels are still in the cache. A tile the map leaves as it was is not kept.
    const int tilesDown = (mask->height() + tileSize - 1) / tileSize;
    QHash<int, Tile> &tiles = classPlane.tiles;
    tiles.reserve(tilesAcross * tilesDown);
    for (int key = 0; key < tilesAcross * tilesDown; ++key) {
        if (!keepTile(classPlane, key, false)) {
            swapTiles(classPlane, *this); // the tiles changed so far go back
            tiles.clear();
            return false;
        }
        const auto tile = tiles.find(key);
        const QRect rect = tileRect(key);
        if (tile->uniform) {
            if (map[tile->value] == tile->value)
                tiles.erase(tile);
            else
                fillArea(*mask, rect, map[tile->value]);
            continue;
        }
        uchar differences = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            uchar *row = mask->scanLine(y) + rect.left();
            for (int x = 0; x < rect.width(); ++x) {
                const uchar now = map[row[x]];
                differences |= now ^ row[x];
                row[x] = now;
            }
        }
        if (!differences)
            tiles.erase(tile);
    }
    // Every tile kept changed: the class layer's part is finished as it stands.
    classPlane.finished = true;
    changed = !tiles.isEmpty();
    return true;
}

// From the held pixels' values to the layer's, over the plane's tiles.
template <typename T, typename Counts>
void MaskEdit::recountPlane(const Plane &plane, Counts &counts) const
{
    for (auto it = plane.tiles.cbegin(); it != plane.tiles.cend(); ++it) {
        const QRect rect = tileRect(it.key());
        const Tile &tile = it.value();
        if (tile.uniform)
            counts[tile.value] -= qint64(rect.width()) * rect.height();
        else
            countArea<T>(tile.pixels, QRect(QPoint(0, 0), rect.size()), -1, counts);
        countArea<T>(*plane.image, rect, 1, counts);
    }
}

void MaskEdit::recount(std::array<qint64, 256> &counts) const
{
    recountPlane<uchar>(classPlane, counts);
}

void MaskEdit::recountObjects(std::vector<qint64> &counts) const
{
    if (hasObjects() && counts.size() >= 65536)
        recountPlane<quint16>(objectPlane, counts);
}

void MaskEdit::remap(const std::array<uchar, 256> &map)
{
    for (Tile &tile : classPlane.tiles) {
        tile.value = map[tile.value];
        if (tile.uniform || tile.pixels.isNull())
            continue;
        for (int y = 0; y < tile.pixels.height(); ++y) {
            uchar *row = tile.pixels.scanLine(y);
            std::transform(row, row + tile.pixels.width(), row,
                           [&map](uchar value) { return map[value]; });
        }
    }
}

QRect MaskEdit::bounds() const
{
    QRect area;
    for (const Plane *plane : {&classPlane, &objectPlane})
        for (auto it = plane->tiles.cbegin(); it != plane->tiles.cend(); ++it)
            area |= tileRect(it.key());
    return area;
}

QVector<QRect> MaskEdit::tileRects() const
{
    QVector<QRect> rects;
    rects.reserve(classPlane.tiles.size());
    for (auto it = classPlane.tiles.cbegin(); it != classPlane.tiles.cend(); ++it)
        rects.append(tileRect(it.key()));
    return rects;
}

qint64 MaskEdit::bytes() const
{
    // Each tile's bookkeeping, and its pixels where it holds an image.
    qint64 total = 0;
    for (const Plane *plane : {&classPlane, &objectPlane}) {
        total += qint64(plane->tiles.size()) * qint64(sizeof(Tile) + 16);
        for (const Tile &tile : plane->tiles)
            total += tile.pixels.sizeInBytes();
    }
    return total;
}

void MaskEdit::expire()
{
    for (Plane *plane : {&classPlane, &objectPlane}) {
        plane->tiles.clear();
        plane->tiles.squeeze();
    }
    expired = true;
}

void MaskEdit::swapTiles(Plane &plane, const MaskEdit &edit)
{
    QImage &image = *plane.image;
    const size_t bytes = pixelBytes(image);
    for (auto it = plane.tiles.begin(); it != plane.tiles.end(); ++it) {
        const QRect rect = edit.tileRect(it.key());
        Tile &tile = it.value();
        quint16 now = 0;
        const bool uniformNow = isUniform(image, rect, &now);
        if (tile.uniform && uniformNow) {
            fillArea(image, rect, tile.value);
            tile.value = now;
        } else if (tile.uniform) {
            copyArea(image, rect, tile.pixels);
            fillArea(image, rect, tile.value);
            tile.uniform = false;
        } else if (uniformNow) {
            copyBack(tile.pixels, rect, image);
            tile.uniform = true;
            tile.value = now;
        } else {
            for (int y = 0; y < rect.height(); ++y) {
                uchar *row = image.scanLine(rect.top() + y) + rect.left() * bytes;
                std::swap_ranges(row, row + rect.width() * bytes, tile.pixels.scanLine(y));
            }
        }
    }
}

void MaskEdit::undo()
{
    if (expired)
        return;
    swapTiles(classPlane, *this);
    if (hasObjects())
        swapTiles(objectPlane, *this);
}

void MaskEdit::redo()
{
    undo(); // a swap either way
}
