#ifndef VELMORA_DOCUMENT_MASKDOCUMENT_H
#define VELMORA_DOCUMENT_MASKDOCUMENT_H

#include "display/pyramid.h"
#include "document/history.h"
#include "files/picturefile.h"
#include "region/regionops.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class MaskEdit;
class RegionWork;
template <typename T> class QFutureWatcher;

// The open picture and its mask, without any widget: the picture, the mask layer, their
// reduced copies for the screen, and the history of the steps that changed the mask. Views
// show it and turn gestures into its steps; the window saves it and the recovery copies it.
//
// The mask layer holds one byte a pixel. Without classes it is how much of the pixel the
// brush covered (above 0 inside). With classes it is the pixel's class: 0 background, 1 the
// first class, and so on; each pixel has at most one class.
class MaskDocument : public QObject
{
    Q_OBJECT

public:
    // Class numbers are bytes of the layer, 0 the background.
    static constexpr int mostClasses = 255;

    explicit MaskDocument(QObject *parent = nullptr);
    ~MaskDocument() override;

    // Takes the picture and its mask layer in place of the current ones, with an empty
    // history. False, changing nothing, for a null reading.
    bool load(const QString &path, PictureFile::WithMask decoded);
    bool isNull() const { return maskImage.isNull(); }
    // The region work on this document, run off the UI thread.
    RegionWork &regions() const { return *regionWork; }
    QString path() const { return imagePath; }
    const QImage &picture() const { return pictureImage; }
    const QImage &mask() const { return maskImage; }
    const Display::Pyramid &picturePyramid() const { return pictureLevels; }
    const Display::Pyramid &maskPyramid() const { return maskLevels; }
    bool isReducing() const;

    // Classes. Two or more names turn the layer into class numbers; fewer turn it back into
    // one mask. Turning classes on makes every pixel of the mask the first class, in the
    // history too, so undo and redo keep working across the change.
    void setClassNames(const QStringList &names);
    QStringList classNames() const { return names; }
    bool hasClasses() const { return names.size() >= 2; }
    // The classes get other numbers: `numbers` maps each layer value to its new one, in the
    // layer and in every step of the history alike, and `newNames` names the new numbers.
    void renumberClasses(const std::array<uchar, 256> &numbers, const QStringList &newNames);
    // 1 is the first class.
    void setCurrentClass(int number);
    int currentClass() const { return current; }
    // The brush, the lassos and the region changes change only background and the current
    // class's pixels.
    void setProtectOthers(bool on) { protectOthers = on; }
    bool protectsOthers() const { return protectOthers; }
    // Objects: with classes, a pixel of a class may also belong to one object of that class,
    // numbered per picture from 1 up. The object layer (16-bit, 0 where no object) is made
    // when the first object is started, so a picture without objects costs no memory more.
    static constexpr int mostObjects = 65535;
    bool hasObjectLayer() const { return !objectImage.isNull(); }
    const QImage &objects() const { return objectImage; }
    // Whether any pixel belongs to an object.
    bool hasObjects() const;
    // Starts a new object of the current class: the next gesture makes it, and the later ones
    // add to it until another object or class is chosen. False without classes, without
    // memory for the object layer, or with every number in use.
    bool newObject();
    // The object gestures make and change; 0 for none (they give plain class pixels).
    int currentObject() const { return currentObj; }
    // Chooses an object and makes its class current; 0 chooses none.
    void setCurrentObject(int number);
    // The object under `point`, 0 for none.
    int objectAt(const QPoint &point) const;
    int classOfObject(int number) const;
    qint64 objectPixels(int number) const;
    // The objects with pixels, in number order; of `classNumber` alone when it is above 0.
    QVector<int> objectNumbers(int classNumber = 0) const;
    // Takes the object's pixels out of the mask in one step.
    bool deleteObject(int number);
    // The object numbers as 16-bit grey, 0 where no object; each object lies in one class.
    // Null when no pixel belongs to an object, or without memory.
    QImage exportObjects() const;

    // Pixels of each layer value, kept up to date with classes; index 0 is the background.
    const std::array<qint64, 256> &classPixels() const { return counts; }
    // The highest layer value in use.
    int highestClass() const;

    // Steps of the history.
    // A stroke: an empty step, pushed now so one undo takes back the whole stroke. Its tiles
    // are kept as they are about to change (MaskEdit::prepare()).
    MaskEdit *beginStroke();
    // Puts the coverage `cover` (Format_Alpha8, the size of `area`, where the tool drew)
    // into the layer with classes: the brush gives the current class where it covers, the
    // eraser clears what it covers fully. `onlyCurrent` erases the current class alone.
    // Without classes the view paints the layer directly.
    void putCoverage(const QRect &area, const QImage &cover, bool erase, bool onlyCurrent);
    // The view painted into the layer over `area`.
    void layerPainted(const QRect &area);
    // The stroke under way is over.
    void endStroke();
    QImage &layer() { return maskImage; }

    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;
    void clear();
    // The 8-bit `gray` becomes the mask (with classes: the current class's pixels) in one
    // step. False, changing nothing, for another size or without memory.
    bool applyMask(const QImage &gray);
    // The class numbers `numbers` (8-bit) become the layer in one step; without classes,
    // every number above 0 is inside. False for another size or without memory.
    // With `objects` (16-bit), they become the object layer alike.
    bool applyClasses(const QImage &numbers, const QImage &objects = QImage());
    // Puts the pieces on the layer as their class numbers, later pieces over earlier ones, in
    // one step; without classes, every piece is inside. False for another size or without
    // memory.
    bool applyClassPieces(const Region::MovedMask &pieces);
    // Adds or removes the piece's pixels in one step; false without memory.
    bool applyPiece(const Region::Piece &piece, bool add);
    // Inside and outside swap; with classes, the current class and the background.
    bool invert();
    // `layer` (and its object numbers, null for none) becomes the saved state with an empty
    // history. False for another size.
    bool replaceMask(QImage layer, QImage objects = QImage());
    // The mask as an 8-bit image, 255 inside and 0 outside; null without memory.
    QImage exportMask() const;
    // With classes: the class numbers as 8-bit grey; without, the mask as class 1.
    QImage exportClasses() const;
    // The current class alone as 255, for the region changes; the whole mask without classes.
    QImage exportCurrent() const;

    bool isModified() const { return modified; }
    void markSaved();
    void setHistoryBudget(qint64 bytes);
    int historyIndex() const;
    int historyCount() const;
    const MaskEdit *step(int index) const;

signals:
    // Another picture is about to take this one's place (its views end their gestures), and
    // has taken it.
    void aboutToLoad();
    void loaded();
    // The mask changed over `area` (empty: everywhere); the view repaints it.
    void maskChanged(const QRect &area);
    // A step ended, was undone or redone.
    void edited();
    void pictureReduced();
    void canUndoChanged(bool canUndo);
    void canRedoChanged(bool canRedo);
    void modifiedChanged(bool modified);
    void historyTrimmed();
    // A step could not keep some tiles for want of memory.
    void tilesLost();
    void classesChanged();

private:
    bool push(std::unique_ptr<MaskEdit> step);
    void refreshStep(int index);
    void finishEdit();
    void updateModified();
    void noteRedo();
    void keepHistoryInBudget();
    void reducePicture();
    bool mayChange(uchar now, quint16 object = 0) const;
    std::unique_ptr<MaskEdit> makeEdit();
    void dropStrayObjects(const QRect &area);
    void loadObjects(QImage objects);
    void forgetObjects();
    bool makeObjectLayer();
    void countAll();
    void remapLayer(const std::array<uchar, 256> &map);

    QString imagePath;
    QImage pictureImage; // never shared with a writer: the pyramid points at it
    QImage maskImage;    // never shared: strokes write into it, the pyramid points at it
    Display::Pyramid pictureLevels;
    Display::Pyramid maskLevels;
    QFutureWatcher<QVector<QImage>> *pictureReduction = nullptr;
    std::shared_ptr<std::atomic<bool>> reductionCancel;
    RegionWork *regionWork; // a child
    History history;
    bool redoable = false;      // as last told
    MaskEdit *stroke = nullptr; // owned by the history
    qint64 historyBudget = 0;
    bool modified = false;
    QStringList names;
    int current = 1;
    bool protectOthers = false;
    std::array<qint64, 256> counts{};
    QImage objectImage;               // null until the first object; never shared
    std::vector<uchar> objectClass;   // each object number's class, once it has one
    std::vector<qint64> objectCounts; // pixels of each object number
    int currentObj = 0;
    int objectsMade = 0; // numbers up to it were given: never given again while undo can reach them
};

#endif
