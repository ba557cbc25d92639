#include "document/history.h"

void History::push(std::unique_ptr<MaskEdit> step)
{
    steps.erase(steps.begin() + current, steps.end());
    // A saved state among the dropped steps is gone.
    if (clean > current)
        clean = -1;
    steps.push_back(std::move(step));
    ++current;
    const int over = count() - limit;
    if (over > 0) {
        steps.erase(steps.begin(), steps.begin() + over);
        current -= over;
        if (clean >= 0)
            clean = clean < over ? -1 : clean - over;
    }
}

void History::undo()
{
    if (current == 0)
        return;
    --current;
    steps.at(size_t(current))->undo();
}

void History::redo()
{
    if (!canRedo())
        return;
    steps.at(size_t(current))->redo();
    ++current;
}

void History::clear()
{
    steps.clear();
    current = 0;
    clean = 0;
}
