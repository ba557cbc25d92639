#include "document/maskdocument.h"

#include "document/maskedit.h"
#include "document/regionwork.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "platform/memory.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace {

// Steps kept in the history; the oldest is dropped when a new one would exceed it.
constexpr int undoLimit = 21;
constexpr qint64 defaultHistoryBudget = qint64(512) << 20;

} // namespace

MaskDocument::MaskDocument(QObject *parent)
    : QObject(parent), regionWork(new RegionWork(this)), history(undoLimit)
{
    const qint64 physical = Platform::physicalMemory();
    historyBudget = physical > 0 ? qMin(defaultHistoryBudget, physical / 4) : defaultHistoryBudget;

    pictureReduction = new QFutureWatcher<QVector<QImage>>(this);
    connect(pictureReduction, &QFutureWatcherBase::finished, this, [this] {
        // A reduction for a picture no longer shown was cancelled and gives nothing.
        QVector<QImage> levels = pictureReduction->result();
        if (levels.isEmpty() || pictureImage.isNull())
            return;
        pictureLevels.setReduced(std::move(levels));
        emit pictureReduced();
    });
}

MaskDocument::~MaskDocument()
{
    // A reduction still running stops at its next band; the picture it reads is its own
    // reference, so nothing it touches goes away before it ends.
    if (reductionCancel)
        *reductionCancel = true;
}

bool MaskDocument::isReducing() const
{
    return !pictureReduction->isFinished();
}

void MaskDocument::reducePicture()
{
    if (reductionCancel)
        *reductionCancel = true;
    reductionCancel = std::make_shared<std::atomic<bool>>(false);
    const QImage shared = pictureImage; // shared for reading only; it is never written
    const std::shared_ptr<std::atomic<bool>> cancel = reductionCancel;
    pictureReduction->setFuture(QtConcurrent::run(
        [shared, cancel] { return Display::Pyramid::reduce(shared, cancel.get()); }));
}

bool MaskDocument::load(const QString &path, PictureFile::WithMask decoded)
{
    if (decoded.isNull())
        return false;
    emit aboutToLoad();
    // Work on the last picture's regions is dropped, and what its carry left.
    regionWork->cancel();
    regionWork->forgetTrails();
    endStroke();
    imagePath = path;
    history.clear();
    noteRedo();
    emit canUndoChanged(false);
    // The old picture's memory goes before the new one is reduced.
    pictureLevels.clear();
    maskLevels.clear();
    pictureImage = std::move(decoded.picture);
    maskImage = std::move(decoded.mask);
    pictureLevels.setBase(&pictureImage);
    maskLevels.setBase(&maskImage);
    names = decoded.classNames.mid(0, mostClasses);
    maskLevels.setReduction(hasClasses() ? Display::Reduction::Highest : Display::Reduction::Mean);
    maskLevels.setReduced(std::move(decoded.maskLevels));
    current = qBound(1, current, qMax(1, int(names.size())));
    countAll();
    reducePicture();
    updateModified();
    emit loaded();
    emit classesChanged();
    return true;
}

int MaskDocument::highestClass() const
{
    for (int value = 255; value > 0; --value)
        if (counts[size_t(value)] > 0)
            return value;
    return 0;
}

// Every pixel counted afresh; steps bring the counts up to date from their tiles alone.
void MaskDocument::countAll()
{
    counts.fill(0);
    if (!hasClasses())
        return;
    const int maskImageWidth = maskImage.width(); // not read again for each pixel
    for (int y = 0; y < maskImage.height(); ++y) {
        const uchar *row = maskImage.constScanLine(y);
        for (int x = 0; x < maskImageWidth; ++x)
            ++counts[row[x]];
    }
}

void MaskDocument::setClassNames(const QStringList &newNames)
{
    const bool had = hasClasses();
    // A class is a byte of the layer: 255 classes at most. Numbers of 2 or more in the
    // layer keep it a layer of classes, whatever the list says.
    const QStringList kept = newNames.mid(0, mostClasses);
    const QStringList withNumbers = ClassFiles::classNames(kept, had ? highestClass() : 0);
    names = withNumbers.isEmpty() ? kept : withNumbers;
    if (!maskImage.isNull() && had != hasClasses()) {
        // Coverage becomes the first class, or any class becomes full coverage.
        std::array<uchar, 256> map;
        for (int value = 0; value < 256; ++value)
            map[size_t(value)] = value == 0 ? 0 : (hasClasses() ? 1 : MaskFile::layerInside);
        remapLayer(map);
        maskLevels.setReduction(hasClasses() ? Display::Reduction::Highest
                                             : Display::Reduction::Mean);
        maskLevels.setReduced(
            Display::Pyramid::reduce(maskImage, nullptr, maskLevels.reductionUsed()));
        countAll();
        emit maskChanged(QRect());
    }
    // Numbers in the layer beyond the list keep a name: their number.
    if (hasClasses())
        for (int number = names.size() + 1; number <= highestClass(); ++number)
            names.append(QString::number(number));
    current = qBound(1, current, qMax(1, int(names.size())));
    emit classesChanged();
}

void MaskDocument::renumberClasses(const std::array<uchar, 256> &numbers,
                                   const QStringList &newNames)
{
    if (!hasClasses())
        return;
    remapLayer(numbers);
    current = qMax(1, int(numbers[size_t(qBound(0, current, 255))]));
    maskLevels.setReduced(Display::Pyramid::reduce(maskImage, nullptr, maskLevels.reductionUsed()));
    countAll();
    setClassNames(newNames);
    emit maskChanged(QRect());
}

void MaskDocument::remapLayer(const std::array<uchar, 256> &map)
{
    const int maskImageWidth = maskImage.width(); // not read again for each pixel
    for (int y = 0; y < maskImage.height(); ++y) {
        uchar *row = maskImage.scanLine(y);
        for (int x = 0; x < maskImageWidth; ++x)
            row[x] = map[row[x]];
    }
    for (int i = 0; i < history.count(); ++i)
        const_cast<MaskEdit *>(step(i))->remap(map);
}

void MaskDocument::setCurrentClass(int number)
{
    if (number < 1 || number > qMax(1, int(names.size())) || number == current)
        return;
    current = number;
    emit classesChanged();
}

bool MaskDocument::mayChange(uchar now) const
{
    return !protectOthers || now == 0 || now == current;
}

MaskEdit *MaskDocument::beginStroke()
{
    if (maskImage.isNull())
        return nullptr;
    // Pushing drops the steps that could have been redone, and the oldest beyond the limit.
    auto owned = std::make_unique<MaskEdit>(&maskImage);
    stroke = owned.get();
    history.push(std::move(owned));
    noteRedo();
    emit canUndoChanged(true);
    return stroke;
}

void MaskDocument::putCoverage(const QRect &area, const QImage &cover, bool erase, bool onlyCurrent)
{
    const uchar number = uchar(current);
    for (int y = 0; y < area.height(); ++y) {
        const uchar *drawn = cover.constScanLine(y);
        uchar *row = maskImage.scanLine(area.top() + y) + area.left();
        for (int x = 0; x < area.width(); ++x) {
            if (!drawn[x])
                continue;
            if (erase) {
                // Only a fully covered pixel leaves the mask, as with the plain eraser.
                if (drawn[x] == 255 && (!onlyCurrent || row[x] == number))
                    row[x] = 0;
            } else if (mayChange(row[x])) {
                row[x] = number;
            }
        }
    }
    layerPainted(area);
}

void MaskDocument::layerPainted(const QRect &area)
{
    maskLevels.update(area);
    emit maskChanged(area);
}

void MaskDocument::endStroke()
{
    if (!stroke)
        return;
    stroke->finish();
    if (hasClasses())
        stroke->recount(counts);
    if (stroke->lostTiles())
        emit tilesLost();
    const bool changed = stroke->changedPixels();
    stroke = nullptr;
    if (changed)
        finishEdit();
    else
        updateModified();
}

const MaskEdit *MaskDocument::step(int index) const
{
    return history.step(index);
}

int MaskDocument::historyIndex() const
{
    return history.index();
}

int MaskDocument::historyCount() const
{
    return history.count();
}

// A step given back to memory can't be undone, nor anything before it.
bool MaskDocument::canUndo() const
{
    const int index = history.index();
    return index > 0 && !step(index - 1)->isExpired();
}

bool MaskDocument::canRedo() const
{
    return history.canRedo();
}

void MaskDocument::undo()
{
    if (stroke || !canUndo())
        return;
    const MaskEdit *undone = step(history.index() - 1);
    history.undo();
    noteRedo();
    if (hasClasses())
        undone->recount(counts);
    refreshStep(history.index());
    emit canUndoChanged(canUndo());
    finishEdit();
}

void MaskDocument::redo()
{
    if (stroke || !history.canRedo())
        return;
    const MaskEdit *redone = step(history.index());
    history.redo();
    noteRedo();
    if (hasClasses())
        redone->recount(counts);
    refreshStep(history.index() - 1);
    emit canUndoChanged(true);
    finishEdit();
}

void MaskDocument::setHistoryBudget(qint64 bytes)
{
    historyBudget = bytes;
    keepHistoryInBudget();
}

// The oldest steps go first; the latest one stays whatever its size.
void MaskDocument::keepHistoryInBudget()
{
    qint64 total = 0;
    for (int i = 0; i < history.count(); ++i)
        total += step(i)->bytes();
    bool trimmed = false;
    for (int i = 0; total > historyBudget && i < history.count() - 1; ++i) {
        auto *old = const_cast<MaskEdit *>(step(i));
        if (old->isExpired() || i >= history.index() - 1)
            continue;
        total -= old->bytes();
        old->expire();
        trimmed = true;
    }
    if (!trimmed)
        return;
    emit canUndoChanged(canUndo());
    emit historyTrimmed();
}

void MaskDocument::clear()
{
    if (maskImage.isNull() || stroke)
        return;
    // A clear that could not be undone would destroy the user's work, so without memory
    // for the tiles it would take back, the mask stays as it is.
    auto cleared = std::make_unique<MaskEdit>(&maskImage);
    if (!cleared->clearAll())
        return;
    history.push(std::move(cleared));
    noteRedo();
    countAll();
    emit canUndoChanged(true);
    refreshStep(history.index() - 1);
    finishEdit();
}

bool MaskDocument::applyMask(const QImage &gray)
{
    if (maskImage.isNull() || stroke || gray.size() != maskImage.size())
        return false;
    auto changing = std::make_unique<MaskEdit>(&maskImage);
    if (!changing->prepare(maskImage.rect(), false).isEmpty())
        return false;
    const QImage bytes = gray.convertToFormat(QImage::Format_Grayscale8);
    if (bytes.isNull())
        return false;
    const int width = maskImage.width();
    const uchar number = uchar(current);
    for (int y = 0; y < maskImage.height(); ++y) {
        const uchar *src = bytes.constScanLine(y);
        uchar *dst = maskImage.scanLine(y);
        if (!hasClasses()) {
            for (int x = 0; x < width; ++x)
                dst[x] = src[x] != 0 ? MaskFile::layerInside : 0;
            continue;
        }
        // The current class becomes the image; other classes stay, unless it covers them
        // and they are not protected.
        for (int x = 0; x < width; ++x) {
            if (src[x] != 0 && dst[x] != number && mayChange(dst[x]))
                dst[x] = number;
            else if (src[x] == 0 && dst[x] == number)
                dst[x] = 0;
        }
    }
    return push(std::move(changing));
}

bool MaskDocument::applyClasses(const QImage &numbers)
{
    if (maskImage.isNull() || stroke || numbers.size() != maskImage.size() || numbers.depth() != 8)
        return false;
    const bool classes = hasClasses();
    const auto valueOf = [classes](uchar number) {
        return classes ? number : (number ? MaskFile::layerInside : uchar(0));
    };
    // Only the part that changes is kept for undo: a carried mask mostly changes a part.
    uchar highest = 0;
    const int maskImageWidth = maskImage.width(); // not read again for each pixel
    int left = maskImageWidth, right = -1, top = -1, bottom = -1;
    for (int y = 0; y < maskImage.height(); ++y) {
        const uchar *src = numbers.constScanLine(y);
        const uchar *now = maskImage.constScanLine(y);
        int first = -1, last = -1;
        for (int x = 0; x < maskImageWidth; ++x) {
            highest = qMax(highest, src[x]);
            if (valueOf(src[x]) != now[x]) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first < 0)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        left = qMin(left, first);
        right = qMax(right, last);
    }
    const QRect changed = top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    auto changing = std::make_unique<MaskEdit>(&maskImage);
    if (!changing->prepare(changed, false).isEmpty())
        return false;
    for (int y = changed.top(); y <= changed.bottom() && !changed.isEmpty(); ++y) {
        const uchar *src = numbers.constScanLine(y);
        uchar *dst = maskImage.scanLine(y);
        for (int x = changed.left(); x <= changed.right(); ++x)
            dst[x] = valueOf(src[x]);
    }
    if (classes && highest > names.size()) {
        for (int number = names.size() + 1; number <= highest; ++number)
            names.append(QString::number(number));
        emit classesChanged();
    }
    return push(std::move(changing));
}

bool MaskDocument::applyClassPieces(const Region::MovedMask &pieces)
{
    if (maskImage.isNull() || stroke || pieces.size != maskImage.size())
        return false;
    QRect area;
    for (const Region::MovedMask::Moved &one : pieces.pieces)
        if (!one.piece.isNull())
            area |= one.piece.rect();
    area &= maskImage.rect();
    auto changing = std::make_unique<MaskEdit>(&maskImage);
    if (!changing->prepare(area, false).isEmpty())
        return false;
    const bool classes = hasClasses();
    uchar highest = 0;
    for (const Region::MovedMask::Moved &one : pieces.pieces) {
        const QRect within = one.piece.rect() & maskImage.rect();
        if (one.piece.isNull() || within.isEmpty())
            continue;
        const uchar value = classes ? one.number : MaskFile::layerInside;
        highest = qMax(highest, one.number);
        for (int y = within.top(); y <= within.bottom(); ++y) {
            const uchar *in =
                one.piece.mask.constScanLine(y - one.piece.offset.y()) - one.piece.offset.x();
            uchar *row = maskImage.scanLine(y);
            for (int x = within.left(); x <= within.right(); ++x)
                if (in[x])
                    row[x] = value;
        }
    }
    if (classes && highest > names.size()) {
        for (int number = names.size() + 1; number <= highest; ++number)
            names.append(QString::number(number));
        emit classesChanged();
    }
    return push(std::move(changing));
}

bool MaskDocument::applyPiece(const Region::Piece &piece, bool add)
{
    if (piece.isNull() || maskImage.isNull() || stroke)
        return false;
    const QRect area = piece.rect().intersected(maskImage.rect());
    auto changing = std::make_unique<MaskEdit>(&maskImage);
    if (!changing->prepare(area, false).isEmpty())
        return false;
    const uchar value = add ? (hasClasses() ? uchar(current) : MaskFile::layerInside) : 0;
    const bool guarded = hasClasses() && protectOthers;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *in = piece.mask.constScanLine(y - piece.offset.y()) - piece.offset.x();
        uchar *row = maskImage.scanLine(y);
        if (!guarded) {
            for (int x = area.left(); x <= area.right(); ++x)
                row[x] = in[x] ? value : row[x];
            continue;
        }
        // Protected, the other classes stay: an addition covers background and the current
        // class, a removal takes the current class alone.
        for (int x = area.left(); x <= area.right(); ++x)
            if (in[x] && (add ? mayChange(row[x]) : row[x] == current))
                row[x] = value;
    }
    return push(std::move(changing));
}

bool MaskDocument::invert()
{
    if (maskImage.isNull() || stroke)
        return false;
    // In place and tile by tile: two passes over the mask, no copy of it. With classes the
    // current class and the background swap, and other classes stay.
    const bool classes = hasClasses();
    std::array<uchar, 256> swapped;
    for (int value = 0; value < 256; ++value)
        swapped[size_t(value)] = classes ? uchar(value == 0         ? current
                                                 : value == current ? 0
                                                                    : value)
                                         : (value > 0 ? 0 : MaskFile::layerInside);
    auto changing = std::make_unique<MaskEdit>(&maskImage);
    if (!changing->mapAll(swapped))
        return false;
    push(std::move(changing));
    emit maskChanged(QRect());
    return true;
}

bool MaskDocument::push(std::unique_ptr<MaskEdit> changing)
{
    changing->finish();
    if (hasClasses())
        changing->recount(counts);
    if (changing->lostTiles())
        emit tilesLost();
    if (!changing->changedPixels())
        return true;
    history.push(std::move(changing));
    noteRedo();
    emit canUndoChanged(true);
    refreshStep(history.index() - 1);
    finishEdit();
    return true;
}

bool MaskDocument::replaceMask(QImage replacement)
{
    if (maskImage.isNull() || stroke || replacement.size() != maskImage.size())
        return false;
    history.clear();
    noteRedo();
    emit canUndoChanged(false);
    maskImage = std::move(replacement);
    maskLevels.setBase(&maskImage);
    maskLevels.setReduced(Display::Pyramid::reduce(maskImage, nullptr, maskLevels.reductionUsed()));
    countAll();
    emit maskChanged(QRect());
    updateModified();
    return true;
}

void MaskDocument::finishEdit()
{
    keepHistoryInBudget();
    updateModified();
    emit edited();
}

void MaskDocument::noteRedo()
{
    if (history.canRedo() == redoable)
        return;
    redoable = history.canRedo();
    emit canRedoChanged(redoable);
}

void MaskDocument::markSaved()
{
    history.setClean();
    updateModified();
}

void MaskDocument::refreshStep(int index)
{
    const MaskEdit *changed = step(index);
    maskLevels.update(changed->tileRects());
    emit maskChanged(changed->bounds());
}

void MaskDocument::updateModified()
{
    // The mask equals the saved one when no step between the saved state and the current
    // one changed a pixel. A saved state dropped off the end of the history is gone.
    bool now = history.cleanIndex() < 0;
    const int from = qMin(history.cleanIndex(), history.index());
    const int to = qMax(history.cleanIndex(), history.index());
    for (int i = from; !now && i < to; ++i)
        now = step(i)->changedPixels();
    if (now == modified)
        return;
    modified = now;
    emit modifiedChanged(modified);
}

QImage MaskDocument::exportMask() const
{
    return MaskFile::toGray(maskImage);
}

QImage MaskDocument::exportClasses() const
{
    if (maskImage.isNull())
        return QImage();
    QImage numbers(maskImage.size(), QImage::Format_Grayscale8);
    if (numbers.isNull())
        return QImage();
    const bool classes = hasClasses();
    const int maskImageWidth = maskImage.width(); // not read again for each pixel
    for (int y = 0; y < maskImage.height(); ++y) {
        const uchar *in = maskImage.constScanLine(y);
        uchar *out = numbers.scanLine(y);
        for (int x = 0; x < maskImageWidth; ++x)
            out[x] = classes ? in[x] : (in[x] ? 1 : 0);
    }
    return numbers;
}

QImage MaskDocument::exportCurrent() const
{
    if (!hasClasses())
        return exportMask();
    QImage gray(maskImage.size(), QImage::Format_Grayscale8);
    if (gray.isNull())
        return QImage();
    const uchar number = uchar(current);
    const int maskImageWidth = maskImage.width(); // not read again for each pixel
    for (int y = 0; y < maskImage.height(); ++y) {
        const uchar *in = maskImage.constScanLine(y);
        uchar *out = gray.scanLine(y);
        for (int x = 0; x < maskImageWidth; ++x)
            out[x] = in[x] == number ? 255 : 0;
    }
    return gray;
}
