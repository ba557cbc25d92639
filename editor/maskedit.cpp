#include "editor/maskedit.h"

#include <algorithm>
#include <cstring>

namespace {

// A tile is kept only while this much memory is left beyond it: the raster engine does not
// survive running out in the middle of a line, so the painting that follows needs room.
constexpr int headroomSide = 512; // pixels of 4 bytes, 1 MiB

bool isEmptyArea(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y)) + area.left();
        if (std::any_of(row, row + area.width(), [](QRgb pixel) { return pixel != 0; }))
            return false;
    }
    return true;
}

bool sameArea(const QImage &image, const QRect &area, const QImage &tile)
{
    const size_t rowBytes = size_t(area.width()) * sizeof(QRgb);
    for (int y = 0; y < area.height(); ++y) {
        const uchar *row = image.constScanLine(area.top() + y) + area.left() * sizeof(QRgb);
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

QRegion MaskEdit::prepare(const QRect &area)
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
                // QImage gives a null image when the memory can't be had. The headroom is
                // only reserved, never touched, and given back at once.
                QImage before = mask->copy(tileRect(key));
                const QImage headroom(headroomSide, headroomSide, QImage::Format_ARGB32);
                if (!before.isNull() && !headroom.isNull()) {
                    tiles.insert(key, std::move(before));
                    continue;
                }
                refused.insert(key);
            }
            refusedHere += tileRect(key);
        }
    }
    return refusedHere;
}

void MaskEdit::finish()
{
    for (auto it = tiles.begin(); it != tiles.end();) {
        if (sameArea(*mask, tileRect(it.key()), it.value()))
            it = tiles.erase(it);
        else
            ++it;
    }
    refused.clear();
    changed = !tiles.isEmpty();
}

bool MaskEdit::clearAll()
{
    const int tilesDown = (mask->height() + tileSize - 1) / tileSize;
    QHash<int, QImage> kept;
    for (int key = 0; key < tilesAcross * tilesDown; ++key) {
        const QRect rect = tileRect(key);
        if (isEmptyArea(*mask, rect))
            continue;
        QImage before = mask->copy(rect);
        if (before.isNull())
            return false;
        kept.insert(key, std::move(before));
    }
    tiles = std::move(kept);
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it) {
        const QRect rect = tileRect(it.key());
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            std::memset(mask->scanLine(y) + rect.left() * sizeof(QRgb), 0,
                        size_t(rect.width()) * sizeof(QRgb));
    }
    changed = !tiles.isEmpty();
    return true;
}

QRect MaskEdit::bounds() const
{
    QRect area;
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it)
        area |= tileRect(it.key());
    return area;
}

qint64 MaskEdit::bytes() const
{
    qint64 total = 0;
    for (const QImage &tile : tiles)
        total += tile.sizeInBytes();
    return total;
}

void MaskEdit::swapTiles()
{
    for (auto it = tiles.begin(); it != tiles.end(); ++it) {
        const QRect rect = tileRect(it.key());
        QImage &tile = it.value();
        for (int y = 0; y < rect.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(mask->scanLine(rect.top() + y)) + rect.left();
            std::swap_ranges(row, row + rect.width(), reinterpret_cast<QRgb *>(tile.scanLine(y)));
        }
    }
}

void MaskEdit::undo()
{
    swapTiles();
}

void MaskEdit::redo()
{
    if (pushing) {
        pushing = false;
        return;
    }
    swapTiles();
}
