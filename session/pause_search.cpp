#include "session/pause_search.h"

#include "media/pause_finder.h"

Result<void> PauseSearch::Measure(const PauseSettings& cover, const Progress& progress) {
    LevelScan scan = MeasureLevels(source_.Path, source_.FirstFrameOffset, cover,
                                   progress ? progress : Progress([](double) { return true; }));
    if (scan.Cancelled)
        return Error{ErrorCategory::Stopped, -1, "the search for pauses was stopped", source_.Path};
    if (!scan.Error.empty())
        return Error{ErrorCategory::Read, -1, scan.Error, source_.Path};
    levels_ = std::move(scan.LevelsDb);
    warnings_ = std::move(scan.Warnings);
    measured_ = true;
    cover_ = cover;
    return {};
}

std::vector<SplitListItem> PauseSearch::Sections(const PauseSettings& settings) const {
    return PauseSections(FindPauseCuts(levels_, settings), source_.LengthMs, source_.Tag);
}
