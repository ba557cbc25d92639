#include "document/maskdocument.h"

#include "document/maskedit.h"
#include "document/regionwork.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "platform/memory.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <unordered_map>
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
    loadObjects(std::move(decoded.objects));
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
    if (hasObjectLayer()) {
        std::fill(objectCounts.begin(), objectCounts.end(), 0);
        for (int y = 0; y < objectImage.height(); ++y) {
            const auto *row = reinterpret_cast<const quint16 *>(objectImage.constScanLine(y));
            for (int x = 0; x < objectImage.width(); ++x)
                ++objectCounts[row[x]];
        }
    }
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
        // Objects are of classes: the mask's objects go with them.
        forgetObjects();
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
    // Objects follow their class to its new number; the objects of a class taken away go.
    if (hasObjectLayer()) {
        for (uchar &number : objectClass)
            number = numbers[number];
        dropStrayObjects(objectImage.rect());
        if (currentObj && objectClass[size_t(currentObj)] == 0)
            currentObj = 0;
    }
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
    // Another class ends the object under way: gestures give plain class pixels again.
    currentObj = 0;
    emit classesChanged();
}

// Protected, the brush changes only background and its own class and object: the pixels
// of other classes and of other objects stay.
bool MaskDocument::mayChange(uchar now, quint16 object) const
{
    return !protectOthers ||
           ((now == 0 || now == current) && (object == 0 || object == currentObj));
}

std::unique_ptr<MaskEdit> MaskDocument::makeEdit()
{
    return std::make_unique<MaskEdit>(&maskImage, &objectImage);
}

void MaskDocument::loadObjects(QImage objects)
{
    objectImage = QImage();
    objectClass.clear();
    objectCounts.clear();
    currentObj = 0;
    objectsMade = 0;
    if (objects.isNull() || !hasClasses() || objects.size() != maskImage.size() ||
        objects.format() != QImage::Format_Grayscale16)
        return;
    objectImage = std::move(objects);
    objectClass = ClassFiles::mendObjects(maskImage, objectImage);
    objectCounts.assign(size_t(mostObjects) + 1, 0);
    for (int number = mostObjects; number > 0 && !objectsMade; --number)
        if (objectClass[size_t(number)])
            objectsMade = number;
}

void MaskDocument::forgetObjects()
{
    if (!hasObjectLayer())
        return;
    objectImage.fill(0);
    std::fill(objectClass.begin(), objectClass.end(), 0);
    currentObj = 0;
    // Steps that changed objects would bring them back into a mask that has none.
    history.clear();
    noteRedo();
    emit canUndoChanged(false);
}

// Pixels whose object is not of their class lose the object: after a change made without
// objects (another class painted over them, pixels cleared), an object keeps what is its own.
void MaskDocument::dropStrayObjects(const QRect &area)
{
    if (!hasObjectLayer())
        return;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *row = reinterpret_cast<quint16 *>(objectImage.scanLine(y));
        const uchar *classes = maskImage.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x)
            if (row[x] && objectClass[row[x]] != classes[x])
                row[x] = 0;
    }
}

bool MaskDocument::hasObjects() const
{
    if (!hasObjectLayer() || !hasClasses())
        return false;
    for (size_t number = 1; number < objectCounts.size(); ++number)
        if (objectCounts[number] > 0)
            return true;
    return false;
}

// The object layer, empty, when there is none yet; false without memory for it.
bool MaskDocument::makeObjectLayer()
{
    if (hasObjectLayer())
        return true;
    QImage made(maskImage.size(), QImage::Format_Grayscale16);
    if (made.isNull())
        return false;
    made.fill(0);
    objectImage = std::move(made);
    objectClass.assign(size_t(mostObjects) + 1, 0);
    objectCounts.assign(size_t(mostObjects) + 1, 0);
    objectCounts[0] = qint64(maskImage.width()) * maskImage.height();
    return true;
}

bool MaskDocument::newObject()
{
    if (maskImage.isNull() || !hasClasses() || stroke)
        return false;
    if (!makeObjectLayer())
        return false;
    // A new number each time, so undo and redo never meet two objects of one number; when
    // they run out, the first number no pixel and no step holds.
    int number = objectsMade < mostObjects ? objectsMade + 1 : 0;
    for (int free = 1; !number && free <= mostObjects; ++free)
        if (objectCounts[size_t(free)] == 0 && objectClass[size_t(free)] == 0)
            number = free;
    if (!number)
        return false;
    objectsMade = qMax(objectsMade, number);
    objectClass[size_t(number)] = uchar(current);
    currentObj = number;
    emit classesChanged();
    return true;
}

void MaskDocument::setCurrentObject(int number)
{
    if (number < 0 || number > mostObjects || !hasObjectLayer())
        number = 0;
    if (number && objectClass[size_t(number)])
        current = objectClass[size_t(number)];
    else
        number = 0;
    if (number == currentObj && number == 0)
        return;
    currentObj = number;
    emit classesChanged();
}

int MaskDocument::objectAt(const QPoint &point) const
{
    if (!hasObjectLayer() || !objectImage.rect().contains(point) || !hasClasses())
        return 0;
    const quint16 number =
        reinterpret_cast<const quint16 *>(objectImage.constScanLine(point.y()))[point.x()];
    return number && objectClass[number] == maskImage.constScanLine(point.y())[point.x()] ? number
                                                                                          : 0;
}

int MaskDocument::classOfObject(int number) const
{
    return hasObjectLayer() && number > 0 && number <= mostObjects ? objectClass[size_t(number)]
                                                                   : 0;
}

qint64 MaskDocument::objectPixels(int number) const
{
    return hasObjectLayer() && number > 0 && number <= mostObjects ? objectCounts[size_t(number)]
                                                                   : 0;
}

QVector<int> MaskDocument::objectNumbers(int classNumber) const
{
    QVector<int> numbers;
    if (!hasObjectLayer() || !hasClasses())
        return numbers;
    for (int number = 1; number <= mostObjects; ++number)
        if (objectCounts[size_t(number)] > 0 &&
            (classNumber <= 0 || objectClass[size_t(number)] == classNumber))
            numbers.append(number);
    return numbers;
}

bool MaskDocument::deleteObject(int number)
{
    if (!hasObjectLayer() || stroke || objectPixels(number) <= 0)
        return false;
    int top = -1, bottom = -1, left = objectImage.width(), right = -1;
    for (int y = 0; y < objectImage.height(); ++y) {
        const auto *row = reinterpret_cast<const quint16 *>(objectImage.constScanLine(y));
        for (int x = 0; x < objectImage.width(); ++x) {
            if (row[x] != number)
                continue;
            if (top < 0)
                top = y;
            bottom = y;
            left = qMin(left, x);
            right = qMax(right, x);
        }
    }
    const QRect area(QPoint(left, top), QPoint(right, bottom));
    auto changing = makeEdit();
    if (top < 0 || !changing->prepare(area, false).isEmpty())
        return false;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *row = reinterpret_cast<quint16 *>(objectImage.scanLine(y));
        uchar *classes = maskImage.scanLine(y);
        for (int x = area.left(); x <= area.right(); ++x)
            if (row[x] == number)
                row[x] = classes[x] = 0;
    }
    if (currentObj == number)
        currentObj = 0;
    return push(std::move(changing));
}

QImage MaskDocument::exportObjects() const
{
    if (!hasObjects())
        return QImage();
    QImage numbers(objectImage.size(), QImage::Format_Grayscale16);
    if (numbers.isNull())
        return QImage();
    for (int y = 0; y < objectImage.height(); ++y) {
        const auto *in = reinterpret_cast<const quint16 *>(objectImage.constScanLine(y));
        const uchar *classes = maskImage.constScanLine(y);
        auto *out = reinterpret_cast<quint16 *>(numbers.scanLine(y));
        for (int x = 0; x < objectImage.width(); ++x)
            out[x] = in[x] && classes[x] && objectClass[in[x]] == classes[x] ? in[x] : 0;
    }
    return numbers;
}

MaskEdit *MaskDocument::beginStroke()
{
    if (maskImage.isNull())
        return nullptr;
    // Pushing drops the steps that could have been redone, and the oldest beyond the limit.
    auto owned = makeEdit();
    stroke = owned.get();
    history.push(std::move(owned));
    noteRedo();
    emit canUndoChanged(true);
    return stroke;
}

void MaskDocument::putCoverage(const QRect &area, const QImage &cover, bool erase, bool onlyCurrent)
{
    const uchar number = uchar(current);
    const quint16 object = quint16(currentObj);
    if (!hasObjectLayer()) {
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
        return;
    }
    // With objects the brush gives the current object too, taking the pixels from others;
    // the eraser erases the current object alone when there is one.
    for (int y = 0; y < area.height(); ++y) {
        const uchar *drawn = cover.constScanLine(y);
        uchar *row = maskImage.scanLine(area.top() + y) + area.left();
        auto *objects =
            reinterpret_cast<quint16 *>(objectImage.scanLine(area.top() + y)) + area.left();
        for (int x = 0; x < area.width(); ++x) {
            if (!drawn[x])
                continue;
            if (erase) {
                const bool mine = object ? objects[x] == object : !onlyCurrent || row[x] == number;
                if (drawn[x] == 255 && mine)
                    row[x] = objects[x] = 0;
            } else if (mayChange(row[x], objects[x])) {
                row[x] = number;
                objects[x] = object;
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
    stroke->recountObjects(objectCounts);
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
    undone->recountObjects(objectCounts);
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
    redone->recountObjects(objectCounts);
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
    auto cleared = makeEdit();
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
    auto changing = makeEdit();
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
        if (currentObj) {
            // The current object becomes the image, and takes what it covers from others
            // unless they are protected.
            auto *objects = reinterpret_cast<quint16 *>(objectImage.scanLine(y));
            const quint16 object = quint16(currentObj);
            for (int x = 0; x < width; ++x) {
                if (src[x] != 0 && objects[x] != object && mayChange(dst[x], objects[x])) {
                    dst[x] = number;
                    objects[x] = object;
                } else if (src[x] == 0 && objects[x] == object) {
                    dst[x] = 0;
                    objects[x] = 0;
                }
            }
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
    if (hasClasses() && !currentObj)
        dropStrayObjects(maskImage.rect());
    return push(std::move(changing));
}

bool MaskDocument::applyClasses(const QImage &numbers, const QImage &objects)
{
    if (maskImage.isNull() || stroke || numbers.size() != maskImage.size() || numbers.depth() != 8)
        return false;
    const bool classes = hasClasses();
    const bool withObjects = classes && !objects.isNull();
    if (withObjects && (objects.size() != maskImage.size() ||
                        objects.format() != QImage::Format_Grayscale16 || !makeObjectLayer()))
        return false;
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
        const auto *srcObjects =
            withObjects ? reinterpret_cast<const quint16 *>(objects.constScanLine(y)) : nullptr;
        const auto *nowObjects =
            withObjects ? reinterpret_cast<const quint16 *>(objectImage.constScanLine(y)) : nullptr;
        int first = -1, last = -1;
        for (int x = 0; x < maskImageWidth; ++x) {
            highest = qMax(highest, src[x]);
            if (valueOf(src[x]) != now[x] || (withObjects && srcObjects[x] != nowObjects[x])) {
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
    auto changing = makeEdit();
    if (!changing->prepare(changed, false).isEmpty())
        return false;
    for (int y = changed.top(); y <= changed.bottom() && !changed.isEmpty(); ++y) {
        const uchar *src = numbers.constScanLine(y);
        uchar *dst = maskImage.scanLine(y);
        for (int x = changed.left(); x <= changed.right(); ++x)
            dst[x] = valueOf(src[x]);
        if (!withObjects)
            continue;
        // Objects new to the document take the class of their first pixel.
        const auto *srcObjects = reinterpret_cast<const quint16 *>(objects.constScanLine(y));
        auto *dstObjects = reinterpret_cast<quint16 *>(objectImage.scanLine(y));
        for (int x = changed.left(); x <= changed.right(); ++x) {
            const quint16 object = srcObjects[x];
            dstObjects[x] = object;
            if (object && !objectClass[object] && dst[x]) {
                objectClass[object] = dst[x];
                objectsMade = qMax(objectsMade, int(object));
            }
        }
    }
    if (!changed.isEmpty())
        dropStrayObjects(changed);
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
    const bool classes = hasClasses();
    // Carried objects keep their numbers where this picture gives the number to no other
    // class, so an object keeps its number along a sequence; else they get new ones.
    std::unordered_map<quint16, quint16> numberHere;
    for (const Region::MovedMask::Moved &one : pieces.pieces) {
        if (!classes || !one.object || one.piece.isNull() || numberHere.count(one.object))
            continue;
        if (!makeObjectLayer())
            return false;
        const uchar known = objectClass[one.object];
        int number = one.object;
        if (known != 0 && known != one.number) {
            if (objectsMade >= mostObjects)
                return false;
            number = ++objectsMade;
        }
        objectClass[size_t(number)] = one.number;
        objectsMade = qMax(objectsMade, number);
        numberHere[one.object] = quint16(number);
    }
    auto changing = makeEdit();
    if (!changing->prepare(area, false).isEmpty())
        return false;
    uchar highest = 0;
    for (const Region::MovedMask::Moved &one : pieces.pieces) {
        const QRect within = one.piece.rect() & maskImage.rect();
        if (one.piece.isNull() || within.isEmpty())
            continue;
        const uchar value = classes ? one.number : MaskFile::layerInside;
        const quint16 object = one.object && classes ? numberHere[one.object] : 0;
        highest = qMax(highest, one.number);
        for (int y = within.top(); y <= within.bottom(); ++y) {
            const uchar *in =
                one.piece.mask.constScanLine(y - one.piece.offset.y()) - one.piece.offset.x();
            uchar *row = maskImage.scanLine(y);
            auto *objects =
                hasObjectLayer() ? reinterpret_cast<quint16 *>(objectImage.scanLine(y)) : nullptr;
            for (int x = within.left(); x <= within.right(); ++x)
                if (in[x]) {
                    row[x] = value;
                    if (objects)
                        objects[x] = object;
                }
        }
    }
    dropStrayObjects(area);
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
    auto changing = makeEdit();
    if (!changing->prepare(area, false).isEmpty())
        return false;
    const uchar value = add ? (hasClasses() ? uchar(current) : MaskFile::layerInside) : 0;
    if (hasObjectLayer() && hasClasses()) {
        // An addition gives the current object (or plain class pixels without one) and takes
        // from others unless protected; a removal takes the current object's pixels alone
        // when there is one.
        const quint16 object = add ? quint16(currentObj) : 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const uchar *in = piece.mask.constScanLine(y - piece.offset.y()) - piece.offset.x();
            uchar *row = maskImage.scanLine(y);
            auto *objects = reinterpret_cast<quint16 *>(objectImage.scanLine(y));
            for (int x = area.left(); x <= area.right(); ++x) {
                if (!in[x])
                    continue;
                const bool changes = add ? mayChange(row[x], objects[x])
                                         : (currentObj ? objects[x] == currentObj
                                                       : !protectOthers || row[x] == current);
                if (changes) {
                    row[x] = value;
                    objects[x] = object;
                }
            }
        }
        return push(std::move(changing));
    }
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
    // The current object and everything it may take swap.
    if (currentObj) {
        QImage outside = exportCurrent();
        if (outside.isNull())
            return false;
        outside.invertPixels();
        return applyMask(outside);
    }
    // In place and tile by tile: two passes over the mask, no copy of it. With classes the
    // current class and the background swap, and other classes stay.
    const bool classes = hasClasses();
    std::array<uchar, 256> swapped;
    for (int value = 0; value < 256; ++value)
        swapped[size_t(value)] = classes ? uchar(value == 0         ? current
                                                 : value == current ? 0
                                                                    : value)
                                         : (value > 0 ? 0 : MaskFile::layerInside);
    auto changing = makeEdit();
    if (!changing->mapAll(swapped))
        return false;
    // The current class's objects went with it.
    if (hasObjectLayer()) {
        if (!changing->prepareObjects(maskImage.rect())) {
            changing->undo();
            return false;
        }
        dropStrayObjects(maskImage.rect());
    }
    push(std::move(changing));
    emit maskChanged(QRect());
    return true;
}

bool MaskDocument::push(std::unique_ptr<MaskEdit> changing)
{
    changing->finish();
    if (hasClasses())
        changing->recount(counts);
    changing->recountObjects(objectCounts);
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

bool MaskDocument::replaceMask(QImage replacement, QImage objects)
{
    if (maskImage.isNull() || stroke || replacement.size() != maskImage.size())
        return false;
    history.clear();
    noteRedo();
    emit canUndoChanged(false);
    maskImage = std::move(replacement);
    loadObjects(std::move(objects));
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
        if (currentObj) {
            // With an object chosen, the region changes work on it alone.
            const auto *objects = reinterpret_cast<const quint16 *>(objectImage.constScanLine(y));
            for (int x = 0; x < maskImageWidth; ++x)
                out[x] = objects[x] == currentObj ? 255 : 0;
            continue;
        }
        for (int x = 0; x < maskImageWidth; ++x)
            out[x] = in[x] == number ? 255 : 0;
    }
    return gray;
}
