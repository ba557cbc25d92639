#ifndef VELMORA_MAINWINDOW_PROGRESS_H
#define VELMORA_MAINWINDOW_PROGRESS_H

#include <QFuture>
#include <QString>

class QWidget;

// Waits for `work` while the window keeps drawing. When it takes longer than about a second a
// progress dialog shows `label`, with 取消 when `cancellable`. Meanwhile no click, key or drop
// reaches `window`, so nothing changes under the work. Returns false when the user
// cancelled; the work then runs to its end unheeded.
bool waitShowingProgress(const QFuture<void> &work, QWidget *window, const QString &title,
                         const QString &label, bool cancellable);

#endif
