#include "session/picturesession.h"

#include "document/maskdocument.h"
#include "document/regionwork.h"
#include "files/picturefile.h"
#include "folder/maskwatch.h"
#include "folder/savetarget.h"
#include "platform/memory.h"
#include "recovery/recovery.h"
#include "video/frames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QtConcurrent>

#include <array>

using Topic = SessionAsker::Topic;

namespace {

// Memory left to the rest of the program when a picture is opened, as a part of what the
// picture needs: an eighth.
constexpr int openingMarginShift = 3;

} // namespace

PictureSession::PictureSession(SessionAsker &asker, const QStringList &recoveryFolders)
    : asker(asker), doc(new MaskDocument), copies(new Recovery(recoveryFolders, nullptr)),
      watch(new MaskWatch)
{
    // With classes a copy is the map of class numbers, as a palette image, so restoring it
    // brings every class back.
    const MaskDocument *document = doc.get();
    copies->setSource([document] {
        if (document->hasObjects())
            return Recovery::withObjects(document->exportClasses(), document->exportObjects());
        return document->hasClasses() ? ClassFiles::toIndexed(document->exportClasses())
                                      : document->exportMask();
    });
    Recovery *recovery = copies.get();
    QObject::connect(document, &MaskDocument::edited, recovery, [document, recovery] {
        if (document->isModified())
            recovery->changed();
    });
    QObject::connect(document, &MaskDocument::modifiedChanged, recovery, [recovery](bool modified) {
        if (!modified)
            recovery->discard();
    });
}

PictureSession::~PictureSession() = default;

QString PictureSession::path() const
{
    return doc->path();
}

PictureSession::OnDisk PictureSession::lookBeforeReading(const QString &path)
{
    // A frame's picture is its video.
    const QString source = Frames::sourceOf(path);
    return {FileStamp::of(source), Platform::identityOf(source),
            MaskFile::stampOf(ClassFiles::mapPathFor(path)),
            MaskFile::stampOf(ClassFiles::objectsPathFor(path))};
}

bool PictureSession::open(const QString &path, PictureFile::WithMask decoded, const OnDisk &before,
                          ListState *listState)
{
    const MaskFile::Reading reading = decoded.maskReading;
    const bool mapRead = decoded.mapStatus != ClassFiles::MapStatus::Unreadable;
    const bool objectsRead = decoded.objectStatus != ClassFiles::MapStatus::Unreadable;
    const bool objectsLoaded = decoded.objectStatus == ClassFiles::MapStatus::Read;
    LastShown leaving{doc->path(),
                      doc->mask().size(),
                      doc->mask(),
                      doc->exportObjects(),
                      doc->hasClasses(),
                      shownPictureCopy(),
                      doc->regions().carriedTrails()};
    if (!doc->load(path, std::move(decoded)))
        return false;
    if (!leaving.layer.isNull() && leaving.path != path) {
        left = std::move(leaving);
        if (left.size != doc->mask().size()) {
            left.layer = QImage();
            left.objects = QImage();
            left.copy = Region::MotionCopy();
        }
    }
    // A grey copy of each picture shown is made while it is shown, to find how the next one
    // moved.
    const QImage shown = doc->picture();
    shownCopy = QtConcurrent::run([shown] { return Region::motionCopyOf(shown); });
    pictureStamp = before.picture;
    pictureIdentity = before.identity;
    linkAgreed.clear();
    copies->setPicture(path);
    rememberMaskFile(reading);
    classMap.onDisk = before.map;
    classMap.unread = !mapRead;
    objectMap.onDisk = before.objects;
    // An object map that was not read (damaged, or beside no class map) is never replaced
    // unasked.
    objectMap.unread = !objectsRead || (!objectsLoaded && before.objects.exists);
    listPath = ClassFiles::listPathFor(path);
    list = ClassFiles::readList(listPath);
    doc->setClassNames(list.names);
    if (listState)
        *listState = !list.readable    ? ListState::Unreadable
                     : list.rewritable ? ListState::Read
                                       : ListState::NotRewritable;
    return true;
}

void PictureSession::rememberMaskFile(const MaskFile::Reading &reading)
{
    maskOnDisk = reading;
    replaceAgreed = FileStamp();
    copies->setMaskStart(reading.stamp);
    watch->watch(MaskFile::pathFor(path()));
}

bool PictureSession::maskFileChanged() const
{
    return MaskFile::stampOf(MaskFile::pathFor(path())) != maskOnDisk.stamp;
}

bool PictureSession::reloadMaskFile()
{
    const QString imagePath = path();
    MaskFile::Reading reading;
    QImage layer = MaskFile::readLayerBeside(imagePath, doc->mask().size(), &reading);
    SideFile map = classMap;
    SideFile objectFile = objectMap;
    QImage objects;
    // With classes, the mask file's pixels take their classes from the class map, and
    // their objects from the object map.
    if (doc->hasClasses() && !layer.isNull()) {
        ClassFiles::MapStatus status;
        const QString mapPath = ClassFiles::mapPathFor(imagePath);
        map.onDisk = MaskFile::stampOf(mapPath);
        ClassFiles::joinMap(layer, ClassFiles::readMap(mapPath, layer.size(), &status));
        map.unread = status == ClassFiles::MapStatus::Unreadable;
        const QString objectsPath = ClassFiles::objectsPathFor(imagePath);
        objectFile.onDisk = MaskFile::stampOf(objectsPath);
        if (status == ClassFiles::MapStatus::Read)
            objects = ClassFiles::readObjects(objectsPath, layer.size(), &status);
        objectFile.unread = status != ClassFiles::MapStatus::Read && objectFile.onDisk.exists;
    }
    // Without memory for a new layer the mask stays as it is, and so does what is known of
    // the file: the next save still asks.
    if (!doc->replaceMask(std::move(layer), std::move(objects)))
        return false;
    classMap = map;
    objectMap = objectFile;
    rememberMaskFile(reading);
    return true;
}

// A picture whose decoded size would not fit is refused before it is decoded: a small file
// can announce billions of pixels. One that would take much of the memory, or whose file is
// far too small for its size, is decoded only when the user says so.
bool PictureSession::mayDecode(const QString &path)
{
    const PictureFile::Footprint footprint = PictureFile::footprintOf(path);
    const qint64 available = Platform::memoryForNewData();
    if (footprint.bytes == 0)
        return true;
    const QLocale locale;
    const QString name = Frames::displayName(path);
    const QString needs = locale.formattedDataSize(footprint.bytes);
    const QString left = locale.formattedDataSize(qMax<qint64>(0, available));
    // The estimate leaves out what decoders and the window take beside the pixels, so an
    // eighth more is kept free; the box shows the sum that was compared.
    const qint64 withMargin = footprint.bytes + (footprint.bytes >> openingMarginShift);
    if (available >= 0 && withMargin > available) {
        tell(Topic::TooBig, path, tr("图片太大"),
             tr("%1 有 %2 × %3 像素，打开需要约 %4 内存（图片和掩膜 %5，"
                "另加八分之一的余量），当前可用约 %6。")
                 .arg(name)
                 .arg(footprint.size.width())
                 .arg(footprint.size.height())
                 .arg(locale.formattedDataSize(withMargin), needs, left));
        return false;
    }
    if (!PictureFile::needsConsent(footprint, available))
        return true;
    QString text = tr("%1 有 %2 × %3 像素，打开需要约 %4 内存。")
                       .arg(name)
                       .arg(footprint.size.width())
                       .arg(footprint.size.height())
                       .arg(needs);
    if (available >= 0)
        text += QLatin1Char(' ') + tr("当前可用约 %1。").arg(left);
    if (footprint.isSuspicious())
        text +=
            QLatin1Char('\n') + tr("文件只有 %1，对这样的尺寸来说太小，可能已损坏或是特意制作的。")
                                    .arg(locale.formattedDataSize(footprint.fileBytes));
    text += QLatin1Char('\n') + tr("仍要打开吗？");
    return ask(Topic::OpenBig, path, tr("打开大图片"), text, tr("打开"));
}

Region::MotionCopy PictureSession::shownPictureCopy()
{
    shownCopy.waitForFinished();
    return shownCopy.resultCount() > 0 ? shownCopy.result() : Region::MotionCopy();
}

// Frames of a sequence are mostly the same size, and the camera and the objects moved a
// little: each piece is moved to where the picture under it went and, with `snap`, fitted to
// the new picture's edges.
PictureSession::Carry PictureSession::carryFromLast(bool snap)
{
    const QSize here = doc->mask().size();
    if (left.path.isEmpty() || (left.layer.isNull() && left.size == here))
        return Carry::NothingShown;
    if (left.size != here)
        return Carry::OtherSize;
    // The layer as class numbers: with classes it is that already; without, every covered
    // pixel becomes the one class, in place, since the layer is no one else's now.
    if (!left.classes) {
        const int width = left.layer.width();
        for (int y = 0; y < left.layer.height(); ++y) {
            uchar *row = left.layer.scanLine(y);
            for (int x = 0; x < width; ++x)
                row[x] = uchar(row[x] != 0);
        }
        left.classes = true;
    }
    if (left.layer.isNull())
        return Carry::NoMemory;
    if (MaskFile::isEmpty(left.layer))
        return Carry::NothingToCarry;
    // Objects are carried into a picture with classes alone.
    doc->regions().carry(left.copy, shownPictureCopy(), left.layer, left.trails, snap,
                         doc->hasClasses() ? left.objects : QImage());
    return Carry::Started;
}

bool PictureSession::ask(Topic topic, const QString &file, const QString &title,
                         const QString &text, const QString &yesText)
{
    return asker.ask({topic, file, title, text, yesText});
}

void PictureSession::tell(Topic topic, const QString &file, const QString &title,
                          const QString &text)
{
    asker.tell({topic, file, title, text, QString()});
}

bool PictureSession::mayRewriteClassList()
{
    if (list.rewritable)
        return true;
    tell(Topic::ListNotRewritable, listPath, tr("类别列表未改动"),
         tr("%1\n不是 UTF-8 文本（或含有空字节）。改写它会丢失无法解码的类别名称，"
            "因此没有改动。请先把它另存为 UTF-8 文本。")
             .arg(QDir::toNativeSeparators(listPath)));
    return false;
}

// labels.txt is rewritten whole, and only when it is still what was read here: a list
// another program changed is replaced only when the user says so.
bool PictureSession::writeClassList(const QStringList &names)
{
    if (listPath.isEmpty() || !mayRewriteClassList())
        return false;
    const FileStamp now = FileStamp::of(listPath, FileStamp::Contents::Hashed);
    if (now != list.stamp &&
        !ask(Topic::ReplaceChangedList, listPath, tr("类别列表已被修改"),
             tr("%1 在读取后被其他程序修改过，覆盖会丢失那些修改。").arg(listPath), tr("覆盖")))
        return false;
    // Comments and labelme's first lines stay as they were.
    const QByteArray text = ClassFiles::rewrittenList(list.text, names);
    const AtomicFile::Failure failure = ClassFiles::writeList(listPath, text);
    if (failure != AtomicFile::Failure::None) {
        tell(Topic::ListUnwritable, listPath, tr("错误"),
             tr("无法写入类别列表:\n%1").arg(AtomicFile::describe(failure, listPath)));
        return false;
    }
    list.names = names;
    list.text = text;
    list.stamp = FileStamp::of(listPath, FileStamp::Contents::Hashed);
    list.readable = true;
    doc->setClassNames(names);
    return true;
}

// A class whose name left the list keeps its name, added at the end of the list.
bool PictureSession::matchClassList()
{
    if (listPath.isEmpty() || !doc->hasClasses())
        return true;
    ClassFiles::List now = ClassFiles::readList(listPath);
    if (now.stamp == list.stamp || !now.readable)
        return true;
    const QStringList shown = doc->classNames();
    QStringList names = now.names;
    QStringList gone;
    std::array<uchar, 256> numbers{};
    for (int number = 1; number <= shown.size(); ++number) {
        int index = names.indexOf(shown.at(number - 1));
        if (index < 0 && doc->classPixels()[size_t(number)] > 0) {
            names.append(shown.at(number - 1));
            gone.append(shown.at(number - 1));
            index = names.size() - 1;
        }
        numbers[size_t(number)] =
            uchar(index < 0 || index >= MaskDocument::mostClasses ? 0 : index + 1);
    }
    const QString shownList = QDir::toNativeSeparators(listPath);
    if (names.size() > MaskDocument::mostClasses) {
        tell(Topic::ListTooLong, listPath, tr("类别列表已被修改"),
             tr("%1 在打开图片后被修改，加上这张图片的类别会超过 %2 个。掩膜没有保存。")
                 .arg(shownList)
                 .arg(MaskDocument::mostClasses));
        return false;
    }
    if (!gone.isEmpty()) {
        const AtomicFile::Failure failure =
            now.rewritable
                ? ClassFiles::writeList(listPath, ClassFiles::rewrittenList(now.text, names))
                : AtomicFile::Failure::WriteFailed;
        if (failure != AtomicFile::Failure::None) {
            tell(Topic::ListLostClasses, listPath, tr("类别列表已被修改"),
                 tr("%1 在打开图片后被修改，不再有类别 %2，也无法把它们加回列表。"
                    "为了不让编号指向别的类别，掩膜没有保存。")
                     .arg(shownList, gone.join(tr("、"))));
            return false;
        }
        now = ClassFiles::readList(listPath);
        tell(Topic::ListClassesAdded, listPath, tr("类别列表已被修改"),
             tr("%1 在打开图片后被修改，不再有类别 %2。这些类别保留原名，已加到列表末尾。")
                 .arg(shownList, gone.join(tr("、"))));
    }
    list = now;
    bool same = true;
    for (int number = 1; number <= shown.size(); ++number)
        same &= numbers[size_t(number)] == number || doc->classPixels()[size_t(number)] == 0;
    // Numbers that still mean the same classes need no pass over the layer and its history.
    if (same)
        doc->setClassNames(names);
    else
        doc->renumberClasses(numbers, names);
    return true;
}

// The one way a mask reaches the file beside its picture, for every kind of save. Nothing
// is written or removed when the picture has gone or was replaced, when the mask can't be
// exported (that is a failure, never an empty mask), when the mask file is a picture or
// leads out of the folder without the user's word, or when the file on disk is not the one
// last read or written here and the user does not agree to replace it.
PictureSession::Stored PictureSession::store(bool pictureChangeSeen)
{
    Stored stored;
    const QString imagePath = path();
    const QString maskPath = MaskFile::pathFor(imagePath);
    if (!pictureStillThere() || (!pictureChangeSeen && !pictureUnchanged(&stored.saveElsewhere)) ||
        !matchClassList())
        return stored;
    const QString label = tr("正在保存 %1…").arg(QFileInfo(maskPath).fileName());
    // With classes, the class map is written beside the binary mask.
    const MaskDocument *document = doc.get();
    const bool classes = document->hasClasses();
    const QString mapPath = ClassFiles::mapPathFor(imagePath);
    const QString objectsPath = ClassFiles::objectsPathFor(imagePath);
    const bool hasObjects = document->hasObjects();
    QImage mask;
    QImage map;
    QImage objects;
    // The export too runs on a worker: it reads the mask, which nothing changes meanwhile.
    asker.wait(
        [document, classes, hasObjects, &mask, &map, &objects] {
            mask = document->exportMask();
            if (classes && !mask.isNull())
                map = ClassFiles::toIndexed(document->exportClasses());
            if (hasObjects && !map.isNull())
                objects = document->exportObjects();
        },
        tr("保存掩膜"), label);
    if (mask.isNull() || (classes && map.isNull()) || (hasObjects && objects.isNull())) {
        tell(Topic::NoMemory, maskPath, tr("错误"), tr("内存不足，无法导出掩膜，掩膜文件未改动。"));
        return stored;
    }
    // Removing an empty mask's file removes a link, never what it leads to; only a write
    // goes through.
    const bool empty = MaskFile::isEmpty(mask);
    if ((!empty && !mayWriteThrough(maskPath)) || !mayReplaceMaskFile(maskPath, empty))
        return stored;
    if (classes &&
        ((!empty && !mayWriteThrough(mapPath)) || !mayReplaceSideFile(mapPath, empty, classMap)))
        return stored;
    // A class map left beside a mask without classes would give erased pixels back as a
    // class the next time both are read: it goes, so the two files never disagree.
    // Only a file (or a link, which goes itself) is taken away: a folder or a fifo under
    // that name is no class map and does not stop the save.
    const QFileInfo mapFile(mapPath);
    const bool staleMap = !classes && (mapFile.isSymLink() || mapFile.isFile());
    if (staleMap && !mayReplaceSideFile(mapPath, true, classMap))
        return stored;
    // The object map likewise: written with objects, else an old one goes, so objects
    // erased or deleted here do not come back.
    const QFileInfo objectsFile(objectsPath);
    const bool staleObjects = !hasObjects && (objectsFile.isSymLink() || objectsFile.isFile());
    if (hasObjects &&
        (!mayWriteThrough(objectsPath) || !mayReplaceSideFile(objectsPath, false, objectMap)))
        return stored;
    if (staleObjects && !mayReplaceSideFile(objectsPath, true, objectMap))
        return stored;
    // A link out of the folder the user agreed to write through is the only one followed.
    const AtomicFile::Options options{AtomicFile::widestFor(maskPath, imagePath), linkAgreed};
    const AtomicFile::Options mapOptions{AtomicFile::widestFor(mapPath, imagePath), linkAgreed};
    const AtomicFile::Options objectOptions{AtomicFile::widestFor(objectsPath, imagePath),
                                            linkAgreed};
    // The class map goes first: a mask file written without it would be read back with its
    // pixels in the first class. The object map follows it, as objects lie in classes.
    AtomicFile::Failure *why = &stored.failure;
    MaskFile::StoreOutcome *outcome = &stored.outcome;
    asker.wait(
        [&] {
            *outcome = [&] {
                if (staleMap && !QFile::remove(mapPath))
                    return MaskFile::StoreOutcome::WriteFailed;
                const auto failed = [](MaskFile::StoreOutcome outcome) {
                    return outcome == MaskFile::StoreOutcome::WriteFailed ||
                           outcome == MaskFile::StoreOutcome::RemoveFailed;
                };
                if (!map.isNull()) {
                    const MaskFile::StoreOutcome mapOutcome =
                        MaskFile::store(map, mapPath, mapOptions, why);
                    if (failed(mapOutcome))
                        return mapOutcome;
                }
                if (!objects.isNull()) {
                    const MaskFile::StoreOutcome objectsOutcome =
                        MaskFile::store(objects, objectsPath, objectOptions, why);
                    if (failed(objectsOutcome))
                        return objectsOutcome;
                }
                if (staleObjects && !QFile::remove(objectsPath))
                    return MaskFile::StoreOutcome::WriteFailed;
                return MaskFile::store(mask, maskPath, options, why);
            }();
            mask = QImage();
            map = QImage();
            objects = QImage();
        },
        tr("保存掩膜"), label);
    stored.went = true;
    if (classes || staleMap) {
        classMap.onDisk = MaskFile::stampOf(mapPath);
        classMap.unread = false;
    }
    if (hasObjects || staleObjects) {
        objectMap.onDisk = MaskFile::stampOf(objectsPath);
        objectMap.unread = false;
    }
    switch (stored.outcome) {
    case MaskFile::StoreOutcome::Written:
        rememberMaskFile({MaskFile::ReadStatus::Read, MaskFile::stampOf(maskPath)});
        doc->markSaved();
        break;
    case MaskFile::StoreOutcome::Removed:
    case MaskFile::StoreOutcome::NothingToRemove:
        rememberMaskFile({MaskFile::ReadStatus::Absent, MaskFile::stampOf(maskPath)});
        doc->markSaved();
        break;
    case MaskFile::StoreOutcome::WriteFailed:
    case MaskFile::StoreOutcome::RemoveFailed:
        break;
    }
    return stored;
}

// A mask saved beside a picture that was moved or renamed would belong to no picture.
bool PictureSession::pictureStillThere()
{
    const QString imagePath = path();
    if (PictureFile::isPicture(imagePath))
        return true;
    tell(Topic::PictureGone, imagePath, tr("图片已不在"),
         tr("%1\n已被移动、重命名或删除，掩膜无法保存在它旁边。"
            "请用“掩膜另存为…”(Ctrl+Shift+S) 保存掩膜。")
             .arg(imagePath));
    return false;
}

// A mask saved beside a picture that was replaced since it was opened (another picture
// under the same name, perhaps of another size) would belong to a picture nobody painted on.
bool PictureSession::pictureUnchanged(bool *saveElsewhere)
{
    const QString imagePath = path();
    const QString source = Frames::sourceOf(imagePath);
    if (FileStamp::of(source) == pictureStamp && Platform::identityOf(source) == pictureIdentity)
        return true;
    *saveElsewhere =
        ask(Topic::PictureChanged, imagePath, tr("图片已在磁盘上更改"),
            tr("%1\n在打开后已被替换或修改，掩膜可能与它不再对应，因此没有保存在它旁边。"
               "可以用“掩膜另存为…”把掩膜保存到别处。")
                .arg(imagePath),
            tr("掩膜另存为…"));
    return false;
}

// Never through a link or a hard link onto a picture; through a link out of the picture's
// folder only when the user agrees, once for each picture opened.
bool PictureSession::mayWriteThrough(const QString &file)
{
    const SaveTarget::Verdict target = SaveTarget::check(file, path());
    switch (target.kind) {
    case SaveTarget::Kind::Free:
        return true;
    case SaveTarget::Kind::Picture:
        return !refusedOntoPicture(file);
    case SaveTarget::Kind::OtherMask:
        tell(Topic::OntoOtherMask, file, tr("不能覆盖其他掩膜"),
             tr("%1\n与另一张图片的掩膜\n%2\n是同一个文件，保存会覆盖那个掩膜。"
                "掩膜没有保存。")
                 .arg(file, target.file));
        return false;
    case SaveTarget::Kind::OutsideFolder:
        if (target.file == linkAgreed)
            return true;
        if (!ask(Topic::WriteThroughLink, file, tr("掩膜文件是一个链接"),
                 tr("%1\n是一个链接，指向图片文件夹之外的文件:\n%2\n保存会写入那个文件。")
                     .arg(file, target.file),
                 tr("写入")))
            return false;
        linkAgreed = target.file;
        return true;
    }
    return false;
}

// True, having told the user, when writing `file` would write over the picture.
bool PictureSession::refusedOntoPicture(const QString &file)
{
    const SaveTarget::Verdict target = SaveTarget::check(file, path());
    if (target.kind != SaveTarget::Kind::Picture)
        return false;
    tell(Topic::OntoPicture, file, tr("不能覆盖图片"),
         tr("%1\n与图片\n%2\n是同一个文件，保存会用掩膜覆盖这张图片。掩膜没有保存。")
             .arg(file, target.file));
    return true;
}

// Whether the file at `maskPath` may be written over (or removed, for an empty mask): yes
// when it is what this session read or wrote last, or when it is gone and nothing is lost.
// A file changed by another program, or one that was never read, is replaced only when the
// user says so.
bool PictureSession::mayReplaceMaskFile(const QString &maskPath, bool removing)
{
    const FileStamp now = MaskFile::stampOf(maskPath);
    if (!now.exists || now == replaceAgreed)
        return true;
    const QString replaceText = removing ? tr("删除") : tr("覆盖");
    bool agreed = true;
    if (now != maskOnDisk.stamp)
        agreed =
            ask(Topic::ReplaceChangedMask, maskPath, tr("掩膜文件已被修改"),
                tr("%1 在打开后被其他程序修改过，覆盖会丢失那些修改。").arg(maskPath), replaceText);
    else if (MaskFile::isUnread(maskOnDisk.status))
        agreed = ask(Topic::ReplaceUnreadMask, maskPath, tr("掩膜文件未能读取"),
                     tr("%1\n%2，打开图片时没有显示。%3会丢失其中的内容。")
                         .arg(maskPath, MaskFile::unreadText(maskOnDisk.status), replaceText),
                     replaceText);
    // A save that fails after the answer does not ask again about the same file.
    if (agreed)
        replaceAgreed = now;
    return agreed;
}

// The class map and the object map beside the picture, like the mask file, are replaced or
// removed unasked only when they are what this session read or wrote last.
bool PictureSession::mayReplaceSideFile(const QString &path, bool removing, SideFile &known)
{
    const FileStamp now = MaskFile::stampOf(path);
    if (!now.exists || (now == known.onDisk && !known.unread))
        return true;
    const QString replaceText = removing ? tr("删除") : tr("覆盖");
    const bool objects = &known == &objectMap;
    const QString title = objects ? tr("对象图已被修改") : tr("类别图已被修改");
    const bool agreed =
        known.unread
            ? ask(objects ? Topic::ReplaceUnreadObjects : Topic::ReplaceUnreadMap, path, title,
                  tr("%1\n未能读取，打开图片时没有显示。%2会丢失其中的内容。")
                      .arg(path, replaceText),
                  replaceText)
            : ask(objects ? Topic::ReplaceChangedObjects : Topic::ReplaceChangedMap, path, title,
                  tr("%1 在打开后被其他程序修改过，%2会丢失那些修改。").arg(path, replaceText),
                  replaceText);
    if (agreed) {
        known.onDisk = now;
        known.unread = false;
    }
    return agreed;
}

bool PictureSession::saveAs(const QString &file, AtomicFile::Failure *failure)
{
    *failure = AtomicFile::Failure::None;
    if (refusedOntoPicture(file))
        return false;
    const MaskDocument *document = doc.get();
    return writeElsewhere(
        file, [document] { return document->exportMask(); }, tr("掩膜另存为"), failure);
}

// Exported, encoded and written on a worker, as the file beside the picture is.
bool PictureSession::writeElsewhere(const QString &file, const std::function<QImage()> &image,
                                    const QString &title, AtomicFile::Failure *failure)
{
    const AtomicFile::Options options{AtomicFile::widestFor(file, path()), QString()};
    *failure = AtomicFile::Failure::WriteFailed;
    bool written = false;
    asker.wait([&image, file, options, failure,
                &written] { written = MaskFile::write(image(), file, {}, options, failure); },
               title, tr("正在保存 %1…").arg(QFileInfo(file).fileName()));
    return written;
}

bool PictureSession::exportClassMap(const QString &file, AtomicFile::Failure *failure)
{
    const QString imagePath = path();
    *failure = AtomicFile::Failure::None;
    if (refusedOntoPicture(file) || !matchClassList())
        return false;
    const QString absolute = QFileInfo(file).absoluteFilePath();
    if (absolute == QFileInfo(MaskFile::pathFor(imagePath)).absoluteFilePath() &&
        QFileInfo::exists(file)) {
        tell(Topic::OntoOwnMask, file, tr("不能覆盖掩膜"),
             tr("%1\n是这张图片的掩膜文件。类别图没有导出。").arg(file));
        return false;
    }
    // Onto the class map beside the picture, the rules of a save hold.
    const bool besidePicture =
        absolute == QFileInfo(ClassFiles::mapPathFor(imagePath)).absoluteFilePath();
    if (besidePicture && !mayReplaceSideFile(file, false, classMap))
        return false;
    const MaskDocument *document = doc.get();
    const bool written = writeElsewhere(
        file, [document] { return ClassFiles::toIndexed(document->exportClasses()); },
        tr("导出类别图"), failure);
    if (written && besidePicture) {
        classMap.onDisk = MaskFile::stampOf(file);
        classMap.unread = false;
    }
    return written;
}
