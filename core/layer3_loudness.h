#pragma once

#include <cstddef>
#include <cstdint>

// A loudness estimate for one Layer III frame read from its side information
// alone, without decoding: per granule and channel the quantizer's
// global_gain sets the scale of the coded values and part2_3_length says
// whether any were coded at all (0 bits is silence).
//
// The result is the loudest granule's level in dB below full scale, on a
// 0..255 scale where 0 is silence and 255 is full scale (one step is
// kLoudnessDbPerStep dB), or 0 when the bytes hold no whole side information.
inline constexpr double kLoudnessDbPerStep = 0.375;
// The number of header, CRC and side-information bytes the estimate reads at most.
inline constexpr std::size_t kLayer3SideInfoBytes = 4 + 2 + 32;

std::uint8_t Layer3Loudness(const std::uint8_t* frame, std::size_t available,
                            std::int32_t versionId);
