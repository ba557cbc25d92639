#include "editor/velmoraview.h"

#include "editor/masklayeritem.h"
#include "editor/pictureitem.h"
#include "files/maskfile.h"
#include "files/picturefile.h"

#include <QCursor>
#include <QGraphicsScene>

#include <utility>

namespace {

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

VelmoraView::VelmoraView(MaskDocument *shown, QWidget *parent)
    : QGraphicsView(parent), document(shown)
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

    connect(document, &MaskDocument::aboutToLoad, this, &VelmoraView::leavePicture);
    connect(document, &MaskDocument::loaded, this, &VelmoraView::showLoadedPicture);
    RegionWork *regions = &document->regions();
    connect(regions, &RegionWork::busyChanged, this, [this](bool busy) {
        // Meanwhile the view counts as drawing, so no other change of the mask starts, and
        // the pointer waits.
        drawing = busy;
        working = busy;
        if (busy)
            viewport()->setCursor(Qt::BusyCursor);
        else
            applyModeCursor();
        emit busyChanged(busy);
    });
    connect(regions, &RegionWork::snapFellBack, this, &VelmoraView::snapFellBack);
    connect(regions, &RegionWork::carried, this, &VelmoraView::maskCarried);
    connect(regions, &RegionWork::outOfMemory, this, &VelmoraView::regionOutOfMemory);
    connect(document, &MaskDocument::canUndoChanged, this, &VelmoraView::canUndoChanged);
    connect(document, &MaskDocument::canRedoChanged, this, &VelmoraView::canRedoChanged);
    connect(document, &MaskDocument::modifiedChanged, this, &VelmoraView::modifiedChanged);
    connect(document, &MaskDocument::historyTrimmed, this, &VelmoraView::historyTrimmed);
    connect(document, &MaskDocument::edited, this, &VelmoraView::maskEdited);
    connect(document, &MaskDocument::tilesLost, this, &VelmoraView::strokeOutOfMemory);
    connect(document, &MaskDocument::pictureReduced, this, [this] {
        if (imageItem)
            imageItem->update();
    });
    connect(document, &MaskDocument::maskChanged, this, [this](const QRect &area) {
        if (!maskItem)
            return;
        if (area.isEmpty())
            maskItem->update();
        else
            maskItem->update(area);
    });
    connect(document, &MaskDocument::classesChanged, this, [this] {
        viewport()->update(); // the brush's outline takes the class's colour
        if (maskItem)
            maskItem->setClassColours(document->hasClasses() ? classColours : QVector<QColor>(),
                                      classesHidden);
    });
}

VelmoraView::~VelmoraView() = default;

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

void VelmoraView::setClassColours(const QVector<QColor> &colours, const QVector<bool> &hidden)
{
    classColours = colours;
    classesHidden = hidden;
    viewport()->update();
    if (maskItem)
        maskItem->setClassColours(document->hasClasses() ? classColours : QVector<QColor>(),
                                  classesHidden);
}

void VelmoraView::setObjectsHidden(const QSet<int> &hidden)
{
    objectsHidden = hidden;
    if (maskItem)
        maskItem->setObjects(&document->objects(), objectsHidden);
}

QColor VelmoraView::paintColour() const
{
    if (document->hasClasses() && document->currentClass() <= classColours.size())
        return classColours.at(document->currentClass() - 1);
    return maskColour;
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

void VelmoraView::undo()
{
    if (drawing)
        return;
    document->undo();
}

void VelmoraView::setHistoryBudget(qint64 bytes)
{
    document->setHistoryBudget(bytes);
}

void VelmoraView::redo()
{
    if (drawing)
        return;
    document->redo();
}

void VelmoraView::clearMask()
{
    if (drawing)
        return;
    document->clear();
}

bool VelmoraView::applyMask(const QImage &gray)
{
    return !drawing && document->applyMask(gray);
}

bool VelmoraView::replaceMask(QImage layer)
{
    return !drawing && document->replaceMask(std::move(layer));
}

void VelmoraView::markSaved()
{
    document->markSaved();
}

bool VelmoraView::loadImage(const QString &path)
{
    // The picture is decoded afresh, not served by the pixmap cache, so a file changed on
    // disk shows as it is now.
    return loadImage(path, PictureFile::readWithMask(path));
}

bool VelmoraView::loadImage(const QString &path, PictureFile::WithMask decoded, Placement placement)
{
    setNextPlacement(placement);
    const bool loaded = document->load(path, std::move(decoded));
    nextPlacement = Placement::Fit;
    return loaded;
}

// Another picture takes the document's place: the gestures on this one end, and its items
// go before the document lets its pixels go.
void VelmoraView::leavePicture()
{
    keptPlace.valid = imageItem != nullptr;
    keptPlace.size = document->picture().size();
    keptPlace.transform = transform();
    keptPlace.centre = mapToScene(viewport()->rect().center());
    endWand(false);
    endStroke();
    scene->clear();
    imageItem = nullptr;
    maskItem = nullptr;
}

void VelmoraView::showLoadedPicture()
{
    const bool keep = nextPlacement == Placement::KeepWhenSameSize && keptPlace.valid &&
                      keptPlace.size == document->picture().size();
    scene->setSceneRect(sceneRectFor(document->picture().size()));
    imageItem = new PictureItem(&document->picturePyramid());
    scene->addItem(imageItem);
    imageItem->setPos(0, 0);
    maskItem = new MaskLayerItem(&document->maskPyramid());
    maskItem->setObjects(&document->objects(), objectsHidden);
    scene->addItem(maskItem);
    maskItem->setPos(0, 0);
    maskItem->setOpacity(1.0);
    maskItem->setVisible(!maskHidden);
    maskItem->setColour(maskColour);
    maskItem->setShownAsSaved(shownAsSaved);
    maskItem->setClassColours(document->hasClasses() ? classColours : QVector<QColor>(),
                              classesHidden);

    if (keep) {
        // The same part of the next frame, at the same zoom: walking a sequence zoomed in
        // needs no zooming again on every frame.
        setTransform(keptPlace.transform);
        centerOn(keptPlace.centre);
    } else {
        resetTransform();
        const QRectF bounds = imageItem->boundingRect();
        const QRect port = viewport()->rect();
        if (bounds.width() > port.width() || bounds.height() > port.height())
            fitInView(imageItem, Qt::KeepAspectRatio);
        else
            centerOn(imageItem);
    }
    applyModeCursor();
    viewport()->update();
    reportZoom();
}

QImage VelmoraView::exportMask() const
{
    return document->exportMask();
}
