#pragma once

#include <cstdint>
#include <span>
#include <vector>

// One level step of the overview, in dB: 0 is silence, 255 full scale.
inline constexpr double kLoudnessDbPerStep = 0.375;
// The overview draws nothing for a level at or under this (dBFS).
inline constexpr double kLoudnessFloorDb = -60.0;

// The loudness of a whole source, one byte per audio frame. Ten hours of
// 44.1 kHz Layer III take 1.4 MB.
struct LoudnessOverview {
    // Per audio frame (the information frame not counted), its decoded RMS
    // level: 0 silence .. 255 full scale, steps of kLoudnessDbPerStep dB.
    std::vector<std::uint8_t> Levels;
    std::int64_t FrameCount = 0;
    // The levels of the frames before this one are in; the rest, while the
    // overview is still measured, hold 0.
    std::int64_t MeasuredFrames = 0;

    // The loudest level among frames [first, end), 0 for an empty range.
    std::uint8_t Peak(std::int64_t first, std::int64_t end) const;
};

// Level of decoded samples (full scale 32768) from their RMS on the overview's scale.
std::uint8_t LevelFromSamples(std::span<const std::int16_t> samples);
