#pragma once

#include "core/id3v1_tag.h"
#include "split/split_list.h"

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

// Levels are measured in windows of this length, from the start of the audio.
inline constexpr std::int32_t kLevelWindowMs = 10;

// The level of a window whose samples' squares sum to sumOfSquares, in dBFS.
float LevelDb(double sumOfSquares, std::int64_t samples);

// The level of a window of zeros: below any a 16-bit sample can have.
inline constexpr float kSilenceDb = -200.0f;

// Stands for a window left unmeasured because it cannot be part of a pause:
// louder than any threshold.
inline constexpr float kUnmeasuredDb = 0.0f;

struct PauseSettings {
    double ThresholdDb = -45.0; // quieter than this is a pause
    std::int32_t MinMs = 800;   // for at least this long
};

// Window k of the levels starts at sample frame k × rate / 100 (so rates
// like 22050 keep exact 10 ms windows on average); the window a sample frame
// falls in.
std::int64_t LevelWindowStart(std::int64_t window, std::int32_t rate);
std::int64_t LevelWindowAt(std::int64_t sampleFrame, std::int32_t rate);

// Some of a window's samples: their squares' sum and their count.
struct WindowPart {
    std::int64_t Window = 0;
    std::int64_t SumOfSquares = 0;
    std::int64_t Samples = 0;
};

// The level of every 10 ms window, in dBFS, from interleaved 16-bit samples
// handed over in pieces of any size, from any sample frame on. A window is
// written when all its samples were added; levels grows as the windows need.
// The window the first sample falls inside of, and the one the samples stop
// inside of, are kept as parts, for the samples before or after them to complete.
class LevelWindows {
public:
    LevelWindows(std::vector<float>& levels, std::int32_t sampleRateHz)
        : levels_(levels), rate_(sampleRateHz) {}

    void Begin(std::int64_t sampleFrame);
    void Add(std::span<const std::int16_t> samples, std::int32_t channels);
    // The audio ends here: its last window is as long as it is.
    void EndOfAudio();
    // The samples stop here, short of the audio's end.
    void Stop();
    const std::vector<WindowPart>& Parts() const { return parts_; }

private:
    void Close();

    std::vector<float>& levels_;
    std::int32_t rate_;
    std::int64_t at_ = 0;     // sample frame the next sample belongs to
    std::int64_t window_ = 0; // the window it falls in
    std::int64_t next_ = 0;   // where the next window starts
    bool whole_ = false;      // whether the open window got every sample so far
    std::int64_t sumOfSquares_ = 0;
    std::int64_t samples_ = 0;
    std::vector<WindowPart> parts_;
};

// A quiet stretch between two parts: below the threshold for at least the
// minimum length, in ms from the start of the audio.
struct Pause {
    std::int32_t StartMs = 0;
    std::int32_t EndMs = 0;
    std::int32_t MiddleMs() const {
        return static_cast<std::int32_t>((std::int64_t{StartMs} + EndMs) / 2);
    }
    bool operator==(const Pause&) const = default;
};

// Every pause, in order of time. A stretch touching the start or the end of
// the audio is lead-in or run-out, not a pause between two parts.
std::vector<Pause> FindPauses(std::span<const float> levelsDb, const PauseSettings& settings);

// Where to cut: the middles of the longest `count` pauses (the earlier of two
// as long), in order of time; of all of them when there are no more.
std::vector<std::int32_t> CutsAtLongest(std::span<const Pause> pauses, std::size_t count);

// The sections between the cuts, from 0 to totalMs, as entries with the
// source's tag texts and numbered titles ("Title 01", or "Part 01" untitled).
std::vector<SplitListItem> PauseSections(const std::vector<std::int32_t>& cuts,
                                         std::int32_t totalMs, const TID3v1Tag& sourceTag);
