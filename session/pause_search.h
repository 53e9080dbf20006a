#pragma once

#include "core/engine_error.h"
#include "core/id3v1_tag.h"
#include "split/pause_cuts.h"
#include "split/split_list.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct PauseParts {
    std::vector<SplitListItem> Sections;
    std::size_t PausesFound = 0; // more than the cuts when they did not all fit
    // Says so when not every pause was cut at; else empty.
    std::string LimitNote() const;
};

// The search for pauses in one source: the levels are measured once (the
// slow part, which may run on a thread of its own, as it holds copies of
// what it needs), then any settings give their sections at once.
class PauseSearch {
public:
    struct Source {
        std::string Path;
        std::int64_t FirstFrameOffset = 0;
        std::int32_t LengthMs = 0;
        TID3v1Tag Tag;
    };

    // progress gets the share done (0..1) and stops the search by returning false.
    using Progress = std::function<bool(double done)>;

    explicit PauseSearch(Source source) : source_(std::move(source)) {}

    // Measures the source's levels wherever a pause of the cover settings can
    // be and keeps them, for every lower threshold down to boundsBelowDb (the
    // cover's when not given) at least. A failed or stopped search names the
    // source (Stopped when progress said stop).
    Result<void> Measure(const PauseSettings& cover, const Progress& progress,
                         std::optional<double> boundsBelowDb = {});
    // Whether the levels measured hold every pause of these settings: those
    // under a threshold no higher, and at least as long, as measured for, and
    // above the bounds that stand for levels not decoded.
    bool Covers(const PauseSettings& settings) const {
        return measured_ && settings.ThresholdDb <= cover_.ThresholdDb &&
               settings.MinMs >= cover_.MinMs &&
               (!highestBound_ || settings.ThresholdDb > *highestBound_);
    }
    // The stretches the decoding passed over, a message each.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // The sections between the pauses the settings find (one part when none),
    // at most maxSections of them: with more pauses than that allows, the cuts
    // are at the longest.
    PauseParts Parts(const PauseSettings& settings,
                     std::size_t maxSections = SplitList::MaxParts) const;

private:
    Source source_;
    std::vector<float> levels_;
    std::optional<float> highestBound_;
    std::vector<std::string> warnings_;
    bool measured_ = false;
    PauseSettings cover_;
};
