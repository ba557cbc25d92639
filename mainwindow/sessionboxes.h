#ifndef VELMORA_MAINWINDOW_SESSIONBOXES_H
#define VELMORA_MAINWINDOW_SESSIONBOXES_H

#include "session/picturesession.h"

class QWidget;

// The window's answers to a picture's session: its questions and notices as message boxes
// over `parent`, its work on a worker while the window keeps drawing, with `busy` set
// meanwhile (the watch on the mask file must not take the session's own write for another
// program's, and the window does not close under it).
class SessionBoxes : public SessionAsker
{
public:
    SessionBoxes(QWidget *parent, bool &busy) : parent(parent), busy(busy) {}
    virtual ~SessionBoxes() = default;

    bool ask(const Message &message) override;
    void tell(const Message &message) override;
    void wait(const std::function<void()> &work, const QString &title,
              const QString &label) override;

private:
    QWidget *parent;
    bool &busy;
};

#endif
