#ifndef VELMORA_DOCUMENT_MASKEDIT_H
#define VELMORA_DOCUMENT_MASKEDIT_H

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSet>
#include <QVector>

#include <array>
#include <vector>

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

    // `mask` is the document's layer; it outlives the command (a new picture empties the
    // history). `objects`, when given and not null, is the layer of object numbers (16-bit)
    // beside it: every tile kept is kept of both, so undo gives both back byte for byte.
    explicit MaskEdit(QImage *mask, QImage *objects = nullptr);

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
    // alone are not kept. The object layer is not changed: the caller keeps the tiles of it
    // it changes with prepareObjects().
    // False, changing nothing, when memory for the tiles can't be had.
    bool mapAll(const std::array<uchar, 256> &map);
    // Keeps the tiles of the object layer alone meeting `area`, as prepare() does; false
    // without memory.
    bool prepareObjects(const QRect &area);

    // Every pixel value held, and the values of uniform tiles, become `map[value]`: the
    // layer's values changed meaning (coverage to classes, or back).
    void remap(const std::array<uchar, 256> &map);

    // Brings `counts` (pixels of each value) from the held pixels' values to the mask's, over
    // the step's tiles: right after the step was made, undone or redone, that is its change.
    // Tiles of one value on either side cost no pass over their pixels.
    void recount(std::array<qint64, 256> &counts) const;
    // The same for the object layer's numbers; `counts` has one place for each number.
    void recountObjects(std::vector<qint64> &counts) const;

    bool changedPixels() const { return changed; }
    // Whether finish() had to put tiles back as they were for want of memory.
    bool lostTiles() const;
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
        quint16 value = 0;
        bool uniform = false;
    };

    // One layer's tiles: the class layer (a byte a pixel) or the object layer (two).
    struct Plane
    {
        QImage *image = nullptr;
        QHash<int, Tile> tiles;
        QSet<int> refused;
        bool finished = false;
        bool lost = false;
    };

    QRect tileRect(int key) const;
    bool keepTile(Plane &plane, int key, bool painting);
    QRegion preparePlane(Plane &plane, const QRect &area, bool painting);
    void finishPlane(Plane &plane);
    bool clearPlane(Plane &plane);
    static void swapTiles(Plane &plane, const MaskEdit &edit);
    template <typename T, typename Counts>
    void recountPlane(const Plane &plane, Counts &counts) const;
    bool hasObjects() const { return objectPlane.image != nullptr; }

    QImage *mask;
    int tilesAcross;
    Plane classPlane;
    Plane objectPlane; // no image without an object layer
    bool expired = false;
    bool changed = false;
};

#endif
