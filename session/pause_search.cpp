#include "session/pause_search.h"

#include "media/pause_finder.h"

#include <algorithm>

Result<void> PauseSearch::Measure(const PauseSettings& cover, const Progress& progress,
                                  std::optional<double> boundsBelowDb) {
    LevelScan scan =
        MeasureLevels(source_.Path, source_.FirstFrameOffset, cover,
                      progress ? progress : Progress([](double) { return true; }), boundsBelowDb);
    if (scan.Cancelled)
        return Error{ErrorCategory::Stopped, -1, "the search for pauses was stopped", source_.Path};
    if (!scan.Error.empty())
        return Error{ErrorCategory::Read, -1, scan.Error, source_.Path};
    levels_ = std::move(scan.LevelsDb);
    highestBound_ = scan.HighestBoundDb;
    warnings_ = std::move(scan.Warnings);
    measured_ = true;
    cover_ = cover;
    return {};
}

PauseParts PauseSearch::Parts(const PauseSettings& settings, std::size_t maxSections) const {
    const std::vector<Pause> pauses = FindPauses(levels_, settings);
    const std::size_t cuts = std::max<std::size_t>(maxSections, 1) - 1;
    return {PauseSections(CutsAtLongest(pauses, cuts), source_.LengthMs, source_.Tag),
            pauses.size()};
}

std::string PauseParts::LimitNote() const {
    const std::size_t cuts = Sections.size() - 1;
    if (PausesFound <= cuts)
        return {};
    return "Cut at the " + std::to_string(cuts) + " longest of " + std::to_string(PausesFound) +
           " pauses: the list holds " + std::to_string(SplitList::MaxParts) + " parts";
}
