#ifndef VELMORA_TESTS_SCRIPTEDASKER_H
#define VELMORA_TESTS_SCRIPTEDASKER_H

// A picture's session driven without a window: questions answered from a script, messages
// recorded, work done at once.

#include "session/picturesession.h"

#include <QList>

#include <map>

namespace TestSupport {

// Answers each question by its topic (no when not given), records every message, and does
// the session's work at once.
class ScriptedAsker : public SessionAsker
{
public:
    std::map<Topic, bool> answers;
    QList<Topic> asked;
    QList<Topic> told;

    bool ask(const Message &message) override
    {
        asked << message.topic;
        const auto answer = answers.find(message.topic);
        return answer != answers.end() && answer->second;
    }
    void tell(const Message &message) override { told << message.topic; }
    void wait(const std::function<void()> &work, const QString &, const QString &) override
    {
        work();
    }
};

// Opens the picture at `path` in `session` as the window does: the disk looked at first.
inline bool openIn(PictureSession &session, const QString &path)
{
    const PictureSession::OnDisk before = PictureSession::lookBeforeReading(path);
    return session.open(path, PictureFile::readWithMask(path), before);
}

} // namespace TestSupport

#endif
