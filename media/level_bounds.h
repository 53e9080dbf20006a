#pragma once

#include "media/frame_survey.h"

#include <cstdint>
#include <vector>

// How far a decode's level was measured to lie from the spectral estimates, with
// room to spare: at most 1.7 dB above a window's (LevelBounds::EstimatedDb),
// at most 4.4 dB below a stretch's of 100 ms or more (LevelBounds::StretchesOver).
inline constexpr float kEstimateMarginDb = 4.0f;
inline constexpr float kStretchMarginDb = 8.0f;

// For every 10 ms level window, a level (dBFS) that a decode of every frame
// cannot reach in it, from the granules' energy bounds (infinite without).
class LevelBounds {
public:
    explicit LevelBounds(const FrameSurvey& survey) : survey_(survey) {}
    float Db(std::int64_t window) const;

    // The level (dBFS) a decode of every frame measures in the window, as
    // its granules' spectral energy (GranuleEnergy) estimates it: the
    // loudest of the granules whose synthesis reaches into it, all of its
    // energy taken to fall in the window. A decode lies at most
    // kEstimateMarginDb above it. NaN when one of them has no estimate.
    float EstimatedDb(std::int64_t window) const;

    // For each stretch of `windows` windows, from each first window on that
    // leaves room for them: whether the spectral energy of the granules whose
    // synthesis reaches no sample outside the stretch puts the stretch's level
    // at least kStretchMarginDb over levelDb. A decode then measures at least
    // levelDb over the stretch, so one window of it at least: no pause of
    // that many windows under levelDb holds any window of it.
    std::vector<bool> StretchesOver(std::int64_t windows, float levelDb) const;

private:
    std::int64_t GranuleAt(std::int64_t sampleFrame) const;
    std::int64_t GranuleStart(std::int64_t granule) const;
    // Whether the granule's windows take over from the one's before.
    bool Continues(std::int64_t granule) const;
    double Energy(std::int64_t granule) const;

    const FrameSurvey& survey_;
};
