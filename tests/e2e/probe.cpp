// A small helper for the end-to-end scenario: takes screenshots of the X display and reads
// pictures, so the scenario needs no image tools of the machine's own.
//
//   velmora_probe shot OUT.png [WINDOW-ID]          the screen, or one window, into OUT.png
//   velmora_probe pixel FILE X Y                    prints "r g b a" of one pixel
//   velmora_probe info FILE                         prints "width height format"
//   velmora_probe values FILE                       prints the distinct grey values (8-bit)
//   velmora_probe picture OUT W H                   writes a test picture
//   velmora_probe count-red FILE X Y W H            counts reddish pixels in a rectangle
//   velmora_probe frame FILE                        prints "x y w h" around the pure green pixels
//   velmora_probe count-colour FILE RRGGBB          counts the pixels of exactly that colour
//   velmora_probe run FILE X Y                      prints the length of the row of non-black
//                                                   pixels through (X, Y)
//   velmora_probe close WINDOW-ID                   asks a window to close, as a window manager
//                                                   does for its close button

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QTextStream>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>

namespace {

// A WM_DELETE_WINDOW client message: the polite request a close button sends.
bool requestClose(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}

int fail(const QString &message)
{
    QTextStream(stderr) << message << '\n';
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    if (args.isEmpty())
        return fail(
            QStringLiteral("usage: velmora_probe shot|pixel|info|values|picture|count-red ..."));
    const QString command = args.at(0);

    if (command == QLatin1String("shot") && (args.size() == 2 || args.size() == 3)) {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return fail(QStringLiteral("no screen"));
        const WId window = args.size() == 3 ? WId(args.at(2).toULongLong()) : 0;
        return screen->grabWindow(window).save(args.at(1), "PNG")
                   ? 0
                   : fail(QStringLiteral("save failed"));
    }
    if (command == QLatin1String("close") && args.size() == 2)
        return requestClose(args.at(1).toULong()) ? 0 : fail(QStringLiteral("no display"));
    if (command == QLatin1String("picture") && args.size() == 4) {
        // A gradient with a little structure, so the shown picture is recognisable.
        const int w = args.at(2).toInt();
        const int h = args.at(3).toInt();
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                row[x] =
                    qRgb(40 + 150 * x / w, 90 + 100 * y / h, ((x / 40 + y / 40) % 2) ? 200 : 160);
        }
        return image.save(args.at(1)) ? 0 : fail(QStringLiteral("save failed"));
    }

    if (args.size() < 2)
        return fail(QStringLiteral("missing file"));
    const QImage image(args.at(1));
    if (image.isNull())
        return fail(QStringLiteral("cannot read ") + args.at(1));

    if (command == QLatin1String("info")) {
        out << image.width() << ' ' << image.height() << ' ' << int(image.format()) << '\n';
        return 0;
    }
    if (command == QLatin1String("pixel") && args.size() == 4) {
        const QColor c = image.pixelColor(args.at(2).toInt(), args.at(3).toInt());
        out << c.red() << ' ' << c.green() << ' ' << c.blue() << ' ' << c.alpha() << '\n';
        return 0;
    }
    if (command == QLatin1String("values")) {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        QSet<int> seen;
        for (int y = 0; y < grey.height(); ++y) {
            const uchar *row = grey.constScanLine(y);
            for (int x = 0; x < grey.width(); ++x)
                seen.insert(row[x]);
        }
        QList<int> values = seen.values();
        std::sort(values.begin(), values.end());
        for (int v : values)
            out << v << ' ';
        out << '\n';
        return 0;
    }
    if (command == QLatin1String("frame")) {
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xffffffu) == 0x00ff00u)
                    box |= QRect(x, y, 1, 1);
        if (box.isEmpty())
            return fail(QStringLiteral("no frame"));
        out << box.x() << ' ' << box.y() << ' ' << box.width() << ' ' << box.height() << '\n';
        return 0;
    }
    if (command == QLatin1String("run") && args.size() == 4) {
        const int y = args.at(3).toInt();
        int left = args.at(2).toInt();
        int right = left;
        const auto lit = [&](int x) {
            return image.rect().contains(x, y) && qGray(image.pixel(x, y)) > 0;
        };
        if (!lit(left)) {
            out << 0 << '\n';
            return 0;
        }
        while (lit(left - 1))
            --left;
        while (lit(right + 1))
            ++right;
        out << right - left + 1 << '\n';
        return 0;
    }
    if (command == QLatin1String("count-colour") && args.size() == 3) {
        const QRgb wanted = args.at(2).toUInt(nullptr, 16);
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += (image.pixel(x, y) & 0xffffffu) == wanted ? 1 : 0;
        out << count << '\n';
        return 0;
    }
    if (command == QLatin1String("count-red") && args.size() == 6) {
        const QRect area(args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(),
                         args.at(5).toInt());
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (!image.rect().contains(x, y))
                    continue;
                const QRgb c = image.pixel(x, y);
                if (qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60)
                    ++count;
            }
        }
        out << count << '\n';
        return 0;
    }
    return fail(QStringLiteral("unknown command ") + command);
}
