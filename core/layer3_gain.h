#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The largest global_gain among the granules and channels of one Layer III
// frame that carry coded bits, read from its side information alone. The
// quantizer's step follows the loudness of what it codes, so the frames of a
// pause have smaller gains than the speech or music around them; a granule
// without bits decodes to silence whatever its gain. Nothing when no granule
// carries bits: the frame codes silence. 0 when the body is too short to hold
// the side information.
//
// header is the frame's four header bytes, big-endian; body the bytes after them.
std::optional<std::uint8_t> Layer3PeakGain(std::uint32_t header,
                                           std::span<const std::uint8_t> body);
