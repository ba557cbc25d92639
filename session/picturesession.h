#ifndef VELMORA_SESSION_PICTURESESSION_H
#define VELMORA_SESSION_PICTURESESSION_H

#include "files/atomicfile.h"
#include "files/classfiles.h"
#include "files/filestamp.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/readahead.h"
#include "platform/files.h"
#include "region/regionops.h"

#include <QCoreApplication>
#include <QFuture>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class MaskDocument;
class MaskWatch;
class Recovery;

// How a session asks the user and tells them what happened: the window answers with its
// boxes, a test with answers of its own. The session writes every text; the topic says what
// it is about.
class SessionAsker
{
public:
    enum class Topic {
        // Questions: may the session go on? No, the safe answer, is the default.
        ReplaceChangedMask,    // another program changed the mask file
        ReplaceUnreadMask,     // the mask file could not be read and was never shown
        ReplaceChangedMap,     // the class map, likewise
        ReplaceUnreadMap,      // the class map could not be read and was never shown
        ReplaceChangedObjects, // the object map, likewise
        ReplaceUnreadObjects,
        ReplaceChangedList, // labels.txt
        WriteThroughLink,   // the mask file is a link out of the picture's folder
        PictureChanged,     // yes: save the mask elsewhere instead (the save stops either way)
        OpenBig,            // a picture that takes much of the memory, or looks made up
        // Notices: the session stopped, or did something the user should know.
        PictureGone,
        OntoPicture,       // the file to write is the picture itself
        OntoOtherMask,     // ... or another picture's mask
        OntoOwnMask,       // a class map exported onto this picture's mask file
        NoMemory,          // the mask could not be exported
        ListNotRewritable, // labels.txt is not UTF-8 text
        ListUnwritable,    // labels.txt could not be written
        ListTooLong,       // a save would take the list past its most classes
        ListLostClasses,   // classes left the list and could not be put back
        ListClassesAdded,  // ... and were put back at its end (for information)
        TooBig,            // a picture too big for the memory is not opened
    };
    struct Message
    {
        Topic topic;
        QString file; // the file it is about
        QString title;
        QString text;
        QString yesText; // a question's yes
    };

    // A question; true lets the session go on.
    virtual bool ask(const Message &message) = 0;
    virtual void tell(const Message &message) = 0;
    // Runs `work` off this thread and returns once it is done; the user sees `label` when it
    // takes a while.
    virtual void wait(const std::function<void()> &work, const QString &title,
                      const QString &label) = 0;

protected:
    ~SessionAsker() = default;
};

// The open picture's document and what is known about its files on disk: the picture as it
// was opened (a save beside a picture replaced since would belong to another picture), the
// mask file and class map as read or last written here (a save never replaces what the user
// did not see without asking), what the user agreed to, and the folder's class list; the
// watch on the mask file and the recovery copy of unsaved work. Opening, saving, saving
// elsewhere, exporting the class map and reloading a mask another program wrote keep these
// rules; the user is asked through the asker. No widgets: a test drives it as the window
// does.
class PictureSession
{
    Q_DECLARE_TR_FUNCTIONS(PictureSession)

public:
    // Copies of unsaved work go to the first of `recoveryFolders` that can take them.
    PictureSession(SessionAsker &asker, const QStringList &recoveryFolders);
    ~PictureSession();
    PictureSession(const PictureSession &) = delete;
    PictureSession &operator=(const PictureSession &) = delete;

    MaskDocument *document() const { return doc.get(); }
    // Keeps a copy of the unsaved mask while it differs from the saved one.
    Recovery &recovery() const { return *copies; }
    // Tells when another program touches the mask file.
    MaskWatch &maskWatch() const { return *watch; }
    // The picture likely to be opened next, read while the user works on this one.
    ReadAhead &readAhead() { return ahead; }
    // The open picture's path; empty before any.
    QString path() const;

    // What is on disk before a picture is read: taken first, so a change during the read
    // shows as a change.
    struct OnDisk
    {
        FileStamp picture;
        Platform::FileIdentity identity;
        FileStamp map;
        FileStamp objects;
    };
    static OnDisk lookBeforeReading(const QString &path);
    // Whether the picture at `path` may be decoded: not when it would not fit in memory, and
    // when it takes much of it or its file looks made up, only if the user agrees.
    bool mayDecode(const QString &path);
    // The picture at `path`, read with its mask after looking at the disk (`before`), takes
    // the place of the open one, and what was known of that one's files is forgotten. False,
    // changing nothing, when `decoded` has no picture. `list` says how the folder's class
    // list was read.
    enum class ListState { Read, Unreadable, NotRewritable };
    bool open(const QString &path, PictureFile::WithMask decoded, const OnDisk &before,
              ListState *list = nullptr);

    // The picture shown before this one, as it was when it was left, to carry its mask onto
    // this one. Its layer is the document's own, let go of rather than copied; it is null
    // when that picture had another size: its pixels could not be carried.
    struct LastShown
    {
        QString path;
        QSize size;
        QImage layer;
        QImage objects; // its object numbers, null without objects
        bool classes = false;
        Region::MotionCopy copy;           // of its picture, to find how this one moved
        std::vector<Region::Trail> trails; // of the strokes carried onto it
    };
    const LastShown &lastShown() const { return left; }
    // Carries the mask of the picture shown before onto this one as one step (see
    // RegionWork::carry), unless:
    enum class Carry { Started, NothingShown, OtherSize, NoMemory, NothingToCarry };
    Carry carryFromLast(bool snap);

    // What the mask file was when read or last written here.
    const MaskFile::Reading &maskFile() const { return maskOnDisk; }
    // The mask file was read or written here: the work from now on starts from it.
    void rememberMaskFile(const MaskFile::Reading &reading);
    // The mask file differs from what was read or written here.
    bool maskFileChanged() const;
    // Reads the mask file (with its class map) into the document in place of its mask, as the
    // saved state. False, changing nothing, without memory for it.
    bool reloadMaskFile();

    // The folder's class list as read or last written here.
    const ClassFiles::List &classList() const { return list; }
    QString classListPath() const { return listPath; }
    // Whether labels.txt may be rewritten: not when it is not plain UTF-8 text, whose names
    // that could not be decoded would be lost (the user is told).
    bool mayRewriteClassList();
    // Writes the folder's class list with `names`, asking first when another program changed
    // it. The document takes the names.
    bool writeClassList(const QStringList &names);
    // labels.txt may have changed since it was read, giving the numbers other names. Before
    // numbers are written, each class takes the number its name has in the list as it is
    // now. False, saving nothing, when that can't be done.
    bool matchClassList();

    // The mask (and class map) written beside the picture. `went` is false when the session
    // stopped before touching a file, having told or asked the user; then `saveElsewhere`
    // says the user chose to save the mask elsewhere instead.
    struct Stored
    {
        bool went = false;
        bool saveElsewhere = false;
        MaskFile::StoreOutcome outcome = MaskFile::StoreOutcome::WriteFailed;
        AtomicFile::Failure failure = AtomicFile::Failure::None;
    };
    // With `pictureChangeSeen` the user chose this file knowing the picture changed.
    Stored store(bool pictureChangeSeen = false);
    // The mask, or the class map, to a file of the user's choice other than the mask file
    // beside the picture. False when nothing was written: `failure` says why, or is None
    // when the user was told (never onto the picture or its mask; onto the class map beside
    // the picture the rules of a save hold).
    bool saveAs(const QString &path, AtomicFile::Failure *failure);
    bool exportClassMap(const QString &path, AtomicFile::Failure *failure);

private:
    // A file beside the mask file as read or last written here: the class map, the object map.
    struct SideFile
    {
        FileStamp onDisk;
        bool unread = false;
    };

    bool pictureStillThere();
    bool pictureUnchanged(bool *saveElsewhere);
    bool mayWriteThrough(const QString &file);
    bool mayReplaceMaskFile(const QString &maskPath, bool removing);
    bool mayReplaceSideFile(const QString &path, bool removing, SideFile &known);
    bool refusedOntoPicture(const QString &file);
    bool writeElsewhere(const QString &file, const std::function<QImage()> &image,
                        const QString &title, AtomicFile::Failure *failure);
    bool ask(SessionAsker::Topic topic, const QString &file, const QString &title,
             const QString &text, const QString &yesText);
    void tell(SessionAsker::Topic topic, const QString &file, const QString &title,
              const QString &text);

    SessionAsker &asker;
    std::unique_ptr<MaskDocument> doc;
    std::unique_ptr<Recovery> copies;
    std::unique_ptr<MaskWatch> watch;
    ReadAhead ahead;
    LastShown left;
    QFuture<Region::MotionCopy> shownCopy; // of the picture shown, being made
    Region::MotionCopy shownPictureCopy();
    FileStamp pictureStamp;
    Platform::FileIdentity pictureIdentity;
    QString linkAgreed; // a file out of the folder the mask file's link may be written to
    MaskFile::Reading maskOnDisk;
    FileStamp replaceAgreed; // a changed or unread mask file the user agreed to replace
    SideFile classMap;
    SideFile objectMap;
    ClassFiles::List list;
    QString listPath;
};

#endif
