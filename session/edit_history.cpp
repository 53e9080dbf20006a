#include "session/edit_history.h"

#include <utility>

void EditHistory::Record(std::string name, SplitList before) {
    redo_.clear();
    if (undo_.size() == MaxSteps)
        undo_.erase(undo_.begin());
    undo_.push_back({std::move(name), std::move(before)});
}

void EditHistory::Clear() {
    undo_.clear();
    redo_.clear();
}

std::string EditHistory::UndoName() const {
    return undo_.empty() ? std::string() : undo_.back().Name;
}

std::string EditHistory::RedoName() const {
    return redo_.empty() ? std::string() : redo_.back().Name;
}

bool EditHistory::Undo(SplitList& list) {
    return Swap(undo_, redo_, list);
}

bool EditHistory::Redo(SplitList& list) {
    return Swap(redo_, undo_, list);
}

// The list and the step's snapshot change places, so the step moves to the
// other side holding the list it leaves.
bool EditHistory::Swap(std::vector<Step>& from, std::vector<Step>& to, SplitList& list) {
    if (from.empty())
        return false;
    Step step = std::move(from.back());
    from.pop_back();
    std::swap(step.Other, list);
    to.push_back(std::move(step));
    return true;
}
