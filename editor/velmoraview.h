#ifndef VELMORA_EDITOR_VELMORAVIEW_H
#define VELMORA_EDITOR_VELMORAVIEW_H

#include "display/pyramid.h"
#include "document/maskdocument.h"
#include "document/regionwork.h"
#include "files/picturefile.h"
#include "region/regionops.h"

#include <QColor>
#include <QGraphicsView>
#include <QImage>
#include <QMetaType>
#include <QPoint>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QTransform>
#include <QVector>

#include <functional>

class MaskEdit;
class MaskLayerItem;
class PictureItem;
class QGraphicsScene;
class QPolygonF;
class QTabletEvent;

// The editing mode. The values double as the ids of the window's mode radio buttons.
enum class EditorMode : qint32 { Move = 0, Doodle = 1, Eraser = 2 };
Q_DECLARE_METATYPE(EditorMode)

// The picture-and-mask editor: a zoomable, pannable view over the picture with a red mask
// layer on top, an undo and redo history of the tiles each step changed, and the
// Move/Doodle/Eraser modes. It shows a document it does not own and turns gestures into the
// document's steps.
class VelmoraView : public QGraphicsView
{
    Q_OBJECT

public:
    // Shows and changes `document`, which outlives the view.
    explicit VelmoraView(MaskDocument *document, QWidget *parent = nullptr);
    ~VelmoraView() override;

    void setMode(EditorMode newMode);
    void setBrushSize(int size);
    void setEraserSize(int size);
    void setMaskOpacity(int value);
    // How the mask is shown: its colour, and whether exactly as a save writes it.
    void setMaskColour(const QColor &colour);
    void setShownAsSaved(bool asSaved);

    EditorMode getMode() const { return mode; }
    int getBrushSize() const { return brushSize; }
    int getEraserSize() const { return eraserSize; }
    QString getImagePath() const { return document->path(); }
    QColor getMaskColour() const { return maskColour; }
    // The picture's size in pixels; empty before any picture.
    QSize pictureSize() const { return document->mask().size(); }
    // The picture, its mask and their history, which the view shows and changes.
    MaskDocument *getDocument() const { return document; }
    // Classes are shown in their colours; a hidden class is not drawn.
    void setClassColours(const QVector<QColor> &colours, const QVector<bool> &hidden);
    // Objects in `hidden` are not shown.
    void setObjectsHidden(const QSet<int> &hidden);
    // True while a left-button stroke or lasso is under way.
    bool isDrawing() const { return drawing; }

    void resetZoom();
    // One wheel step in or out, about the middle of the view.
    void zoomIn();
    void zoomOut();
    // The whole picture in the view, its aspect kept.
    void fitToWindow();
    // A hidden mask is not drawn; it shows again by itself before anything paints into it.
    void setMaskHidden(bool hidden);
    bool isMaskHidden() const { return maskHidden; }
    // Undo and redo do nothing while a stroke is under way.
    void undo();
    void redo();
    void clearMask();

    // Whether the mask differs from what was last loaded or saved. A step that changed no
    // pixel does not count; undoing back to the saved state makes the mask unmodified again.
    bool isModified() const { return document->isModified(); }
    // The window calls it once the file beside the picture matches the mask.
    void markSaved();

    // Shows the picture at `path` with the mask saved beside it. Returns false, leaving the
    // current document exactly as it was, when the picture or its mask layer can't be had.
    bool loadImage(const QString &path);
    // The same with the picture and its mask already read (ahead, on another thread).
    // How a picture loaded in place of another is shown: fitted (or centred at 1:1 when it
    // fits), or, for frames of a sequence walked through, at the zoom and place the last
    // one had when both have one size.
    enum class Placement { Fit, KeepWhenSameSize };
    bool loadImage(const QString &path, PictureFile::WithMask decoded,
                   Placement placement = Placement::Fit);
    // How the next picture the document loads is shown; after it, pictures are fitted again.
    void setNextPlacement(Placement placement) { nextPlacement = placement; }
    // The mask as an 8-bit image, 255 inside and 0 outside; null before any picture, and
    // when the memory for it can't be had.
    QImage exportMask() const;
    // Puts `layer` (MaskFile::layerFormat, the picture's size) in place of the mask as the
    // saved state, with an empty history, as when the picture was opened. False, changing
    // nothing, for a layer of another size or during a stroke.
    bool replaceMask(QImage layer);
    // Makes the mask the 8-bit `gray` (inside where above 0) in one step of the history,
    // which can be undone. False, changing nothing, for another size, during a stroke, or
    // without memory to keep what it replaces.
    bool applyMask(const QImage &gray);

    // Whether a pen's pressure sets the size of the brush or the eraser (from a tenth at the
    // lightest touch to the whole size); on unless turned off.
    void setPenPressure(bool on) { penPressure = on; }
    bool usesPenPressure() const { return penPressure; }

    // The colour wand's tolerance, 0 to 255, for gestures that don't drag it.
    void setWandTolerance(int tolerance);
    int getWandTolerance() const { return wandTolerance; }
    // Adds (or with `add` false, removes) the piece's pixels to the mask in one step of the
    // history. False, changing nothing, during a stroke or without memory for the step.
    bool applyPiece(const Region::Piece &piece, bool add);
    // Replaces the mask by `change` of its 8-bit export, computed off the UI thread, as one
    // step of the history.
    void transformMask(std::function<QImage(const QImage &)> change);
    // Swaps the inside and the outside of the mask in one step of the history.
    void invertMask();
    // True while a region is being computed; no other change of the mask starts meanwhile.
    bool isWorking() const { return working; }
    // Drops the region being computed; the mask stays as it is.
    void cancelMaskWork();
    // The most bytes the history keeps; past it the oldest steps can no longer be undone,
    // though the latest always can. 512 MiB, or a quarter of the memory if that is less.
    void setHistoryBudget(qint64 bytes);

signals:
    // Work on a region started or ended (finished, cancelled or dropped).
    void busyChanged(bool busy);
    // The snapping lasso found no object and filled the plain outline instead.
    void snapFellBack();
    // A carried mask was put on: its pieces, and how many of them went on as they were
    // because fitting would have lost them. `snapped` is false when no fitting was asked for
    // or Esc stopped it.
    void maskCarried(int pieces, int unchanged, bool snapped);
    // The wand's drag shows this tolerance.
    void wandToleranceShown(int tolerance);
    // Ctrl or Shift went down or up over the view; the window shows what they do.
    void modifiersChanged(Qt::KeyboardModifiers modifiers);
    void modeChanged(EditorMode newMode);
    void canUndoChanged(bool canUndo);
    void currentDrawingSizeChanged(int size);
    void canRedoChanged(bool canRedo);
    void modifiedChanged(bool modified);
    // Part of a stroke was not painted: no memory was left to keep what it would change.
    void strokeOutOfMemory();
    // A region command or gesture could not get the memory it needs; the mask is unchanged.
    void regionOutOfMemory();
    void maskHiddenChanged(bool hidden);
    // The mask's pixels changed: a stroke ended, or a clear, undo, redo or applied mask.
    void maskEdited();
    // The picture pixel under the pointer changed; (-1, -1) when it is off the picture.
    void pointerPixelChanged(QPoint pixel);
    // The zoom changed: screen pixels per picture pixel.
    void zoomChanged(qreal scale);
    // The history outgrew its budget: its oldest steps were dropped.
    void historyTrimmed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void enterEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    friend class VelmoraViewProbe; // test and benchmark access to the private steps

    // One wheel step or zoom key scales the view by this, in or out.
    static constexpr qreal zoomStep = 1.15;

    void applyModeCursor();
    void leavePicture();
    void showLoadedPicture();
    void penEvent(QTabletEvent *event);
    qreal pressureScale(qreal pressure) const;
    // The tool's width now, in picture pixels: the brush's or the eraser's size, scaled by a
    // pen's pressure.
    qreal toolWidth() const;
    // The eraser is at work: the Eraser mode, or a pen's eraser end.
    bool isErasing() const { return mode == EditorMode::Eraser || penErasing; }
    void zoomAboutCentre(qreal factor);
    void reportPointer(QPoint viewPos);
    void reportZoom();
    void beginStroke();
    void paintWithTool(const QRectF &reach, const std::function<void(QPainter &)> &draw);
    void paintStrokeTo(const QPointF &scenePos);
    void paintDab(const QPointF &centre);
    void fillLasso();
    static bool enclosesArea(const QPolygonF &outline);
    void endStroke();
    void drawPictureFrame(QPainter *painter) const;
    void drawToolOutline(QPainter *painter) const;
    // The colour the brush paints in: the current class's, or the mask's.
    QColor paintColour() const;
    static void drawSizeLabel(QPainter *painter, QPointF middle, const QString &text);
    QRect toolOutlineArea(QPoint at) const;
    qreal toolOutlineRadius() const;
    static QPointF outlineCentre(QPoint at, qreal radius);
    void drawLasso(QPainter *painter) const;

    QImage picture() const;
    void snapLasso(const QPolygonF &outline);
    void beginWand(const QPointF &scenePos, QPoint viewPos);
    void dragWand(QPoint viewPos);
    void updateWandPreview();
    void endWand(bool commit);
    void drawWandPreview(QPainter *painter) const;

    QGraphicsScene *scene = nullptr;
    PictureItem *imageItem = nullptr;
    MaskLayerItem *maskItem = nullptr;
    MaskDocument *const document;
    Placement nextPlacement = Placement::Fit;
    struct KeptPlace // of the picture left, for the next one of its size
    {
        bool valid = false;
        QSize size;
        QTransform transform;
        QPointF centre;
    } keptPlace;
    MaskEdit *stroke = nullptr; // the step of the stroke under way, owned by the document
    QImage strokeCover;         // with classes, where the tool drew, before it is put in
    bool strokeLostPixels = false;
    bool lassoing = false;
    QVector<QPointF> lasso; // scene points of the lasso being drawn
    bool spacePanning = false;
    bool handDragging = false; // a left-button pan while Space is held
    bool maskHidden = false;
    QColor maskColour{255, 0, 0};
    QVector<QColor> classColours;
    QSet<int> objectsHidden;
    QVector<bool> classesHidden;
    bool shownAsSaved = false;
    bool drawing = false;
    QPointF lastScenePos{0, 0};
    int brushSize = 20;
    int eraserSize = 30;
    EditorMode mode = EditorMode::Move;
    EditorMode previousMode = EditorMode::Doodle;
    QPoint cursorViewPos{-1, -1}; // viewport pixels; x < 0 while the pointer is outside
    QPoint pointerPixel{-1, -1};  // picture pixels, as last reported
    bool snapping = false;        // the lasso under way snaps to edges
    bool penPressure = true;
    bool penStroke = false;  // the stroke under way is a pen's
    bool penErasing = false; // ...made with its eraser end
    qreal pressed = 1.0;     // the pen's pressure scale for the tool's size
    bool wanding = false;    // a wand gesture is under way
    QPoint wandSeed;         // picture pixels
    int wandPressX = 0;      // viewport pixels
    int wandTolerance = 32;
    int gestureTolerance = 32; // the tolerance of the wand gesture under way
    double wandScale = 1.0;    // of the preview's copy against the picture
    QImage wandPreviewPicture;
    Region::Piece wandPreview; // in the preview copy's pixels
    bool working = false;      // the document's region work is under way
};

#endif
