#ifndef VELMORA_DOCUMENT_MASKEDIT_H
#define VELMORA_DOCUMENT_MASKEDIT_H

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSet>
#include <QVector>

#include <array>

// One step of the mask's history: a stroke, a clear or a change of regions, kept as the
// fixed-size tiles of the mask it touched. For each tile the command holds the pixels that
// are not in the mask right now: "before" while the step is applied, "after" once it is
// undone. A tile all of one value (all in or all out) is held as that value alone, so a step
// that changes everything, such as an invert, keeps little more than the mask's edges. Undo
// and redo swap the held pixels with the mask's; neither allocates, and both restore bytes
// exactly.
class MaskEdit
{
public:
    // Mask pixels per tile side. Measured against 128: a 1000-pixel diagonal stroke 30 wide
    // keeps half the bytes and undoes in half the time, while a segment costs the same.
    static constexpr int tileSize = 64;

    // `mask` is the view's layer; it outlives the command (a new picture empties the history).
    explicit MaskEdit(QImage *mask);

    // Makes sure the "before" of every tile meeting `area` is kept, ahead of painting there.
    // Returns the part of `area` whose tiles could not be copied for want of memory; the
    // caller must not paint there, or that change could never be undone.
    // Painting reserves memory for every tile up front; a change of regions (`painting`
    // false) holds tiles of one value as that value and takes memory at finish() only for
    // the tiles that need it.
    QRegion prepare(const QRect &area, bool painting = true);
    // Ends a stroke: tiles that came out unchanged are dropped, and the step learns whether
    // it changed any pixel at all.
    void finish();
    // A clear: keeps every tile that is not empty, then empties the mask. Returns false,
    // changing nothing, when memory for those tiles can't be had.
    bool clearAll();
    // Every pixel's value `v` becomes `map[v]`, in place (an invert, for one); tiles it leaves
    // alone are not kept.
    // False, changing nothing, when memory for the tiles can't be had.
    bool mapAll(const std::array<uchar, 256> &map);

    // Every pixel value held, and the values of uniform tiles, become `map[value]`: the
    // layer's values changed meaning (coverage to classes, or back).
    void remap(const std::array<uchar, 256> &map);

    // Brings `counts` (pixels of each value) from the held pixels' values to the mask's, over
    // the step's tiles: right after the step was made, undone or redone, that is its change.
    // Tiles of one value on either side cost no pass over their pixels.
    void recount(std::array<qint64, 256> &counts) const;

    bool changedPixels() const { return changed; }
    // Whether finish() had to put tiles back as they were for want of memory.
    bool lostTiles() const { return lost; }
    // The mask area the step covers, in mask pixels.
    QRect bounds() const;
    // The tiles the step holds, in mask pixels.
    QVector<QRect> tileRects() const;
    // Bytes of pixels held.
    qint64 bytes() const;

    // Gives the held pixels back to memory: the step can no longer be undone. The history
    // does this to its oldest steps when it grows past its budget.
    void expire();
    bool isExpired() const { return expired; }

    // Swap the held pixels with the mask's.
    void undo();
    void redo();

private:
    // A tile's held pixels: a value, when all are the same, or an image. The image's memory
    // stays while either side of the step needs it, so swapping never allocates.
    struct Tile
    {
        QImage pixels;
        uchar value = 0;
        bool uniform = false;
    };

    QRect tileRect(int key) const;
    bool keepTile(int key, bool painting);
    void swapTiles();

    QImage *mask;
    int tilesAcross;
    QHash<int, Tile> tiles;
    bool expired = false;
    bool lost = false;
    bool finished = false;
    QSet<int> refused;
    bool changed = false;
};

#endif
