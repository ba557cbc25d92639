#include "document/maskedit.h"

#include "files/maskfile.h"

#include <algorithm>
#include <cstring>

namespace {

// A tile is kept only while this much memory is left beyond it: the raster engine does not
// survive running out in the middle of a line, so the painting that follows needs room.
constexpr int headroomSide = 512; // pixels of 4 bytes (the painter's own), 1 MiB

// Whether every pixel of `area` is `*value`; `value` is set from the first pixel.
bool isUniform(const QImage &image, const QRect &area, uchar *value)
{
    *value = image.constScanLine(area.top())[area.left()];
    const uchar first = *value;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *row = image.constScanLine(y) + area.left();
        // Without a branch per pixel, so the compiler can compare many at once.
        uchar differences = 0;
        for (int x = 0; x < area.width(); ++x)
            differences |= row[x] ^ first;
        if (differences != 0)
            return false;
    }
    return true;
}

void fillArea(QImage &image, const QRect &area, uchar value)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(image.scanLine(y) + area.left(), value, size_t(area.width()));
}

void copyArea(const QImage &from, const QRect &area, QImage &to)
{
    const size_t rowBytes = size_t(area.width());
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(to.scanLine(y), from.constScanLine(area.top() + y) + area.left(), rowBytes);
}

void copyBack(const QImage &tile, const QRect &area, QImage &to)
{
    const size_t rowBytes = size_t(area.width());
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(to.scanLine(area.top() + y) + area.left(), tile.constScanLine(y), rowBytes);
}

bool sameArea(const QImage &image, const QRect &area, const QImage &tile)
{
    const size_t rowBytes = size_t(area.width());
    for (int y = 0; y < area.height(); ++y) {
        const uchar *row = image.constScanLine(area.top() + y) + area.left();
        if (std::memcmp(row, tile.constScanLine(y), rowBytes) != 0)
            return false;
    }
    return true;
}

} // namespace

MaskEdit::MaskEdit(QImage *mask)
    : mask(mask), tilesAcross((mask->width() + tileSize - 1) / tileSize)
{
}

QRect MaskEdit::tileRect(int key) const
{
    const QRect tile((key % tilesAcross) * tileSize, (key / tilesAcross) * tileSize, tileSize,
                     tileSize);
    return tile.intersected(mask->rect());
}

// Keeps the tile's pixels as they are now: its value when uniform, else a copy, taken only
// while the memory for it and for the painting that follows can be had.
bool MaskEdit::keepTile(int key, bool painting)
{
    const QRect rect = tileRect(key);
    Tile tile;
    tile.uniform = isUniform(*mask, rect, &tile.value);
    if (tile.uniform && !painting) {
        tiles.insert(key, tile);
        return true;
    }
    // QImage gives a null image when the memory can't be had. The headroom is only
    // reserved, never touched, and given back at once.
    tile.pixels = mask->copy(rect);
    const QImage headroom(headroomSide, headroomSide, QImage::Format_ARGB32);
    if (tile.pixels.isNull() || headroom.isNull())
        return false;
    tiles.insert(key, std::move(tile));
    return true;
}

QRegion MaskEdit::prepare(const QRect &area, bool painting)
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
            if (tiles.contains(key))
                continue;
            if (!refused.contains(key)) {
                if (keepTile(key, painting))
                    continue;
                refused.insert(key);
            }
            refusedHere += tileRect(key);
        }
    }
    return refusedHere;
}

void MaskEdit::finish()
{
    if (finished)
        return;
    for (auto it = tiles.begin(); it != tiles.end();) {
        const QRect rect = tileRect(it.key());
        Tile &tile = it.value();
        uchar now = 0;
        const bool uniformNow = isUniform(*mask, rect, &now);
        if (tile.uniform ? uniformNow && now == tile.value : sameArea(*mask, rect, tile.pixels)) {
            it = tiles.erase(it);
            continue;
        }
        if (tile.uniform && uniformNow) {
            tile.pixels = QImage(); // neither side needs an image
        } else if (tile.uniform && tile.pixels.isNull()) {
            // Undo will hold these pixels: their memory is taken now. Without it the tile
            // goes back to what it was, so the step stays undoable.
            tile.pixels = QImage(rect.size(), mask->format());
            if (tile.pixels.isNull()) {
                fillArea(*mask, rect, tile.value);
                lost = true;
                it = tiles.erase(it);
                continue;
            }
        }
        ++it;
    }
    refused.clear();
    changed = !tiles.isEmpty();
}

bool MaskEdit::clearAll()
{
    const int tilesDown = (mask->height() + tileSize - 1) / tileSize;
    for (int key = 0; key < tilesAcross * tilesDown; ++key) {
        uchar value = 0;
        const QRect rect = tileRect(key);
        if (isUniform(*mask, rect, &value) && value == 0)
            continue;
        if (!keepTile(key, false)) {
            tiles.clear();
            return false;
        }
    }
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it)
        fillArea(*mask, tileRect(it.key()), 0);
    changed = !tiles.isEmpty();
    return true;
}

bool MaskEdit::mapAll(const std::array<uchar, 256> &map)
{
    // A tile of one value takes its new value; the others change pixel by pixel, and keep
    // their image for the swap back. Each tile is changed right after it is looked at, while
    // its pixels are still in the cache. A tile the map leaves as it was is not kept.
    const int tilesDown = (mask->height() + tileSize - 1) / tileSize;
    tiles.reserve(tilesAcross * tilesDown);
    for (int key = 0; key < tilesAcross * tilesDown; ++key) {
        if (!keepTile(key, false)) {
            swapTiles(); // the tiles changed so far go back
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
    // Every tile kept changed: the step is finished as it stands.
    changed = !tiles.isEmpty();
    finished = true;
    return true;
}

void MaskEdit::recount(std::array<qint64, 256> &counts) const
{
    const auto count = [&counts](const QImage &image, const QRect &area, qint64 sign) {
        uchar value = 0;
        if (isUniform(image, area, &value)) {
            counts[value] += sign * qint64(area.width()) * area.height();
            return;
        }
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const uchar *row = image.constScanLine(y);
            for (int x = area.left(); x <= area.right(); ++x)
                counts[row[x]] += sign;
        }
    };
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it) {
        const QRect rect = tileRect(it.key());
        const Tile &tile = it.value();
        if (tile.uniform)
            counts[tile.value] -= qint64(rect.width()) * rect.height();
        else
            count(tile.pixels, QRect(QPoint(0, 0), rect.size()), -1);
        count(*mask, rect, 1);
    }
}

void MaskEdit::remap(const std::array<uchar, 256> &map)
{
    for (Tile &tile : tiles) {
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
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it)
        area |= tileRect(it.key());
    return area;
}

QVector<QRect> MaskEdit::tileRects() const
{
    QVector<QRect> rects;
    rects.reserve(tiles.size());
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it)
        rects.append(tileRect(it.key()));
    return rects;
}

qint64 MaskEdit::bytes() const
{
    // Each tile's bookkeeping, and its pixels where it holds an image.
    qint64 total = qint64(tiles.size()) * qint64(sizeof(Tile) + 16);
    for (const Tile &tile : tiles)
        total += tile.pixels.sizeInBytes();
    return total;
}

void MaskEdit::expire()
{
    tiles.clear();
    tiles.squeeze();
    expired = true;
}

void MaskEdit::swapTiles()
{
    for (auto it = tiles.begin(); it != tiles.end(); ++it) {
        const QRect rect = tileRect(it.key());
        Tile &tile = it.value();
        uchar now = 0;
        const bool uniformNow = isUniform(*mask, rect, &now);
        if (tile.uniform && uniformNow) {
            fillArea(*mask, rect, tile.value);
            tile.value = now;
        } else if (tile.uniform) {
            copyArea(*mask, rect, tile.pixels);
            fillArea(*mask, rect, tile.value);
            tile.uniform = false;
        } else if (uniformNow) {
            copyBack(tile.pixels, rect, *mask);
            tile.uniform = true;
            tile.value = now;
        } else {
            for (int y = 0; y < rect.height(); ++y) {
                uchar *row = mask->scanLine(rect.top() + y) + rect.left();
                std::swap_ranges(row, row + rect.width(), tile.pixels.scanLine(y));
            }
        }
    }
}

void MaskEdit::undo()
{
    if (!expired)
        swapTiles();
}

void MaskEdit::redo()
{
    if (!expired)
        swapTiles();
}
