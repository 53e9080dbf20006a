#pragma once

#include <cstdint>

// The frame rule that the preload scan and the split worker share: the
// first frame's MPEG version for every frame, layer bits ignored, the
// Layer III bitrate rows, 0 for unknown values.
struct FrameCandidate {
    bool Accepted = false;   // sync, non-zero bitrate and sample rate
    std::int32_t Length = 0; // bytes, padding included
    std::int32_t BitrateBps = 0;
    std::int32_t SampleRateHz = 0;
};

// Evaluates the four header bytes at b by the rule, using the first frame's
// VersionId (1 MPEG 1, 3 MPEG 2.5, anything else MPEG 2).
FrameCandidate EvaluateFrame(const std::uint8_t* b, std::int32_t firstVersionId);

// Length of the frame at b by the rule without the sync and zero tests (the
// information frame). Returns 0 where the length is undefined (rate 0).
std::int32_t InformationFrameLength(const std::uint8_t* b, std::int32_t firstVersionId);

// Duration of an accepted frame in ms: (L * 8) / (bitrate / 10) * 100 in
// extended precision. Callers add it to a double running total.
long double FrameDurationMs(std::int32_t length, std::int32_t bitrateBps);

// Adds one frame's duration to a running elapsed time the way both walks do:
// in extended precision, stored back as a double.
inline double AddFrameDuration(double elapsed, std::int32_t length, std::int32_t bitrateBps) {
    return static_cast<double>(static_cast<long double>(elapsed) +
                               FrameDurationMs(length, bitrateBps));
}

// Offset of the Xing/Info marker from the first byte of a frame, by the
// first frame's version and channel mode (3 = mono).
std::int32_t InformationHeaderOffset(std::int32_t versionId, std::int32_t channelMode);
