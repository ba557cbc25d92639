#include "mainwindow/progress.h"

#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QWidget>

namespace {

// Holds back input meant for one window: clicks, keys, wheels, drops and its shortcuts.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget *window) : window(window) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Shortcut:
            return qobject_cast<QAction *>(watched) ? ownsAction(watched) : isInWindow(watched);
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::DragEnter:
        case QEvent::Drop:
            return isInWindow(watched);
        default:
            return false;
        }
    }

private:
    // An action belongs to the window when the window is among its owners: menus of the menu
    // bar are owned by the bar, the bar by the window.
    bool ownsAction(QObject *action) const
    {
        for (QObject *owner = action->parent(); owner; owner = owner->parent()) {
            if (owner == window)
                return true;
        }
        return false;
    }

    bool isInWindow(QObject *object) const
    {
        auto *widget = qobject_cast<QWidget *>(object);
        return widget && widget->window() == window;
    }

    QWidget *window;
};

} // namespace

bool waitShowingProgress(const QFuture<void> &work, QWidget *window, const QString &title,
                         const QString &label, bool cancellable)
{
    if (work.isFinished())
        return true;
    InputBlocker blocker(window);
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    // A range of 0 to 0 is a busy bar: decoders and encoders don't tell how far they are.
    QProgressDialog progress(label, cancellable ? MainWindow::tr("取消") : QString(), 0, 0, window);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(1000);
    bool cancelled = false;
    if (cancellable) {
        const auto cancel = [&] {
            cancelled = true;
            loop.quit();
        };
        // The button, or Esc.
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, cancel);
        QObject::connect(&progress, &QDialog::rejected, &loop, cancel);
    }
    watcher.setFuture(work);
    progress.setValue(0);
    if (!work.isFinished())
        loop.exec();
    return !cancelled;
}
