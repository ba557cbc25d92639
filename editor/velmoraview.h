#ifndef VELMORA_EDITOR_VELMORAVIEW_H
#define VELMORA_EDITOR_VELMORAVIEW_H

#include "editor/picturefile.h"

#include <QColor>
#include <QGraphicsView>
#include <QImage>
#include <QMetaType>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class MaskEdit;
class MaskLayerItem;
class QGraphicsPixmapItem;
class QGraphicsScene;
class QPolygonF;
class QUndoStack;

// The editing mode. The values double as the ids of the window's mode radio buttons.
enum class EditorMode : qint32 { Move = 0, Doodle = 1, Eraser = 2 };
Q_DECLARE_METATYPE(EditorMode)

// The picture-and-mask editor: a zoomable, pannable view over the picture with a red mask
// layer on top, an undo and redo history of the tiles each step changed, and the
// Move/Doodle/Eraser modes.
class VelmoraView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit VelmoraView(QWidget *parent = nullptr);

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
    QString getImagePath() const { return imagePath; }
    QColor getMaskColour() const { return maskColour; }
    // The picture's size in pixels; empty before any picture.
    QSize pictureSize() const { return maskImage.size(); }
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
    bool isModified() const { return modified; }
    // The window calls it once the file beside the picture matches the mask.
    void markSaved();

    // Shows the picture at `path` with the mask saved beside it. Returns false, leaving the
    // current document exactly as it was, when the picture or its mask layer can't be had.
    bool loadImage(const QString &path);
    // The same with the picture and its mask already read (ahead, on another thread).
    bool loadImage(const QString &path, PictureFile::WithMask decoded);
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

signals:
    void modeChanged(EditorMode newMode);
    void canUndoChanged(bool canUndo);
    void currentDrawingSizeChanged(int size);
    void canRedoChanged(bool canRedo);
    void modifiedChanged(bool modified);
    // Part of a stroke was not painted: no memory was left to keep what it would change.
    void strokeOutOfMemory();
    void maskHiddenChanged(bool hidden);
    // The mask's pixels changed: a stroke ended, or a clear, undo, redo or applied mask.
    void maskEdited();
    // The picture pixel under the pointer changed; (-1, -1) when it is off the picture.
    void pointerPixelChanged(QPoint pixel);
    // The zoom changed: screen pixels per picture pixel.
    void zoomChanged(qreal scale);

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
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    friend class VelmoraViewProbe; // test and benchmark access to the private steps

    // One wheel step or zoom key scales the view by this, in or out.
    static constexpr qreal zoomStep = 1.15;

    void applyModeCursor();
    MaskEdit *pushStep();
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
    void refreshStep(int index);
    void updateModified();
    void finishEdit();
    void drawPictureFrame(QPainter *painter) const;
    void drawToolOutline(QPainter *painter) const;
    void drawLasso(QPainter *painter) const;

    QGraphicsScene *scene = nullptr;
    QGraphicsPixmapItem *imageItem = nullptr;
    MaskLayerItem *maskItem = nullptr;
    QImage maskImage;
    QUndoStack *undoStack = nullptr;
    MaskEdit *stroke = nullptr; // the step of the stroke under way, owned by undoStack
    bool strokeLostPixels = false;
    bool lassoing = false;
    QVector<QPointF> lasso; // scene points of the lasso being drawn
    bool spacePanning = false;
    bool handDragging = false; // a left-button pan while Space is held
    bool maskHidden = false;
    QColor maskColour{255, 0, 0};
    bool shownAsSaved = false;
    bool modified = false;
    QString imagePath;
    bool drawing = false;
    QPointF lastScenePos{0, 0};
    int brushSize = 20;
    int eraserSize = 30;
    EditorMode mode = EditorMode::Move;
    EditorMode previousMode = EditorMode::Doodle;
    QPoint cursorViewPos{-1, -1}; // viewport pixels; x < 0 while the pointer is outside
    QPoint pointerPixel{-1, -1};  // picture pixels, as last reported
};

#endif
