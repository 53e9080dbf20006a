#pragma once

#include "core/id3v1_tag.h"
#include "split/split_list.h"

#include <cstdint>
#include <span>
#include <vector>

// Levels are measured in windows of this length, from the start of the audio.
inline constexpr std::int32_t kLevelWindowMs = 10;

struct PauseSettings {
    double ThresholdDb = -45.0; // quieter than this is a pause
    std::int32_t MinMs = 800;   // for at least this long
};

// The level of every 10 ms window, in dBFS, from interleaved 16-bit samples
// handed over in pieces of any size.
class LevelSeries {
public:
    void Add(std::span<const std::int16_t> samples, std::int32_t channels,
             std::int32_t sampleRateHz);
    // Ends the last, partial window; call once, after the last Add.
    void Finish();
    const std::vector<float>& LevelsDb() const { return levels_; }

private:
    void CloseWindow();

    std::vector<float> levels_;
    std::int64_t framesSeen_ = 0; // sample frames since the start
    std::int64_t windowEnd_ = 0;  // sample frame where the open window ends
    double sumOfSquares_ = 0.0;
    std::int64_t samplesInWindow_ = 0;
    std::int32_t rate_ = 0;
};

// The middle of every quiet stretch (below the threshold for at least the
// minimum length), in ms. A stretch touching the start or the end of the
// audio is lead-in or run-out, not a pause between two parts: no cut there.
std::vector<std::int32_t> FindPauseCuts(std::span<const float> levelsDb,
                                        const PauseSettings& settings);

// The sections between the cuts, from 0 to totalMs, as entries with the
// source's tag texts and numbered titles ("Title 01", or "Part 01" untitled).
std::vector<SplitListItem> PauseSections(const std::vector<std::int32_t>& cuts,
                                         std::int32_t totalMs, const TID3v1Tag& sourceTag);
