// Video files read as their frames: every frame exactly the one shown at its place, whatever
// the container, the codec, B-frames or irregular frame times; damaged files fail calmly.
#include "cli/commandline.h"
#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "sequence/fillbetween.h"
#include "support/testsupport.h"
#include "support/videomaker.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSettings>
#include <QUrl>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

class TestVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void framesAreTheOnesShown_data();
    void framesAreTheOnesShown();
    void steppingDecodesEachFrameOnce();
    void damagedFilesFailCalmly();
    void framePathsName();
    void theWindowWorksOnFrames();
    void theCommandLineTakesVideos();
    void foldersListVideosAfterPictures();
    void savingAFrameKeepsEveryGuard();
    void framesBetweenKeyframesAreFilled();
};

namespace {

const QSize frameSize(256, 144);
constexpr int frameCount = 40;

QString makeVideo(const QTemporaryDir &dir, const QString &name,
                  const VideoMaker::Options &options = VideoMaker::Options(),
                  int count = frameCount)
{
    const QString path = dir.filePath(name);
    if (!VideoMaker::write(
            path, count, frameSize, [](int n) { return VideoMaker::numbered(n, frameSize); },
            options))
        return QString();
    return path;
}

} // namespace

void TestVideo::framesAreTheOnesShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("bFrames");
    QTest::addColumn<int>("keyEvery");
    QTest::addColumn<bool>("variableRate");
    QTest::newRow("H.264 with B-frames in MP4") << "clip.mp4"
                                                << "libx264" << 3 << 12 << false;
    QTest::newRow("H.264, irregular times, MKV") << "clip.mkv"
                                                 << "libx264" << 2 << 9 << true;
    QTest::newRow("H.264 in MOV, one keyframe") << "clip.mov"
                                                << "libx264" << 2 << 250 << false;
    QTest::newRow("MPEG-4 with B-frames in AVI") << "clip.avi"
                                                 << "mpeg4" << 1 << 10 << false;
    QTest::newRow("VP9 in WebM") << "clip.webm"
                                 << "libvpx-vp9" << 0 << 15 << false;
}

void TestVideo::framesAreTheOnesShown()
{
    QFETCH(QString, name);
    QFETCH(QString, codec);
    QFETCH(int, bFrames);
    QFETCH(int, keyEvery);
    QFETCH(bool, variableRate);
    QTemporaryDir dir;
    VideoMaker::Options options;
    options.codec = codec;
    options.bFrames = bFrames;
    options.keyEvery = keyEvery;
    options.variableRate = variableRate;
    const QString path = makeVideo(dir, name, options);
    if (path.isEmpty())
        QSKIP("this FFmpeg has no such encoder");
    QString why;
    const auto video = VideoFile::open(path, &why);
    QVERIFY2(video, qPrintable(why));
    QCOMPARE(video->frameCount(), frameCount);
    QCOMPARE(video->size(), frameSize);
    // Jumps back and forth, across keyframes and inside one group, then the last frame twice.
    for (int number : {17, 3, 40, 1, 39, 12, 13, 14, 2, 27, 26, 40, 40}) {
        const QImage frame = video->frame(number);
        QVERIFY2(!frame.isNull(), qPrintable(QString::number(number)));
        QCOMPARE(frame.format(), QImage::Format_RGB32);
        QCOMPARE(VideoMaker::numberIn(frame), number);
    }
    QVERIFY(video->frame(0).isNull());
    QVERIFY(video->frame(frameCount + 1).isNull());
}

void TestVideo::steppingDecodesEachFrameOnce()
{
    QTemporaryDir dir;
    VideoMaker::Options options;
    options.keyEvery = 250;
    const QString path = makeVideo(dir, QStringLiteral("long.mp4"), options);
    QVERIFY(!path.isEmpty());
    const auto video = VideoFile::open(path);
    QVERIFY(video);
    for (int number = 1; number <= frameCount; ++number)
        QCOMPARE(VideoMaker::numberIn(video->frame(number)), number);
    QCOMPARE(video->decodedCount(), qint64(frameCount));
    // One step back starts again at the keyframe (frames nothing refers to are left out
    // on the way), and forward from there goes on.
    const qint64 before = video->decodedCount();
    QCOMPARE(VideoMaker::numberIn(video->frame(20)), 20);
    const qint64 back = video->decodedCount() - before;
    QVERIFY(back > 5 && back <= 20);
    QCOMPARE(VideoMaker::numberIn(video->frame(21)), 21);
    QCOMPARE(video->decodedCount() - before, back + 1);
    // Kept open: the same file gives the same reader until it changes.
    QCOMPARE(VideoFile::shared(path), VideoFile::shared(path));
}

void TestVideo::damagedFilesFailCalmly()
{
    QTemporaryDir dir;
    const QString path = makeVideo(dir, QStringLiteral("clip.mkv"));
    QVERIFY(!path.isEmpty());
    const QByteArray whole = TestSupport::contents(path);

    // Cut off: the frames that are there still come, the rest are null, nothing crashes.
    const QString cut = dir.filePath(QStringLiteral("cut.mkv"));
    QFile cutFile(cut);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(whole.left(whole.size() * 6 / 10));
    cutFile.close();
    const auto truncated = VideoFile::open(cut);
    QVERIFY(truncated);
    QVERIFY(truncated->frameCount() > 5 && truncated->frameCount() < frameCount);
    QCOMPARE(VideoMaker::numberIn(truncated->frame(3)), 3);
    for (int number = 1; number <= frameCount; ++number) {
        const QImage frame = truncated->frame(number);
        if (!frame.isNull())
            QCOMPARE(VideoMaker::numberIn(frame), number);
    }

    // Bytes overwritten in the middle: frames decode or are null, never another frame.
    QByteArray spoiled = whole;
    for (int i = spoiled.size() / 2; i < spoiled.size() / 2 + 2000 && i < spoiled.size(); ++i)
        spoiled[i] = char(i * 37);
    const QString spoilt = dir.filePath(QStringLiteral("spoilt.mkv"));
    QFile spoiltFile(spoilt);
    QVERIFY(spoiltFile.open(QIODevice::WriteOnly));
    spoiltFile.write(spoiled);
    spoiltFile.close();
    if (const auto damaged = VideoFile::open(spoilt)) {
        for (int number : {1, 25, 40, 2, 39})
            damaged->frame(number);
    }

    // Not a video at all, an empty file, a folder and a fifo: no reader and a reason.
    const QString text = dir.filePath(QStringLiteral("notes.mp4"));
    QFile textFile(text);
    QVERIFY(textFile.open(QIODevice::WriteOnly));
    textFile.write("not a video, only some words");
    textFile.close();
    const QString empty = dir.filePath(QStringLiteral("empty.webm"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString folder = dir.filePath(QStringLiteral("folder.mp4"));
    QVERIFY(QDir().mkdir(folder));
    QStringList refused{text, empty, folder};
#ifdef Q_OS_LINUX
    const QString fifo = dir.filePath(QStringLiteral("pipe.mov"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    refused << fifo;
#endif
    for (const QString &bad : refused) {
        QString why;
        QVERIFY2(!VideoFile::open(bad, &why), qPrintable(bad));
        QVERIFY(!why.isEmpty());
    }
}

void TestVideo::framePathsName()
{
    QTemporaryDir dir;
    const QString video = dir.filePath(QStringLiteral("street.scene.MP4"));
    QFile(video).open(QIODevice::WriteOnly);
    const QString masks = dir.filePath(QStringLiteral("street.scene_masks"));
    QCOMPARE(Frames::masksFolderOf(video), masks);
    const QString frame = Frames::pathOf(video, 42);
    QCOMPARE(frame, masks + QStringLiteral("/000042.frame"));
    QCOMPARE(Frames::frameOf(frame).video, video);
    QCOMPARE(Frames::frameOf(frame).number, 42);
    QCOMPARE(Frames::sourceOf(frame), video);
    QCOMPARE(Frames::exportName(frame), QStringLiteral("000042.png"));
    QVERIFY(Frames::displayName(frame).startsWith(QStringLiteral("street.scene.MP4")));
    QVERIFY(Frames::displayName(frame).endsWith(QStringLiteral("42")));
    QCOMPARE(Frames::videoOfMasksFolder(masks), video);
    QCOMPARE(Frames::pathOf(video, 1234567), masks + QStringLiteral("/1234567.frame"));
    QVERIFY(Frames::isFramePath(Frames::pathOf(video, 1234567)));

    // Anything else is no frame: other names, no video beside, a picture's own names.
    const QString plain = dir.filePath(QStringLiteral("cat.png"));
    for (const QString &other :
         {plain, masks + QStringLiteral("/000042.png"), masks + QStringLiteral("/42.frame"),
          masks + QStringLiteral("/000000.frame"), masks + QStringLiteral("/-00042.frame"),
          dir.filePath(QStringLiteral("other_masks/000001.frame")),
          dir.filePath(QStringLiteral("_masks/000001.frame"))}) {
        QVERIFY2(!Frames::isFramePath(other), qPrintable(other));
        QCOMPARE(Frames::sourceOf(other), other);
    }
    QCOMPARE(Frames::displayName(plain), QStringLiteral("cat.png"));
    QVERIFY(Frames::hasVideoSuffix(QStringLiteral("a.WebM")));
    QVERIFY(!Frames::hasVideoSuffix(QStringLiteral("a.png")));
}

void TestVideo::theWindowWorksOnFrames()
{
    QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora")).clear();
    QTemporaryDir dir;
    TestSupport::makePicture(80, 60).save(dir.filePath(QStringLiteral("a.png")));
    const QString video = makeVideo(dir, QStringLiteral("clip.mp4"));
    QVERIFY(!video.isEmpty());
    const QByteArray videoBytes = TestSupport::contents(video);
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
    QVERIFY(showNewWindow(window, probe));
    auto *list = probe->folderPanel()->findChild<QListWidget *>();
    auto shownNumber = [&] {
        return VideoMaker::numberIn(probe->view()->getDocument()->picture());
    };

    // The video follows the folder's pictures; D steps onto it and shows its first frame.
    window->openFolder(dir.path());
    QCOMPARE(QFileInfo(probe->view()->getImagePath()).fileName(), QStringLiteral("a.png"));
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QStringLiteral("clip.mp4"));
    QTest::keyClick(window.get(), Qt::Key_D);
    QCOMPARE(probe->view()->getImagePath(), Frames::pathOf(video, 1));
    QCOMPARE(shownNumber(), 1);
    QCOMPARE(list->count(), frameCount);
    QVERIFY(list->item(0)->text().startsWith(QStringLiteral("clip.mp4 帧 1")));
    QVERIFY(window->windowTitle().startsWith(QStringLiteral("clip.mp4 帧 1")));
    QVERIFY(probe->statusLabel()->text().contains(QStringLiteral("clip.mp4 帧 1")));

    // Its mask goes into the masks folder, made for it; the video is never written.
    probe->view()->setMode(EditorMode::Doodle);
    VelmoraViewProbe::stroke(*probe->view(), QPointF(20, 20), QPointF(120, 90));
    {
        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
    }
    const QString mask = dir.filePath(QStringLiteral("clip_masks/000001_mask.png"));
    QCOMPARE(QImage(mask).size(), frameSize);
    QVERIFY(TestSupport::maskedPixels(QImage(mask)) > 0);
    QCOMPARE(TestSupport::contents(video), videoBytes);

    // D, A and a row of the list go to exactly their frames; the next one is read ahead.
    probe->nextAction()->trigger();
    QCOMPARE(shownNumber(), 2);
    QCOMPARE(probe->readAheadPending(), Frames::pathOf(video, 3));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(29)).center());
    QCOMPARE(shownNumber(), 30);
    probe->previousAction()->trigger();
    QCOMPARE(shownNumber(), 29);

    // Opening the video again goes to its first frame without a mask; frame 1 keeps its own.
    window->openPicture(video);
    QCOMPARE(shownNumber(), 2);
    window->openPicture(Frames::pathOf(video, 1));
    QVERIFY(TestSupport::maskedPixels(probe->view()->getDocument()->mask()) > 0);

    // Unsaved work on a frame has its recovery copy, found again for that frame only.
    VelmoraViewProbe::stroke(*probe->view(), QPointF(30, 30), QPointF(90, 30));
    QVERIFY(probe->recovery()->writeNow());
    QCOMPARE(probe->recovery()->find(Frames::pathOf(video, 1)).size(), 1);
    QVERIFY(probe->recovery()->find(Frames::pathOf(video, 3)).isEmpty());
    probe->view()->undo();

    // A file that is no video is refused calmly, and the frame shown stays.
    const QString notVideo = dir.filePath(QStringLiteral("broken.mkv"));
    QFile broken(notVideo);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    window->openPicture(notVideo);
    QVERIFY(probe->statusLabel()->text().startsWith(QStringLiteral("无法加载")));
    QCOMPARE(probe->view()->getImagePath(), Frames::pathOf(video, 1));

    // A video dropped on the window opens as a folder of its frames does.
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(video)});
    QWidget *target = probe->view()->viewport();
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &dropped, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(target->rect().center(), Qt::CopyAction, &dropped, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCOMPARE(probe->view()->getImagePath(), Frames::pathOf(video, 2));
}

void TestVideo::theCommandLineTakesVideos()
{
    QTemporaryDir dir;
    QTemporaryDir out;
    VideoMaker::Options vp9;
    vp9.codec = QStringLiteral("libvpx-vp9");
    const QString video = makeVideo(dir, QStringLiteral("clip.webm"), vp9, 12);
    QVERIFY(!video.isEmpty());
    QVERIFY(QDir().mkdir(Frames::masksFolderOf(video)));
    QImage mask(frameSize, QImage::Format_Grayscale8);
    mask.fill(0);
    for (int y = 40; y < 80; ++y)
        std::fill_n(mask.scanLine(y) + 50, 60, uchar(255));
    for (int number : {2, 5})
        QVERIFY(MaskFile::write(mask, MaskFile::pathFor(Frames::pathOf(video, number))));
    auto run = [](const QStringList &arguments, QString *output = nullptr) {
        QString outText, errText;
        QTextStream outStream(&outText), errStream(&errText);
        const int status = CommandLine::run(QStringList{QStringLiteral("velmora")} + arguments,
                                            outStream, errStream);
        if (output)
            *output = outText;
        return status;
    };

    // The frames with a mask, named as their masks are, and then all of them.
    const QString masked = out.filePath(QStringLiteral("masked"));
    QCOMPARE(run({"frames", video, "-o", masked, "--masked-only"}), 0);
    QCOMPARE(QDir(masked).entryList(QDir::Files), QStringList({"000002.png", "000005.png"}));
    QCOMPARE(VideoMaker::numberIn(QImage(masked + QStringLiteral("/000005.png"))), 5);
    const QString all = out.filePath(QStringLiteral("all"));
    QCOMPARE(run({"frames", video, "-o", all}), 0);
    QCOMPARE(QDir(all).entryList(QDir::Files).size(), 12);
    QCOMPARE(VideoMaker::numberIn(QImage(all + QStringLiteral("/000012.png"))), 12);

    // Statistics and exports take the video as a folder of those frames.
    QString csv;
    QCOMPARE(run({"stats", video}, &csv), 0);
    QVERIFY(csv.contains(QStringLiteral("\n000005.png,256,144,2400,")));
    QVERIFY(csv.contains(QStringLiteral("\n000004.png,256,144,0,")));
    const QString coco = out.filePath(QStringLiteral("coco.json"));
    QCOMPARE(run({"export", "--format", "coco", video, "-o", coco}), 0);
    const QJsonArray images =
        QJsonDocument::fromJson(TestSupport::contents(coco)).object().value("images").toArray();
    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(1).toObject().value("file_name").toString(), QStringLiteral("000005.png"));

    // Wrong uses change nothing; a file that is no video fails calmly.
    QCOMPARE(run({"frames", dir.path(), "-o", all}), 2);
    QCOMPARE(run({"frames", video}), 2);
    QCOMPARE(run({"frames", video, "-o", video}), 2);
    QCOMPARE(run({"export", "--format", "yolo", video, "-o", Frames::masksFolderOf(video)}), 2);
    const QString bad = dir.filePath(QStringLiteral("bad.mp4"));
    QFile badFile(bad);
    QVERIFY(badFile.open(QIODevice::WriteOnly));
    badFile.write("no video here");
    badFile.close();
    QCOMPARE(run({"frames", bad, "-o", out.filePath(QStringLiteral("bad"))}), 1);

#ifdef Q_OS_LINUX
    // A full disk: each frame fails on its own, named, and no half-written file is left.
    const QString full = out.filePath(QStringLiteral("full"));
    int status = 0;
    TestSupport::withFileSizeLimit(4096, [&] {
        status = run({"frames", video, "-o", full, "--masked-only"});
    });
    QCOMPARE(status, 1);
    QCOMPARE(QDir(full).entryList(QDir::Files | QDir::Hidden), QStringList());
#endif
}

void TestVideo::foldersListVideosAfterPictures()
{
    QTemporaryDir dir;
    for (const char *name : {"b.png", "a10.png", "a2.png"})
        TestSupport::makePicture(40, 30).save(dir.filePath(QString::fromUtf8(name)));
    const QString clip = makeVideo(dir, QStringLiteral("clip.mkv"), VideoMaker::Options(), 12);
    QVERIFY(!clip.isEmpty());
    QVERIFY(QFile::copy(clip, dir.filePath(QStringLiteral("Another.MP4"))));
    QStringList names;
    for (const FolderEntry &entry : PictureFolder::read(dir.path()))
        names << entry.name;
    QCOMPARE(names, QStringList({"a2.png", "a10.png", "b.png", "Another.MP4", "clip.mkv"}));

    // The masks folder lists the frames, with the masks it holds, before it exists too.
    const QString masks = Frames::masksFolderOf(clip);
    QCOMPARE(PictureFolder::read(masks).size(), 12);
    QVERIFY(QDir().mkdir(masks));
    QImage mask(frameSize, QImage::Format_Grayscale8);
    mask.fill(255);
    QVERIFY(MaskFile::write(mask, MaskFile::pathFor(Frames::pathOf(clip, 7))));
    const QVector<FolderEntry> frames = PictureFolder::read(masks);
    QCOMPARE(frames.size(), 12);
    QCOMPARE(frames.at(6).name, QStringLiteral("000007.frame"));
    for (int i = 0; i < frames.size(); ++i)
        QCOMPARE(frames.at(i).hasMask, i == 6);

    // Stepping goes from the last picture onto the first video and through the frames.
    PictureFolder folder;
    folder.setFolder(dir.path());
    QCOMPARE(folder.next(dir.filePath(QStringLiteral("b.png"))),
             dir.filePath(QStringLiteral("Another.MP4")));
    QCOMPARE(folder.previous(dir.filePath(QStringLiteral("clip.mkv"))),
             dir.filePath(QStringLiteral("Another.MP4")));
    QCOMPARE(folder.next(dir.filePath(QStringLiteral("a3.png"))),
             dir.filePath(QStringLiteral("a10.png")));
    folder.setFolder(masks);
    QCOMPARE(folder.video(), clip);
    QCOMPARE(folder.next(Frames::pathOf(clip, 11)), Frames::pathOf(clip, 12));
    QCOMPARE(folder.next(Frames::pathOf(clip, 12)), QString());
    QCOMPARE(folder.shownName(folder.entries().at(8)), QStringLiteral("clip.mkv 帧 9"));
}

void TestVideo::savingAFrameKeepsEveryGuard()
{
    QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora")).clear();
    QTemporaryDir dir;
    const QString video = makeVideo(dir, QStringLiteral("clip.mp4"), VideoMaker::Options(), 10);
    QVERIFY(!video.isEmpty());
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
    QVERIFY(showNewWindow(window, probe));
    const QString frame = Frames::pathOf(video, 4);
    const QString mask = MaskFile::pathFor(frame);
    auto paintAndSave = [&](QList<QMessageBox::StandardButton> answers) {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(20, 20), QPointF(100, 60));
        TestSupport::BoxAnswerer boxes(answers);
        probe->saveMask();
        return boxes.seen;
    };

    // A file where the masks folder should be: the save fails, says so, and changes nothing.
    QFile blocker(Frames::masksFolderOf(video));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();
    window->openPicture(frame);
    QCOMPARE(probe->view()->getImagePath(), frame);
    QList<TestSupport::SeenBox> seen = paintAndSave({QMessageBox::Yes, QMessageBox::Ok});
    QVERIFY(!QFileInfo::exists(mask));
    QCOMPARE(TestSupport::contents(blocker.fileName()), QByteArray("not a folder"));
    QVERIFY(probe->view()->isModified());
    QVERIFY(seen.size() >= 2);
    QVERIFY(!seen.last().text.contains(QStringLiteral("成功")));

    // The video replaced behind the program's back: no mask is saved for frames nobody saw.
    QVERIFY(QFile::remove(blocker.fileName()));
    probe->view()->undo();
    QVERIFY(!probe->view()->isModified());
    window->openPicture(frame);
    QTest::qWait(1100); // a new modification time
    const QString other = makeVideo(dir, QStringLiteral("other.mp4"), VideoMaker::Options(), 10);
    QVERIFY(QFile::remove(video) && QFile::rename(other, video));
    seen = paintAndSave({QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Ok});
    QVERIFY(!QFileInfo::exists(mask));
    bool told = false;
    for (const TestSupport::SeenBox &box : seen)
        told = told || box.title == QStringLiteral("图片已在磁盘上更改");
    QVERIFY(told);
}

void TestVideo::framesBetweenKeyframesAreFilled()
{
    QTemporaryDir dir;
    // A square that moves 4 pixels right a frame over a still background.
    const auto frameOf = [](int number) {
        QImage image = VideoMaker::numbered(1, frameSize);
        QPainter painter(&image);
        painter.fillRect(QRect(30 + 4 * number, 80, 40, 40), QColor(200, 40, 40));
        return image;
    };
    const QString video = dir.filePath(QStringLiteral("square.mp4"));
    VideoMaker::Options options;
    options.quality = 12;
    QVERIFY(VideoMaker::write(video, 8, frameSize, frameOf, options));
    QVERIFY(QDir().mkdir(Frames::masksFolderOf(video)));
    auto squareAt = [](int number) {
        QImage mask(frameSize, QImage::Format_Grayscale8);
        mask.fill(0);
        for (int y = 80; y < 120; ++y)
            std::fill_n(mask.scanLine(y) + 30 + 4 * number, 40, uchar(255));
        return mask;
    };
    QStringList frames;
    for (int number = 1; number <= 8; ++number)
        frames << Frames::pathOf(video, number);
    for (int number : {1, 8})
        QVERIFY(MaskFile::write(squareAt(number), MaskFile::pathFor(frames.at(number - 1))));
    QVector<bool> hasMask(8, false);
    hasMask[0] = hasMask[7] = true;
    const FillBetween::Report report = FillBetween::fill(frames, FillBetween::gapsOf(hasMask));
    QCOMPARE(report.filled.size(), 6);
    QVERIFY2(report.problems.isEmpty(), qPrintable(report.problems.join('\n')));
    for (int number = 2; number <= 7; ++number) {
        const QImage filled(MaskFile::pathFor(frames.at(number - 1)));
        QCOMPARE(filled.size(), frameSize);
        const QImage truth = squareAt(number);
        int both = 0, either = 0;
        for (int y = 0; y < frameSize.height(); ++y)
            for (int x = 0; x < frameSize.width(); ++x) {
                const bool a = qGray(filled.pixel(x, y)) > 128;
                const bool b = truth.constScanLine(y)[x] > 128;
                both += a && b;
                either += a || b;
            }
        QVERIFY2(
            both >= 0.85 * either,
            qPrintable(QStringLiteral("frame %1: %2 of %3").arg(number).arg(both).arg(either)));
    }
}

QTEST_MAIN(TestVideo)
#include "tst_video.moc"
