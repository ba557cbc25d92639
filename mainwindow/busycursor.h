#ifndef VELMORA_MAINWINDOW_BUSYCURSOR_H
#define VELMORA_MAINWINDOW_BUSYCURSOR_H

#include <QApplication>

// The wait cursor while the program works for long (decoding or encoding a big picture).
// Never held while a dialog waits for an answer.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

#endif
