#pragma once

#include "split/split_list.h"
#include "split/split_worker.h"
#include "state/open_source.h"

#include <set>
#include <string>
#include <vector>

enum class PartDecision {
    Write,  // write the part
    Ask,    // the file exists: the user decides between Write and Skip
    Skip,   // not written (unchecked, or an existing file kept)
    Refuse, // never written: the name is unusable, names the source, or repeats an earlier part
};

// What happens to existing files that are not the source.
enum class OverwritePolicy { Ask, Overwrite, Keep };

struct PlannedPart {
    std::string Path; // empty for an unchecked row
    PartDecision Decision = PartDecision::Skip;
    std::string Reason;  // the line to show for Refuse and Skip; empty otherwise
    bool Exists = false; // a file had the name when planned: written, the part replaces it
};

// One planned part per list row, in row order.
using PartPlan = std::vector<PlannedPart>;

struct PlanRequest {
    std::string NameTemplate;
    std::string TargetFolder;
    std::string SourcePath;
    OverwritePolicy Overwrite = OverwritePolicy::Ask;
    // A run over several sources: no part may take the name of one of them, nor
    // of a part planned for an earlier one.
    std::vector<std::string> OtherSources = {};
    std::set<std::string> EarlierParts = {};
};

// Names every checked row the way Save does (the sequence number follows the
// template's "$N") and decides its fate. Reads the file system only to see
// which files exist.
PartPlan PlanParts(const SplitList& list, const PlanRequest& request);

// Parts the plan will write.
std::int32_t PartsToWrite(const PartPlan& plan);

// After a run that wrote every part of the plan: its rows are kept.
void MarkWrittenKept(SplitList& list, const PartPlan& plan);

// The job for the rows the plan writes, over the source as it was opened,
// with the format derived there. A frame count of 0 (the source was not
// walked) is left to the worker, which counts the frames in its own walk, so
// the source is read once.
SplitJob BuildSplitJob(const SourceSession& source, bool saveFrameOption, const SplitList& list,
                       const PartPlan& plan);
