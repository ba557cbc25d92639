#ifndef VELMORA_MAINWINDOW_MAINWINDOW_H
#define VELMORA_MAINWINDOW_MAINWINDOW_H

#include "editor/velmoraview.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/readahead.h"
#include "folder/reviewmarks.h"
#include "mainwindow/sessionboxes.h"
#include "platform/files.h"
#include "session/picturesession.h"
#include "thumbs/thumbnails.h"

#include <QFuture>
#include <QMainWindow>

#include <atomic>
#include <memory>

class ClassPanel;
class MaskDocument;
class FolderPanel;
class Overview;
class MaskWatch;
class PictureFolder;
class Recovery;
class QAction;
class QActionGroup;
class QCloseEvent;
class QDockWidget;
class QDragEnterEvent;
class QDropEvent;
class QButtonGroup;
class QLabel;
class QMenu;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolBar;

// The names of the classes `document` holds pixels of.
QStringList classesPresent(const MaskDocument &document);

// The one window: the editor view in the centre, a menu bar with every command, a toolbar of
// file actions, modes and tool sizes, and a status bar. The view is the single source of truth for
// mode and sizes; the controls follow its signals.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the picture at `path` as if it had been chosen in the open dialog, after asking
    // about unsaved changes of the current one.
    void openPicture(const QString &path);
    // Opens the first picture of the folder at `path` that has no mask yet (or its first
    // picture when all have one); says so when the folder holds no pictures.
    void openFolder(const QString &path);
    // A folder or a picture, as given on the command line.
    void openPath(const QString &path);
    // A cancelled opening whose decoder is still at work: the program ends without waiting
    // for it.
    bool hasAbandonedWork() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void onOpenImage();
    void onSaveMask();
    void onBrushSizeChanged(int size);
    void onEraserSizeChanged(int size);
    void onOpacityChanged(int value);
    void onModeGroupClicked(int id);
    void onModeChangedFromView(EditorMode newMode);
    void onCurrentDrawingSizeChanged(int size);
    void onUndo();
    void onRedo();
    void onReset();
    void onStrokeOutOfMemory();
    void onOpenFolder();
    void onPreviousPicture();
    void onNextPicture();
    void onSaveMaskAs();
    void onChooseMaskColour();
    void onMaskFileTouched();
    // The system asks the program to end: the unsaved mask is copied for recovery and the
    // program quits without questions.
    void onTerminationRequested();

private:
    friend class MainWindowProbe; // test access to the controls

    QWidget *createModeSelector();
    QWidget *createSizeControl(QSlider *&slider, QSpinBox *&spin, int value,
                               const QFont &toolbarFont);
    QLabel *createCaption(const QString &text, const QFont &toolbarFont);
    void createMenus(QAction *openAction, QAction *saveAction, QAction *actualSizeAction);
    void createToolMenu();
    void createMaskDisplayActions(QMenu *viewMenu);
    void createLanguageMenu(QMenu *viewMenu);
    void createMaskMenu();
    void changeMaskBy(bool growing);
    int askPixels(const QString &title, const QString &label, const QString &key, int initial,
                  int most);
    void createSelectionPanel();
    void connectRegionMessages();
    void createHelpMenu();
    void onToolKey(EditorMode mode);
    void showModeInToolMenu(EditorMode mode);
    void stepToolSize(int direction);
    void createFolderPanel();
    void updateFolderActions();
    void readNextAhead();
    void createStatusBar();
    void showPosition();
    void widenToShowTheToolbar(QToolBar *toolbar);
    void restoreWindowPlace(QToolBar *toolbar);
    void saveWindowPlace();
    bool maybeSave();
    bool hasPictureToSave();
    bool saveQuietly(bool pictureChangeSeen = false);
    bool storeBesidePicture(MaskFile::StoreOutcome &outcome, AtomicFile::Failure &failure,
                            bool pictureChangeSeen);
    void showSaveFailure(MaskFile::StoreOutcome outcome, const QString &maskPath,
                         AtomicFile::Failure failure);
    QString frameToOpen(const QString &videoPath);
    void loadPicture(const QString &path,
                     VelmoraView::Placement placement = VelmoraView::Placement::Fit);
    void stepToPicture(const QString &path);
    void showMaskFile(const MaskFile::Reading &reading);
    void offerRecovery(const QString &path);
    void restoreCopy(const QString &file);
    void showProtection();
    void cancelOpening();
    void createSafetyNet();
    void createClassPanel();
    void showClassListState(PictureSession::ListState state);
    void showClasses();
    QColor classColour(const QString &name, int number) const;
    void chooseClass(int number);
    void startObject();
    void showObjects();
    void addClass();
    void renameClass(int number);
    void changeClassColour(int number);
    void onExportClasses();
    void addImportCommand(QMenu *fileMenu, QAction *before);
    void importAnnotations();
    void addCarryNavigation(QMenu *fileMenu);
    void addCarryCommands(QMenu *maskMenu);
    void addFillCommand(QMenu *maskMenu);
    void fillBetweenKeyframes();
    void goCarrying(bool forward);
    void carryFromLast();
    void addReviewCommands(QMenu *fileMenu);
    void markForReview(ReviewMarks::Mark mark);
    void showReviewFailure(const QString &folder, ReviewMarks::Outcome outcome,
                           AtomicFile::Failure why);
    void createOverview(QMenu *viewMenu);
    void showOverview(bool shown);
    Thumbnails::Colours thumbnailColours() const;

    // The open picture's document and its files' rules, which ask through the window's boxes.
    std::unique_ptr<SessionBoxes> sessionBoxes;
    std::unique_ptr<PictureSession> session;
    VelmoraView *view = nullptr;
    QSlider *brushSizeSlider = nullptr;
    QSpinBox *brushSizeSpin = nullptr;
    QSlider *eraserSizeSlider = nullptr;
    QSpinBox *eraserSizeSpin = nullptr;
    QSlider *opacitySlider = nullptr;
    QLabel *opacityValueLabel = nullptr;
    QRadioButton *moveRadio = nullptr;
    QRadioButton *doodleRadio = nullptr;
    QRadioButton *eraserRadio = nullptr;
    QButtonGroup *modeGroup = nullptr;
    QAction *undoAction = nullptr;
    QAction *resetAction = nullptr;
    QLabel *statusLabel = nullptr;
    // In the menus and the side panel only: the toolbar stays as it always was.
    QAction *redoAction = nullptr;
    QAction *openFolderAction = nullptr;
    QAction *previousAction = nullptr;
    QAction *nextAction = nullptr;
    QAction *autoSaveAction = nullptr;
    QAction *quietSaveAction = nullptr; // 保存掩膜 without its two boxes
    QAction *saveAsAction = nullptr;
    QAction *revealAction = nullptr;
    QLabel *positionLabel = nullptr; // the pointer's picture pixel and the zoom
    QPoint pointerPixel{-1, -1};
    qreal zoom = 1.0;
    QLabel *maskWarningLabel = nullptr; // beside the status text while the mask file is unread
    QLabel *protectionLabel = nullptr;  // while unsaved strokes have no recovery copy
    QActionGroup *toolActions = nullptr;
    bool opening = false;                               // a picture is being read
    std::shared_ptr<std::atomic_bool> openingCancelled; // stops that reading
    QFuture<PictureFile::WithMask> abandonedRead;       // a cancelled one, still at work
    bool storing = false;                               // a save is writing the mask file
    QList<QAction *> maskActions; // the 掩膜 menu's, off while a region is computed
    bool showingHint = false;     // a held modifier's hint is in the status bar
    QString replacedByHint;       // the message it took the place of
    QSpinBox *wandToleranceSpin = nullptr;
    QDockWidget *selectionDock = nullptr;
    PictureFolder *folder = nullptr;
    FolderPanel *folderPanel = nullptr;
    ReviewMarks::Keeper *reviewMarks = nullptr; // the folder's marks, read and written aside
    QDockWidget *folderDock = nullptr;
    bool endingOnRequest = false; // closing without questions
    QAction *carrySnapsAction = nullptr;
    Overview *overview = nullptr; // 总览, in the view's place while shown
    QAction *overviewAction = nullptr;
    ClassPanel *classPanel = nullptr;
    QDockWidget *classDock = nullptr;
    QLabel *classLabel = nullptr; // the current class, in the status bar
    QMenu *classMenu = nullptr;
    QList<QAction *> classKeyActions; // keys 1–9
    QAction *exportClassesAction = nullptr;
    QVector<bool> classesHidden;
    QSet<int> objectsHidden; // of the picture shown
    QAction *newObjectAction = nullptr;
    QString shownListPath; // the class list whose classes are hidden or shown
};

#endif
