#pragma once

#include "split/split_list.h"

#include <cstddef>
#include <string>
#include <vector>

// Undo and redo for the split list: each step keeps the whole list as it was
// on the other side of the step (at most 999 rows, so a snapshot is cheap),
// under the name the menu shows ("Remove All").
class EditHistory {
public:
    static constexpr std::size_t MaxSteps = 100;

    // A step was taken from before; the redo side is dropped.
    void Record(std::string name, SplitList before);
    void Clear();

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // The step Undo / Redo would take back or again; empty when none.
    std::string UndoName() const;
    std::string RedoName() const;

    // Swap list with the snapshot of the last step taken / taken back; false when none.
    bool Undo(SplitList& list);
    bool Redo(SplitList& list);

private:
    struct Step {
        std::string Name;
        SplitList Other;
    };
    static bool Swap(std::vector<Step>& from, std::vector<Step>& to, SplitList& list);

    std::vector<Step> undo_;
    std::vector<Step> redo_;
};
