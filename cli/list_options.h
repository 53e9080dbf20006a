#pragma once

#include "cli/open_source.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// The options that fill a split list, shared by split and cue.
struct ListOptions {
    std::string CueSheet;
    bool Chapters = false;
    std::vector<std::pair<std::string, std::string>> Sections;
    std::string Parts;
    std::string Overlap = "0";
    bool AtPauses = false;
    double PauseDb = -45.0;
    double PauseMinSeconds = 0.8;

    bool Empty() const {
        return CueSheet.empty() && !Chapters && Sections.empty() && Parts.empty() && !AtPauses;
    }
};

void AddListOptions(CLI::App& command, ListOptions& options);

enum class FillOutcome {
    Filled,
    UsageError, // a bad time, a bad count: nothing is written
    SourceError // a bad sheet, a failed pause search: nothing is written
};

// The options as a user is told to give them when none is given.
inline constexpr const char* kListOptionsHint =
    "give --cue SHEET, --chapters, --section START END, --parts N or --at-pauses";

// Fills the list: the sheet's sections, then the source's chapters, then the sections in the order
// given, then the equal parts, then the parts between pauses. problems counts the entries that
// could not be added (a full list, a chapter past the end). A stop request ends the search for
// pauses.
using StopRequest = std::function<bool()>;
FillOutcome FillList(const ListOptions& options, SplitSession& session, int& problems,
                     std::ostream& err, const StopRequest& stopRequested);
