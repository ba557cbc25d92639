#ifndef VELMORA_TESTS_TESTSUPPORT_H
#define VELMORA_TESTS_TESTSUPPORT_H

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QtEndian>

#include <functional>

#ifdef Q_OS_LINUX
#include <csignal>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace TestSupport {

// A message box seen by a timer answer: its title, text and buttons.
struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttonTexts; // in the box's order
    QString defaultButton;   // its text
    QString escapeButton;    // its text
};

// Answers the modal message boxes that open from now on, one answer each, in order, and
// records what each box showed. Boxes beyond the answers are closed with Escape's answer.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> answers) : pending(std::move(answers))
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }
    QList<SeenBox> seen;
    // Runs while each box is open, before it is answered.
    std::function<void()> whileOpen;

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == last)
            return;
        last = box;
        SeenBox shown{
            box->windowTitle(), box->text(), box->standardButtons(), box->icon(), {}, {}, {}};
        for (QAbstractButton *button : box->buttons())
            shown.buttonTexts << button->text();
        if (box->defaultButton())
            shown.defaultButton = box->defaultButton()->text();
        if (box->escapeButton())
            shown.escapeButton = box->escapeButton()->text();
        seen.append(shown);
        if (whileOpen)
            whileOpen();
        const QMessageBox::StandardButton answer =
            pending.isEmpty() ? QMessageBox::NoButton : pending.takeFirst();
        // An answer the box does not offer closes it as Escape would; the test sees why.
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    }
    QList<QMessageBox::StandardButton> pending;
    QPointer<QMessageBox> last;
    QTimer timer;
};

// Set when an answered file dialog found the wait cursor showing.
inline bool &waitCursorSeenInDialog()
{
    static bool seen = false;
    return seen;
}

// Chooses `path` in the next open-file dialog, or cancels it when `path` is empty.
// `seenDirectory` receives the folder the dialog started in.
inline void answerFileDialog(const QString &path, QString *seenDirectory = nullptr,
                             QString *seenCaption = nullptr, QStringList *seenFilters = nullptr)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        // No event loop may be left to delete the timer soon, so it stops right away.
        timer->stop();
        if (seenDirectory)
            *seenDirectory = dialog->directory().absolutePath();
        if (seenCaption)
            *seenCaption = dialog->windowTitle();
        if (seenFilters)
            *seenFilters = dialog->nameFilters();
        if (QApplication::overrideCursor())
            waitCursorSeenInDialog() = true;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as a person would: selectFile() leaves a focused name field alone.
            if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            else
                dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        }
        timer->deleteLater();
    });
    timer->start();
}

// The bytes of the file at `path`; empty when it can't be read.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Delivers a mouse event to `target` as the window system would hand it over.
inline void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, QPoint pos,
                      Qt::MouseButtons held, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, modifiers);
    QApplication::sendEvent(target, &event);
}

// The alpha of every pixel (of a 32-bit image, or of the one-byte mask layer), as an 8-bit
// image: what decides whether a pixel is in the mask.
inline QImage alphaOf(const QImage &layer)
{
    QImage alpha(layer.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < layer.height(); ++y) {
        uchar *out = alpha.scanLine(y);
        for (int x = 0; x < layer.width(); ++x)
            out[x] =
                layer.depth() == 8 ? layer.constScanLine(y)[x] : uchar(qAlpha(layer.pixel(x, y)));
    }
    return alpha;
}

// A picture with some texture, so a shown picture differs from an empty view.
inline QImage makePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 7) & 0xff, (y * 5) & 0xff, 0x40);
    }
    return image;
}

// Counts the mask layer's pixels above 0.
inline int maskedPixels(const QImage &mask)
{
    int count = 0;
    const QImage alpha = alphaOf(mask);
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar *row = alpha.constScanLine(y);
        for (int x = 0; x < alpha.width(); ++x)
            count += row[x] > 0 ? 1 : 0;
    }
    return count;
}

inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : body) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += body;
    QByteArray tail(4, '\0');
    qToBigEndian(crc ^ 0xFFFFFFFFu, tail.data());
    return chunk + tail;
}

// A 1-bit grey PNG whose header announces `size`, followed by only a few rows of pixels.
inline QByteArray pngAnnouncing(QSize size)
{
    QByteArray header(13, '\0');
    qToBigEndian(quint32(size.width()), header.data());
    qToBigEndian(quint32(size.height()), header.data() + 4);
    header[8] = 1; // bit depth; colour type 0 (grey), no interlace
    const QByteArray rows = qCompress(QByteArray(4 * (1 + (size.width() + 7) / 8), '\0'));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", rows.mid(4)) + pngChunk("IEND", QByteArray());
}

#ifdef Q_OS_LINUX
// Runs `step` with the address space capped at what the process holds now plus `room`
// bytes, so a big allocation inside it fails as it would when memory runs out.
template <typename Step> void withMemoryLeft(qint64 room, Step step)
{
    // Memory freed earlier and still held by the allocator would serve allocations beyond
    // the room without asking the system; it is given back first.
    malloc_trim(0);
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    long pages = 0;
    if (FILE *statm = fopen("/proc/self/statm", "r")) {
        if (fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        fclose(statm);
    }
    rlimit tight = old;
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + rlim_t(room);
    setrlimit(RLIMIT_AS, &tight);
    step();
    setrlimit(RLIMIT_AS, &old);
}

// Runs `step` as on a disk that is full after `bytes` bytes of any file: writes beyond fail
// with EFBIG instead of killing the process.
template <typename Step> void withFileSizeLimit(qint64 bytes, Step step)
{
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &tight);
    step();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

// Runs `step` with the file permissions of an ordinary user: when the tests run as root, who
// passes every permission check, as the user nobody for its length (the effective user of
// every thread). Returns false, without running it, when that can't be had.
template <typename Step> bool asOrdinaryUser(Step step)
{
    if (::geteuid() != 0) {
        step();
        return true;
    }
    constexpr uid_t nobody = 65534;
    if (::seteuid(nobody) != 0)
        return false;
    step();
    return ::seteuid(0) == 0;
}

// Ends the test process when it is still inside this scope after `seconds`: a read that
// blocks forever fails the test instead of stalling it until CTest's timeout.
class FailIfStuck
{
public:
    explicit FailIfStuck(unsigned seconds) { alarm(seconds); }
    ~FailIfStuck() { alarm(0); }
    FailIfStuck(const FailIfStuck &) = delete;
    FailIfStuck &operator=(const FailIfStuck &) = delete;
};
#endif

} // namespace TestSupport

#endif
