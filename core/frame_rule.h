#pragma once

#include <algorithm>
#include <cstdint>

// The frame rule that the preload scan and the split worker share: the
// first frame's MPEG version and layer for every frame (each frame's own
// version and layer bits are ignored), 0 for unknown values.
struct FrameCandidate {
    bool Accepted = false;   // sync, non-zero bitrate and sample rate
    std::int32_t Length = 0; // bytes, padding included
    std::int32_t BitrateBps = 0;
    std::int32_t SampleRateHz = 0;
};

// Evaluates the four header bytes at b by the rule, using the first frame's
// VersionId (1 MPEG 1, 3 MPEG 2.5, anything else MPEG 2) and layer (1 or 2;
// anything else is Layer III). Layer I and II sources need their own bitrate
// rows and lengths: walked with Layer III's, their parts would be garbage.
FrameCandidate EvaluateFrame(const std::uint8_t* b, std::int32_t firstVersionId,
                             std::int32_t firstLayer = 3);

// Length of the frame at b by the rule without the sync and zero tests (the
// information frame). Returns 0 where the length is undefined (rate 0).
std::int32_t InformationFrameLength(const std::uint8_t* b, std::int32_t firstVersionId,
                                    std::int32_t firstLayer = 3);

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

// Which frames the scan counts, for walks that pass the same positions: every
// frame that starts at least the first frame's length before the end (and the
// walk's first frame); nearer the end only frames that lie wholly in the file,
// one after another. Bytes there that start no frame end the count.
struct CountingEnd {
    std::int64_t Size = 0;
    std::int64_t LastFullStart = 0; // the last start with a first frame's length behind it
    std::int64_t AlwaysCounted = -1;

    static CountingEnd Of(std::int64_t size, std::int32_t firstFrameBytes,
                          std::int64_t alwaysCounted) {
        return {size, size - std::max<std::int64_t>(firstFrameBytes, 4), alwaysCounted};
    }
    bool NearEnd(std::int64_t position) const {
        return position > LastFullStart && position != AlwaysCounted;
    }
    bool FrameCounts(std::int64_t position, std::int32_t length) const {
        return !NearEnd(position) || length <= Size - position;
    }
    // A step over bytes that start no frame, from position to next. The scan
    // looks no further ahead than one byte past the last full start.
    bool StepEndsCount(std::int64_t position, std::int64_t next) const {
        return NearEnd(position) || next > std::max(position, LastFullStart) + 1;
    }
    // Of the bytes stepped over from position to next, those the scan counts
    // as errors: up to where it looks no further.
    std::int64_t CountedSkip(std::int64_t position, std::int64_t next) const {
        return NearEnd(position) ? 0
                                 : std::min(next, std::max(position, LastFullStart) + 1) - position;
    }
};
