// What the view draws over the picture: the frame, and the tool outline with its size.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

bool near(QRgb actual, QRgb expected, int tolerance = 12)
{
    return qAbs(qRed(actual) - qRed(expected)) <= tolerance &&
           qAbs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           qAbs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// Counts pixels close to `colour` in a rectangle.
int count(const QImage &image, const QRect &area, QRgb colour, int tolerance = 12)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.rect().contains(x, y) && near(image.pixel(x, y), colour, tolerance))
                ++n;
    return n;
}

// Counts dark pixels, the size label's text.
int dark(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 90)
                ++n;
    return n;
}

constexpr QRgb white = 0xFFFFFFFFu;
constexpr QRgb pureRed = 0xFFFF0000u;
constexpr QRgb darkCyan = 0xFF008080u;
constexpr QRgb green = 0xFF00FF00u;

} // namespace

class TestOverlay : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        view.reset();
        document.reset(new MaskDocument);
        view.reset(new VelmoraView(document.get()));
        view->resize(402, 302);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void moveModeWithoutPictureDrawsNothing()
    {
        pointAt(QPoint(200, 150));
        const QImage shot = grab();
        QCOMPARE(count(shot, shot.rect(), white, 0), shot.width() * shot.height());
    }

    void frameSurroundsThePictureOnePixelWideAtEveryZoom()
    {
        // A white picture, so the frame is the only colour.
        QTemporaryDir dir;
        QVERIFY(loadWhitePicture(dir));
        pointAt(QPoint(200, 150));

        for (int step = 0; step < 2; ++step) {
            const QImage shot = grab();
            const QRect frame = view->mapFromScene(QRectF(0, 0, 100, 60)).boundingRect();
            const int midY = frame.center().y();
            // Exactly one green column crosses the middle row near the left edge.
            int greens = 0;
            for (int x = frame.left() - 3; x <= frame.left() + 3; ++x)
                greens += near(shot.pixel(x, midY), green, 30) ? 1 : 0;
            QCOMPARE(greens, 1);
            QVERIFY(count(shot,
                          QRect(frame.left() + 3, frame.top() + 3, frame.width() - 6,
                                frame.height() - 6),
                          green, 30) == 0);
            QVERIFY(count(shot, shot.rect(), pureRed, 60) == 0); // Move: no circle
            view->scale(1.15, 1.15);
        }
    }

    void doodleCircleFollowsThePointer()
    {
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(40);
        pointAt(QPoint(200, 150));
        const QImage shot = grab();
        // Radius 20: the outline is red, the inside a faint red fill (alpha 50 over white).
        QVERIFY2(near(shot.pixel(200, 150), qRgb(255, 205, 205)),
                 qPrintable(describe(shot.pixel(200, 150))));
        QVERIFY(count(shot, QRect(219, 148, 3, 5), pureRed, 40) > 0);
        QVERIFY(count(shot, QRect(179, 148, 3, 5), pureRed, 40) > 0);
        QVERIFY(near(shot.pixel(226, 150), white, 0));
        QVERIFY(near(shot.pixel(200, 124), white, 0));
        // The size label sits centred 5 to 25 pixels below the circle.
        QVERIFY(dark(shot, QRect(180, 175, 40, 20)) > 10);
        QCOMPARE(dark(shot, QRect(150, 100, 100, 28)), 0);
        QCOMPARE(dark(shot, QRect(0, 0, 402, 100)), 0);
    }

    void eraserCircleIsCyanAndDotted()
    {
        view->setMode(EditorMode::Eraser); // size 30: radius 15
        pointAt(QPoint(150, 120));
        const QImage shot = grab();
        QVERIFY2(near(shot.pixel(150, 120), qRgb(205, 255, 255)),
                 qPrintable(describe(shot.pixel(150, 120))));
        // A dotted outline: along the circle some pixels are dark cyan, some are not.
        int onOutline = 0;
        int gaps = 0;
        for (int a = 0; a < 360; a += 3) {
            const int x = qRound(150 + 15 * qCos(qDegreesToRadians(qreal(a))));
            const int y = qRound(120 + 15 * qSin(qDegreesToRadians(qreal(a))));
            if (near(shot.pixel(x, y), darkCyan, 50))
                ++onOutline;
            else
                ++gaps;
        }
        QVERIFY(onOutline > 10);
        QVERIFY(gaps > 10);
        QVERIFY(near(shot.pixel(150, 140), white, 0));
        QVERIFY(dark(shot, QRect(130, 140, 40, 20)) > 10);
    }

    void circleGrowsWithTheZoom()
    {
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(40);
        view->scale(1.15, 1.15); // radius 23
        pointAt(QPoint(200, 150));
        const QImage shot = grab();
        QVERIFY(count(shot, QRect(222, 148, 3, 5), pureRed, 40) > 0);
        QVERIFY(near(shot.pixel(219, 150), qRgb(255, 205, 205)));
        QVERIFY(near(shot.pixel(228, 150), white, 0));
    }

    void circleIsParkedWhenThePointerLeaves()
    {
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(40); // radius 20: parked centre (40, 40), fill alpha 30
        pointAt(QPoint(200, 150));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view.get(), &leave);
        const QImage shot = grab();
        QVERIFY2(near(shot.pixel(40, 40), qRgb(255, 225, 225)),
                 qPrintable(describe(shot.pixel(40, 40))));
        QVERIFY(count(shot, QRect(59, 38, 3, 5), pureRed, 40) > 0);
        QVERIFY(near(shot.pixel(200, 150), white, 0));
        QVERIFY(dark(shot, QRect(20, 65, 40, 20)) > 10);
    }

    void sizeChangeShowsAtOnce()
    {
        view->setMode(EditorMode::Doodle);
        pointAt(QPoint(200, 150));
        view->setBrushSize(80); // radius 40
        const QImage shot = grab();
        QVERIFY(count(shot, QRect(239, 148, 3, 5), pureRed, 40) > 0);
        view->setEraserSize(100); // not in use: no change
        QCOMPARE(grab(), shot);
    }

    // The mask's colour and the saved-result view change the screen, never the saved mask.
    void maskColourAndSavedResultChangeOnlyTheScreen_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("asSaved");
        QTest::newRow("red") << QColor(255, 0, 0) << false;
        QTest::newRow("green") << QColor(0, 255, 0) << false;
        QTest::newRow("blue, as saved") << QColor(0, 0, 255) << true;
        QTest::newRow("red, as saved") << QColor(255, 0, 0) << true;
    }
    void maskColourAndSavedResultChangeOnlyTheScreen()
    {
        QFETCH(QColor, colour);
        QFETCH(bool, asSaved);
        QTemporaryDir dir;
        QVERIFY(loadWhitePicture(dir));
        view->setMaskOpacity(100);
        // An opaque block, a pixel as faint as a brush rim's edge, and one half covered.
        QImage &mask = VelmoraViewProbe::mutableMask(*view);
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 30; ++x)
                mask.setPixel(x, y, pureRed);
        for (int y = 18; y < 22; ++y) {
            for (int x = 48; x < 52; ++x) {
                mask.setPixel(x, y, qPremultiply(qRgba(255, 0, 0, 1)));
                mask.setPixel(x + 10, y, qPremultiply(qRgba(255, 0, 0, 128)));
            }
        }
        const QImage saved = view->exportMask();

        view->setMaskColour(colour);
        view->setShownAsSaved(asSaved);
        const QImage shot = grab();
        // The screen pixel at the middle of a 4-pixel square, or of a block, is covered by it.
        const auto at = [&](int x, int y) {
            return shot.pixel(view->mapFromScene(QPointF(x, y)));
        };
        QVERIFY2(near(at(20, 20), colour.rgb(), 0), qPrintable(describe(at(20, 20))));
        QVERIFY(near(at(40, 40), white, 0));
        // As saved, every pixel the file holds as 255 is drawn at full colour.
        QVERIFY2(near(at(50, 20), asSaved ? colour.rgb() : white, asSaved ? 0 : 2),
                 qPrintable(describe(at(50, 20))));
        QCOMPARE(near(at(60, 20), colour.rgb(), 0), asSaved);
        QCOMPARE(view->exportMask(), saved);
        view->setMaskColour(QColor(255, 0, 0));
        view->setShownAsSaved(false);
    }

private:
    // A white 100 x 60 picture, so whatever is drawn over it is the only colour.
    bool loadWhitePicture(const QTemporaryDir &dir)
    {
        const QString path = dir.filePath(QStringLiteral("white.png"));
        QImage picture(100, 60, QImage::Format_RGB32);
        picture.fill(Qt::white);
        return picture.save(path) && view->loadImage(path);
    }
    void pointAt(QPoint p)
    {
        QMouseEvent move(QEvent::MouseMove, p, view->viewport()->mapToGlobal(p), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    }
    QImage grab()
    {
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestOverlay)
#include "tst_overlay.moc"
