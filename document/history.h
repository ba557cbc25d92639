#ifndef VELMORA_DOCUMENT_HISTORY_H
#define VELMORA_DOCUMENT_HISTORY_H

#include "document/maskedit.h"

#include <memory>
#include <vector>

// The steps of a mask's history, the latest `limit` of them, with the place of the current
// state among them and of the saved one. A step is made by its caller before it is pushed;
// undo and redo swap its tiles back and forth.
class History
{
public:
    explicit History(int limit) : limit(limit) {}

    int count() const { return int(steps.size()); }
    // The steps before it are applied, those from it on undone.
    int index() const { return current; }
    // Where the saved state is; -1 once it can no longer be reached.
    int cleanIndex() const { return clean; }
    MaskEdit *step(int i) const { return steps.at(size_t(i)).get(); }
    bool canRedo() const { return current < count(); }

    // Drops the steps that could have been redone and, past the limit, the oldest.
    void push(std::unique_ptr<MaskEdit> step);
    void undo();
    void redo();
    // No steps, and the state now is the saved one.
    void clear();
    void setClean() { clean = current; }

private:
    const int limit;
    std::vector<std::unique_ptr<MaskEdit>> steps;
    int current = 0;
    int clean = 0;
};

#endif
