#ifndef VELMORA_EDITOR_MASKEDIT_H
#define VELMORA_EDITOR_MASKEDIT_H

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSet>
#include <QUndoCommand>

// One step of the mask's history: a stroke or a clear, kept as the fixed-size tiles of the
// mask it touched. For each tile the command holds the pixels that are not in the mask right
// now: "before" while the step is applied, "after" once it is undone. Undo and redo swap
// them with the mask's pixels, so neither allocates and both restore bytes exactly.
class MaskEdit : public QUndoCommand
{
public:
    // Mask pixels per tile side. Measured against 128: a 1000-pixel diagonal stroke 30 wide
    // keeps half the bytes (0.4 against 0.8 MiB) and undoes in half the time, while a
    // segment costs the same.
    static constexpr int tileSize = 64;

    // `mask` is the view's layer; it outlives the command (a new picture empties the history).
    explicit MaskEdit(QImage *mask);

    // Makes sure the "before" of every tile meeting `area` is kept, ahead of painting there.
    // Returns the part of `area` whose tiles could not be copied for want of memory; the
    // caller must not paint there, or that change could never be undone.
    QRegion prepare(const QRect &area);
    // Ends a stroke: tiles that came out unchanged are dropped, and the step learns whether
    // it changed any pixel at all.
    void finish();
    // A clear: keeps every tile that is not empty, then empties the mask. Returns false,
    // changing nothing, when memory for those tiles can't be had.
    bool clearAll();

    bool changedPixels() const { return changed; }
    // The mask area the step covers, in mask pixels.
    QRect bounds() const;
    // Bytes of pixels held.
    qint64 bytes() const;

    void undo() override;
    void redo() override;

private:
    QRect tileRect(int key) const;
    void swapTiles();

    QImage *mask;
    int tilesAcross;
    QHash<int, QImage> tiles;
    QSet<int> refused;
    bool changed = false;
    // QUndoStack::push() calls redo() at once, but the change is made by the caller.
    bool pushing = true;
};

#endif
