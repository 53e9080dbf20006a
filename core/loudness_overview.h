#pragma once

#include "core/preload_scan.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// One level step of the overview, in dB: 0 is silence, 255 full scale.
inline constexpr double kLoudnessDbPerStep = 0.375;

// The loudness of a whole source, one byte per audio frame, with the file
// offsets needed to find any frame again. Ten hours of 44.1 kHz Layer III
// take 1.4 MB of levels and 170 KB of checkpoints.
struct LoudnessOverview {
    static constexpr std::int64_t kCheckpointEvery = 64;

    // Per audio frame (the information frame not counted), its decoded RMS
    // level: 0 silence .. 255 full scale, steps of kLoudnessDbPerStep dB.
    std::vector<std::uint8_t> Levels;
    // File offset of audio frame k * kCheckpointEvery.
    std::vector<std::int64_t> Checkpoints;
    std::int64_t FrameCount = 0;

    // The loudest level among frames [first, end), 0 for an empty range.
    std::uint8_t Peak(std::int64_t first, std::int64_t end) const;
    // Offset of a frame at or before frame, from which a walk reaches it.
    std::int64_t CheckpointBefore(std::int64_t frame) const;
};

// Level of decoded samples (full scale 32768) from their RMS on the overview's scale.
std::uint8_t LevelFromSamples(std::span<const std::int16_t> samples);

// Walks the frames once for the frame count and the checkpoints; the levels
// are left to a decoder. stop is asked now and then and ends the walk (with
// what was found so far) when it returns true. Fails as the preload scan does.
Result<LoudnessOverview> WalkOverviewFrames(const ScanSource& source,
                                            const std::function<bool()>& stop = {});
