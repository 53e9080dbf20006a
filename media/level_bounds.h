#pragma once

#include "media/frame_survey.h"

#include <cstdint>

// For every 10 ms level window, a level (dBFS) that a decode of every frame
// cannot reach in it, from the granules' energy bounds (infinite without).
class LevelBounds {
public:
    explicit LevelBounds(const FrameSurvey& survey) : survey_(survey) {}
    float Db(std::int64_t window) const;

private:
    std::int64_t GranuleAt(std::int64_t sampleFrame) const;
    // Whether the granule's windows take over from the one's before.
    bool Continues(std::int64_t granule) const;
    double Energy(std::int64_t granule) const;

    const FrameSurvey& survey_;
};
