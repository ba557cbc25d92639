#ifndef VELMORA_TESTS_TESTSUPPORT_H
#define VELMORA_TESTS_TESTSUPPORT_H

#include "testfiles.h"

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

#include <functional>

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

// Delivers a mouse event to `target` as the window system would hand it over.
inline void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, QPoint pos,
                      Qt::MouseButtons held, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, modifiers);
    QApplication::sendEvent(target, &event);
}

} // namespace TestSupport

#endif
