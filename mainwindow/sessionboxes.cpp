#include "mainwindow/sessionboxes.h"

#include "mainwindow/busycursor.h"
#include "mainwindow/progress.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QtConcurrent>

using Topic = SessionAsker::Topic;

// Every question is about losing something: 取消 is the default, so a hasty Enter keeps it.
bool SessionBoxes::ask(const Message &message)
{
    QMessageBox::StandardButton yes = QMessageBox::Yes;
    if (message.topic == Topic::PictureChanged)
        yes = QMessageBox::Save;
    else if (message.topic == Topic::OpenBig)
        yes = QMessageBox::Open;
    QMessageBox box(QMessageBox::Warning, message.title, message.text, yes | QMessageBox::Cancel,
                    parent);
    box.button(yes)->setText(message.yesText);
    box.button(QMessageBox::Cancel)->setText(QCoreApplication::translate("MainWindow", "取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == yes;
}

void SessionBoxes::tell(const Message &message)
{
    if (message.topic == Topic::ListClassesAdded)
        QMessageBox::information(parent, message.title, message.text);
    else if (message.topic == Topic::TooBig)
        QMessageBox::warning(parent, message.title, message.text);
    else
        QMessageBox::critical(parent, message.title, message.text);
}

void SessionBoxes::wait(const std::function<void()> &work, const QString &title,
                        const QString &label)
{
    BusyCursor cursor;
    const bool wasBusy = busy;
    busy = true;
    waitShowingProgress(QtConcurrent::run(work), parent, title, label, false);
    busy = wasBusy;
}
