#include "editor/velmoraview.h"

#include "editor/maskedit.h"
#include "files/maskfile.h"
#include "editor/masklayeritem.h"
#include "files/picturefile.h"
#include "editor/pictureitem.h"
#include "platform/memory.h"

#include <QCursor>
#include <QFutureWatcher>
#include <QGraphicsScene>
#include <QUndoStack>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace {

// Steps kept in the history; the oldest is dropped when a new one would exceed it.
constexpr int undoLimit = 21;
constexpr qint64 defaultHistoryBudget = qint64(512) << 20;
// The scene reaches far beyond any picture, so the view can be panned past its edges.
constexpr qreal sceneHalfExtent = 50000.0;

// The scene's rectangle: the same for every picture, and for one that reaches past it, as far
// again beyond the picture's far edges, so fitting, panning and the scroll bars reach them.
QRectF sceneRectFor(const QSize &picture)
{
    QRectF rect(-sceneHalfExtent, -sceneHalfExtent, 2 * sceneHalfExtent, 2 * sceneHalfExtent);
    if (picture.width() > sceneHalfExtent)
        rect.setRight(picture.width() + sceneHalfExtent);
    if (picture.height() > sceneHalfExtent)
        rect.setBottom(picture.height() + sceneHalfExtent);
    return rect;
}

} // namespace

VelmoraView::VelmoraView(QWidget *parent) : QGraphicsView(parent)
{
    scene = new QGraphicsScene(this);
    setScene(scene);
    setRenderHint(QPainter::Antialiasing, true);
    setRenderHint(QPainter::SmoothPixmapTransform, true);
    // Moves without a pressed button must arrive too: the tool outline follows the pointer.
    setAttribute(Qt::WA_MouseTracking, true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    // The overlay moves with the pointer; repainting everything never leaves an old circle.
    // Only what changed is drawn again: a pointer move redraws the brush outline's two
    // places, a stroke its segment, and the cost stays small on big pictures.
    setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    setDragMode(QGraphicsView::ScrollHandDrag);

    undoStack = new QUndoStack(this);
    undoStack->setUndoLimit(undoLimit);
    const qint64 physical = Platform::physicalMemory();
    historyBudget = physical > 0 ? qMin(defaultHistoryBudget, physical / 4) : defaultHistoryBudget;
    connect(undoStack, &QUndoStack::canRedoChanged, this, &VelmoraView::canRedoChanged);

    pictureReduction = new QFutureWatcher<QVector<QImage>>(this);
    connect(pictureReduction, &QFutureWatcherBase::finished, this, [this] {
        // A reduction for a picture no longer shown was cancelled and gives nothing.
        QVector<QImage> levels = pictureReduction->result();
        if (levels.isEmpty() || !imageItem)
            return;
        picturePyramid.setReduced(std::move(levels));
        imageItem->update();
    });
}

VelmoraView::~VelmoraView()
{
    // A reduction still running stops at its next band; the picture it reads is its own
    // reference, so nothing it touches goes away before it ends.
    if (reductionCancel)
        *reductionCancel = true;
}

void VelmoraView::reducePicture()
{
    if (reductionCancel)
        *reductionCancel = true;
    reductionCancel = std::make_shared<std::atomic<bool>>(false);
    const QImage picture = pictureImage; // shared for reading only; it is never written
    const std::shared_ptr<std::atomic<bool>> cancel = reductionCancel;
    pictureReduction->setFuture(QtConcurrent::run(
        [picture, cancel] { return Display::Pyramid::reduce(picture, cancel.get()); }));
}

void VelmoraView::maskChanged(const QRect &area)
{
    maskPyramid.update(area);
    if (maskItem)
        maskItem->update(area);
}

void VelmoraView::setMode(EditorMode newMode)
{
    if (newMode == mode)
        return;
    // The Eraser is a detour: a right click in it returns to the mode it was entered from.
    if (mode != EditorMode::Eraser)
        previousMode = mode;
    mode = newMode;
    applyModeCursor();
    emit modeChanged(mode);
    if (mode == EditorMode::Doodle)
        emit currentDrawingSizeChanged(brushSize);
    else if (mode == EditorMode::Eraser)
        emit currentDrawingSizeChanged(eraserSize);
    viewport()->update();
}

void VelmoraView::applyModeCursor()
{
    Qt::CursorShape shape = Qt::OpenHandCursor;
    switch (mode) {
    case EditorMode::Move:
        setDragMode(QGraphicsView::ScrollHandDrag);
        break;
    case EditorMode::Doodle:
        setDragMode(QGraphicsView::NoDrag);
        shape = Qt::CrossCursor;
        break;
    case EditorMode::Eraser:
        setDragMode(QGraphicsView::NoDrag);
        shape = Qt::ForbiddenCursor;
        break;
    }
    setCursor(shape);
    // The pointer shows the viewport's cursor, and region work sets that one (busy): every
    // end of the work comes back here and gives the tool's cursor back to it.
    viewport()->setCursor(shape);
}

void VelmoraView::setBrushSize(int size)
{
    brushSize = size;
    if (mode == EditorMode::Doodle) {
        viewport()->update();
        emit currentDrawingSizeChanged(size);
    }
}

void VelmoraView::setEraserSize(int size)
{
    eraserSize = size;
    if (mode == EditorMode::Eraser) {
        viewport()->update();
        emit currentDrawingSizeChanged(size);
    }
}

void VelmoraView::setMaskOpacity(int value)
{
    if (maskItem)
        maskItem->setOpacity(value / 100.0);
}

void VelmoraView::setMaskColour(const QColor &colour)
{
    maskColour = colour;
    if (maskItem)
        maskItem->setColour(colour);
}

void VelmoraView::setShownAsSaved(bool asSaved)
{
    shownAsSaved = asSaved;
    if (maskItem)
        maskItem->setShownAsSaved(asSaved);
}

void VelmoraView::resetZoom()
{
    if (!imageItem)
        return;
    resetTransform();
    centerOn(imageItem);
    viewport()->update();
    reportZoom();
}

void VelmoraView::zoomIn()
{
    zoomAboutCentre(zoomStep);
}

void VelmoraView::zoomOut()
{
    zoomAboutCentre(1.0 / zoomStep);
}

void VelmoraView::zoomAboutCentre(qreal factor)
{
    const ViewportAnchor anchor = transformationAnchor();
    setTransformationAnchor(QGraphicsView::AnchorViewCenter);
    scale(factor, factor);
    setTransformationAnchor(anchor);
    viewport()->update();
    reportZoom();
}

void VelmoraView::fitToWindow()
{
    if (!imageItem)
        return;
    fitInView(imageItem, Qt::KeepAspectRatio);
    viewport()->update();
    reportZoom();
}

void VelmoraView::setMaskHidden(bool hidden)
{
    if (hidden == maskHidden)
        return;
    maskHidden = hidden;
    if (maskItem)
        maskItem->setVisible(!hidden);
    emit maskHiddenChanged(hidden);
}

MaskEdit *VelmoraView::pushStep()
{
    if (maskImage.isNull())
        return nullptr;
    // Pushing drops the steps that could have been redone, and the oldest beyond the limit.
    auto *step = new MaskEdit(&maskImage);
    undoStack->push(step);
    emit canUndoChanged(true);
    return step;
}

void VelmoraView::undo()
{
    if (drawing || !canUndoNow())
        return;
    undoStack->undo();
    refreshStep(undoStack->index());
    emit canUndoChanged(canUndoNow());
    finishEdit();
}

// A step given back to memory can't be undone, nor anything before it.
bool VelmoraView::canUndoNow() const
{
    const int index = undoStack->index();
    return index > 0 && !static_cast<const MaskEdit *>(undoStack->command(index - 1))->isExpired();
}

void VelmoraView::setHistoryBudget(qint64 bytes)
{
    historyBudget = bytes;
    keepHistoryInBudget();
}

// The oldest steps go first; the latest one stays whatever its size.
void VelmoraView::keepHistoryInBudget()
{
    qint64 total = 0;
    for (int i = 0; i < undoStack->count(); ++i)
        total += static_cast<const MaskEdit *>(undoStack->command(i))->bytes();
    bool trimmed = false;
    for (int i = 0; total > historyBudget && i < undoStack->count() - 1; ++i) {
        auto *step = const_cast<MaskEdit *>(static_cast<const MaskEdit *>(undoStack->command(i)));
        if (step->isExpired() || i >= undoStack->index() - 1)
            continue;
        total -= step->bytes();
        step->expire();
        trimmed = true;
    }
    if (!trimmed)
        return;
    emit canUndoChanged(canUndoNow());
    emit historyTrimmed();
}

void VelmoraView::redo()
{
    if (drawing || !undoStack->canRedo())
        return;
    undoStack->redo();
    refreshStep(undoStack->index() - 1);
    emit canUndoChanged(true);
    finishEdit();
}

void VelmoraView::clearMask()
{
    if (maskImage.isNull() || drawing)
        return;
    // A clear that could not be undone would destroy the user's work, so without memory
    // for the tiles it would take back, the mask stays as it is.
    auto step = std::make_unique<MaskEdit>(&maskImage);
    if (!step->clearAll())
        return;
    undoStack->push(step.release());
    emit canUndoChanged(true);
    refreshStep(undoStack->index() - 1);
    finishEdit();
}

bool VelmoraView::applyMask(const QImage &gray)
{
    if (maskImage.isNull() || drawing || gray.size() != maskImage.size())
        return false;
    auto step = std::make_unique<MaskEdit>(&maskImage);
    if (!step->prepare(maskImage.rect(), false).isEmpty())
        return false;
    const QImage bytes = gray.convertToFormat(QImage::Format_Grayscale8);
    if (bytes.isNull())
        return false;
    const int width = maskImage.width();
    const int height = maskImage.height();
    for (int y = 0; y < height; ++y) {
        const uchar *src = bytes.constScanLine(y);
        uchar *dst = maskImage.scanLine(y);
        for (int x = 0; x < width; ++x)
            dst[x] = src[x] != 0 ? MaskFile::layerInside : 0;
    }
    return pushFinished(std::move(step));
}

bool VelmoraView::replaceMask(QImage layer)
{
    if (maskImage.isNull() || drawing || layer.size() != maskImage.size())
        return false;
    undoStack->clear();
    undoStack->setClean();
    emit canUndoChanged(false);
    maskImage = std::move(layer);
    maskPyramid.setBase(&maskImage);
    maskPyramid.setReduced(Display::Pyramid::reduce(maskImage));
    maskItem->update();
    updateModified();
    return true;
}

void VelmoraView::finishEdit()
{
    keepHistoryInBudget();
    updateModified();
    emit maskEdited();
}

void VelmoraView::markSaved()
{
    undoStack->setClean();
    updateModified();
}

void VelmoraView::refreshStep(int index)
{
    const auto *step = static_cast<const MaskEdit *>(undoStack->command(index));
    maskPyramid.update(step->tileRects());
    if (maskItem)
        maskItem->update(step->bounds());
}

void VelmoraView::updateModified()
{
    // The mask equals the saved one when no step between the saved state and the current
    // one changed a pixel. A saved state dropped off the end of the history is gone.
    bool now = undoStack->cleanIndex() < 0;
    const int from = qMin(undoStack->cleanIndex(), undoStack->index());
    const int to = qMax(undoStack->cleanIndex(), undoStack->index());
    for (int i = from; !now && i < to; ++i)
        now = static_cast<const MaskEdit *>(undoStack->command(i))->changedPixels();
    if (now == modified)
        return;
    modified = now;
    emit modifiedChanged(modified);
}

bool VelmoraView::loadImage(const QString &path)
{
    // The picture is decoded afresh, not served by the pixmap cache, so a file changed on
    // disk shows as it is now.
    return loadImage(path, PictureFile::readWithMask(path));
}

bool VelmoraView::loadImage(const QString &path, PictureFile::WithMask decoded)
{
    // Everything that can fail is prepared first; the document is replaced only once the
    // picture and its mask layer both exist.
    if (decoded.isNull())
        return false;

    endWand(false);
    cancelMaskWork();
    endStroke();
    imagePath = path;
    scene->clear();
    imageItem = nullptr;
    maskItem = nullptr;
    undoStack->clear();
    undoStack->setClean();
    emit canUndoChanged(false);
    // The old picture's memory goes before the new one is reduced.
    picturePyramid.clear();
    maskPyramid.clear();
    pictureImage = std::move(decoded.picture);
    maskImage = std::move(decoded.mask);
    picturePyramid.setBase(&pictureImage);
    maskPyramid.setBase(&maskImage);
    maskPyramid.setReduced(std::move(decoded.maskLevels));
    reducePicture();
    scene->setSceneRect(sceneRectFor(pictureImage.size()));
    imageItem = new PictureItem(&picturePyramid);
    scene->addItem(imageItem);
    imageItem->setPos(0, 0);
    maskItem = new MaskLayerItem(&maskPyramid);
    scene->addItem(maskItem);
    maskItem->setPos(0, 0);
    maskItem->setOpacity(1.0);
    maskItem->setVisible(!maskHidden);
    maskItem->setColour(maskColour);
    maskItem->setShownAsSaved(shownAsSaved);
    updateModified();

    resetTransform();
    const QRectF bounds = imageItem->boundingRect();
    const QRect port = viewport()->rect();
    if (bounds.width() > port.width() || bounds.height() > port.height())
        fitInView(imageItem, Qt::KeepAspectRatio);
    else
        centerOn(imageItem);
    applyModeCursor();
    viewport()->update();
    reportZoom();
    return true;
}

QImage VelmoraView::exportMask() const
{
    return MaskFile::toGray(maskImage);
}
