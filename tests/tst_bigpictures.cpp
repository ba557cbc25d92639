// Pictures wider than the raster engine's reach (about 32,767 pixels): strokes, dabs and
// lassos land where they are drawn, on screen and in the saved mask, and the view reaches
// the picture's far edge.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include "editor/velmoraview.h"

#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Paints like the view: a disc at the press, then round-capped lines, antialiased, in the
// coordinates of `area`, so the reference never leaves the engine's reach.
QImage referenceIn(const QRect &area, const QVector<QPointF> &points, int width,
                   const QPolygonF &lasso)
{
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(-area.topLeft());
    const QColor red(255, 0, 0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(red);
    painter.drawEllipse(points.first(), width / 2.0, width / 2.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(red, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int i = 1; i < points.size(); ++i)
        painter.drawLine(QLineF(points.at(i - 1), points.at(i)));
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addPolygon(lasso);
    path.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(red);
    painter.drawPath(path);
    return layer;
}

QString savedPicture(const QTemporaryDir &dir, QSize size)
{
    const QString path = dir.filePath(QStringLiteral("wide%1.png").arg(size.width()));
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(qRgb(40, 90, 40));
    return picture.save(path) ? path : QString();
}

} // namespace

class TestBigPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void init()
    {
        view.reset();
        document.reset(new MaskDocument);
        view.reset(new VelmoraView(document.get()));
        view->resize(600, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void paintingLandsBeyondTheEnginesReach()
    {
        QVERIFY(view->loadImage(savedPicture(dir, QSize(40000, 120))));
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(9);
        const QVector<QPointF> stroke{{33500.3, 20.5}, {33620.7, 90.2}, {36001.1, 60.4}};
        VelmoraViewProbe::stroke(*view, stroke);
        const QPolygonF lasso({{39000.5, 10}, {39900, 30.5}, {39500.2, 110}});
        VelmoraViewProbe::lasso(*view, lasso);

        const QRect area(33000, 0, 7000, 120);
        const QImage expected = referenceIn(area, stroke, 9, lasso);
        const QImage mask = VelmoraViewProbe::mask(*view);
        QCOMPARE(TestSupport::alphaOf(mask.copy(area)), TestSupport::alphaOf(expected));
        QCOMPARE(TestSupport::maskedPixels(mask.copy(0, 0, 33000, 120)), 0);
        const QImage saved = view->exportMask();
        QCOMPARE(saved.pixel(33500, 20) & 0xff, 255u);
        QCOMPARE(saved.pixel(39500, 60) & 0xff, 255u);
        QCOMPARE(saved.pixel(37000, 20) & 0xff, 0u);

        // On screen, at one picture pixel per screen pixel, over the far stroke.
        view->resetZoom();
        view->centerOn(36001, 60);
        const QImage shown = view->viewport()->grab().toImage();
        const QColor onStroke = shown.pixelColor(view->mapFromScene(QPointF(36001, 60)));
        const QColor beside = shown.pixelColor(view->mapFromScene(QPointF(36001, 10)));
        QVERIFY2(onStroke.red() > beside.red() + 60,
                 qPrintable(QStringLiteral("%1 %2").arg(onStroke.name(), beside.name())));
    }

    // Fitting shows the whole picture; at one to one the scroll bar reaches its right edge.
    void theViewReachesTheFarEdge()
    {
        QVERIFY(view->loadImage(savedPicture(dir, QSize(60000, 100))));
        view->fitToWindow();
        const QRect port = view->viewport()->rect();
        QVERIFY(port.contains(view->mapFromScene(QPointF(59999, 50))));
        QVERIFY(port.contains(view->mapFromScene(QPointF(0, 50))));
        view->resetZoom();
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
        QVERIFY(view->mapToScene(port.topRight()).x() > 60000);
    }

    // Without reduced copies (still being made, or no memory for them) a zoomed-out view
    // samples the full-size picture and mask, in memory that follows the screen, and shows
    // them right to the far edge.
    void aViewWithoutReducedCopiesShowsTheFarEdge()
    {
        QImage picture(40000, 300, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
            std::fill_n(row, 36000, qRgb(0, 160, 0));
            std::fill_n(row + 36000, 4000, qRgb(0, 0, 200));
        }
        const QString path = dir.filePath(QStringLiteral("halves.png"));
        QVERIFY(picture.save(path));
        QVERIFY(view->loadImage(path));
        QVERIFY(VelmoraViewProbe::waitForReducedPicture(*view));
        QImage gray(picture.size(), QImage::Format_Grayscale8);
        gray.fill(255);
        for (int y = 0; y < gray.height(); ++y)
            std::fill_n(gray.scanLine(y) + 36000, 2000, 0);
        QVERIFY(view->applyMask(gray));
        view->setMaskOpacity(100);
        VelmoraViewProbe::dropReducedCopies(*view);
        view->fitToWindow();
        QImage shown;
#ifdef Q_OS_LINUX
        TestSupport::withMemoryLeft(8 << 20, [&] { shown = view->viewport()->grab().toImage(); });
#else
        shown = view->viewport()->grab().toImage();
#endif
        const auto colourAt = [&](qreal x) {
            return shown.pixelColor(view->mapFromScene(QPointF(x, 150))).name();
        };
        QCOMPARE(colourAt(20000), QStringLiteral("#ff0000"));
        QCOMPARE(colourAt(37000), QStringLiteral("#0000c8"));
        QCOMPARE(colourAt(39000), QStringLiteral("#ff0000"));
    }

    // The wand's preview on a picture of more than 2 megapixels works on a reduced copy,
    // and shows and takes the region where it lies, far beyond x 32,767.
    void theWandPreviewsAndTakesARegionFarRight()
    {
        QImage picture(40000, 120, QImage::Format_RGB32);
        picture.fill(qRgb(40, 90, 40));
        const QRect patch(36000, 20, 1000, 80);
        for (int y = patch.top(); y <= patch.bottom(); ++y) // no painter reaches that far
            std::fill_n(reinterpret_cast<QRgb *>(picture.scanLine(y)) + patch.left(), patch.width(),
                        qRgb(30, 30, 200));
        const QString path = dir.filePath(QStringLiteral("wand.png"));
        QVERIFY(picture.save(path));
        QVERIFY(view->loadImage(path));
        QVERIFY(VelmoraViewProbe::waitForReducedPicture(*view));
        view->resetZoom();
        view->centerOn(36500, 60);
        view->setMode(EditorMode::Doodle);
        const QPoint at = view->mapFromScene(QPointF(36500.5, 60.5));
        QWidget *port = view->viewport();
        TestSupport::sendMouse(port, QEvent::MouseButtonPress, Qt::LeftButton, at, Qt::LeftButton,
                               Qt::ControlModifier);
        QCOMPARE(VelmoraViewProbe::wandPreviewArea(*view), patch);
        TestSupport::sendMouse(port, QEvent::MouseButtonRelease, Qt::LeftButton, at, Qt::NoButton,
                               Qt::ControlModifier);
        QTRY_VERIFY(!view->isWorking());
        const QImage mask = VelmoraViewProbe::mask(*view);
        QCOMPARE(TestSupport::maskedPixels(mask), patch.width() * patch.height());
        QCOMPARE(TestSupport::maskedPixels(mask.copy(patch)), patch.width() * patch.height());
    }

    // Opening a picture with its mask, 21 strokes, 21 undos and a save fit in 8 bytes a
    // picture pixel beyond what the process held before: the picture at 4, the one-byte
    // mask, the reduced copies of both and the saved file's 8-bit image.
    void aSessionFitsInEightBytesAPixel()
    {
#ifndef Q_OS_LINUX
        QSKIP("The address-space limit is set with setrlimit, which this system lacks.");
#else
        const QSize size(4000, 3000);
        const QString path = dir.filePath(QStringLiteral("session.png"));
        QVERIFY(TestSupport::makePicture(size.width(), size.height()).save(path));
        QImage maskFile(size, QImage::Format_Grayscale8);
        maskFile.fill(0);
        maskFile.scanLine(1500)[2000] = 255;
        QVERIFY(maskFile.save(MaskFile::pathFor(path)));
        // Threads the view uses are started before the limit, as a running program has them.
        QVERIFY(view->loadImage(savedPicture(dir, QSize(300, 200))));
        QVERIFY(VelmoraViewProbe::waitForReducedPicture(*view));

        bool opened = false;
        bool reduced = false;
        MaskFile::StoreOutcome saved = MaskFile::StoreOutcome::WriteFailed;
        TestSupport::withMemoryLeft(8 * qint64(size.width()) * size.height(), [&] {
            opened = view->loadImage(path);
            reduced = VelmoraViewProbe::waitForReducedPicture(*view);
            view->setMode(EditorMode::Doodle);
            view->setBrushSize(30);
            for (int i = 0; i < 21; ++i)
                VelmoraViewProbe::stroke(*view, QPointF(100 + 150 * i, 100), QPointF(2000, 2900));
            for (int i = 0; i < 21; ++i)
                view->undo();
            saved = MaskFile::store(view->exportMask(), MaskFile::pathFor(path));
        });
        QVERIFY(opened);
        QVERIFY(reduced);
        QCOMPARE(saved, MaskFile::StoreOutcome::Written);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        QCOMPARE(TestSupport::maskedPixels(MaskFile::readLayer(MaskFile::pathFor(path), size)), 1);
#endif
    }

    // The promise of the README: a 900-megapixel picture is opened, painted and saved by the
    // real window under an 8 GiB address-space limit. 图片太大 compares the estimate plus an
    // eighth with what is left, so a window that starts with threads and heaps it does not
    // need would refuse it.
    void nineHundredMegapixelsUnderEightGiB()
    {
#ifndef Q_OS_LINUX
        QSKIP("The address-space limit is set with prlimit, which this system lacks.");
#else
        view.reset(); // its memory is the test's, not the program's
        const QSize size(30000, 30000);
        const QString path = dir.filePath(QStringLiteral("scan900.jpg"));
        {
            QImage grey(size, QImage::Format_Grayscale8);
            QVERIFY(!grey.isNull());
            for (int y = 0; y < size.height(); ++y) {
                uchar *row = grey.scanLine(y);
                for (int x = 0; x < size.width(); ++x)
                    row[x] = uchar((x / 7 + y / 5) & 0xff);
            }
            QVERIFY(grey.save(path, "JPEG", 80));
        }
        QProcess session;
        session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        session.start(QStringLiteral("prlimit"),
                      {QStringLiteral("--as=8589934592"), QStringLiteral("--"),
                       QStringLiteral(VELMORA_BIGSESSION), path});
        QVERIFY(session.waitForFinished(280'000));
        const QByteArray said = session.readAllStandardOutput();
        QVERIFY2(session.exitCode() == 0 && said.contains("saved"), said.constData());
        const QImage saved(MaskFile::pathFor(path));
        QCOMPARE(saved.size(), size);
        QVERIFY(qGray(saved.pixel(150, 45)) > 128);
        QVERIFY(qGray(saved.pixel(size.width() - 150, size.height() - 45)) > 128);
        QVERIFY(qGray(saved.pixel(15000, 15000)) <= 128);
        QFile::remove(path);
        QFile::remove(MaskFile::pathFor(path));
#endif
    }

private:
    QTemporaryDir dir;
    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestBigPictures)
#include "tst_bigpictures.moc"
