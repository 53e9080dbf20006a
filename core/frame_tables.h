#pragma once

#include <cstdint>

// The MPEG audio tables and the frame-length formula, shared by the header
// decoder and the frame rule so that both always agree on a frame's length.

// kbit/s for version 1 (MPEG 1), 2 or 3 (MPEG 2 / 2.5), layer 1..3 and the
// header's bitrate index: 0 for free format, -1 for the forbidden index 15.
std::int32_t BitrateKbpsFor(std::int32_t versionId, std::int32_t layer, std::int32_t index);

// Hz for version 1, 2 or 3 and the header's sample-rate index; -1 for index 3.
std::int32_t SampleRateHzFor(std::int32_t versionId, std::int32_t index);

// Samples of one frame: Layer I 384, Layer II 1152, Layer III 1152 in MPEG 1
// and 576 below it. A layer other than 1 or 2 is taken as Layer III.
std::int32_t SamplesPerFrameFor(std::int32_t versionId, std::int32_t layer);

// Bytes of one frame, padding included, from its samples: Layer I counts
// 4-byte slots. A layer other than 1 or 2 is taken as Layer III. 0 when
// sampleRate <= 0.
std::int32_t FrameLengthFor(std::int32_t versionId, std::int32_t layer, std::int64_t bitrateBps,
                            std::int32_t sampleRate, bool padded);
