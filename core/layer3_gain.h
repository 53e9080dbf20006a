#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// What one Layer III frame's side information tells of its loudness, before
// any of its main data is decoded.
struct Layer3Loudness {
    // The largest global_gain among the granules and channels that carry
    // coded bits. The quantizer's step follows the loudness of what it codes,
    // so the frames of a pause have smaller gains than the speech or music
    // around them; a granule without bits decodes to silence whatever its
    // gain. Nothing when no granule carries bits: the frame codes silence. 0
    // when the body is too short to hold the side information.
    std::optional<std::uint8_t> PeakGain;
    // For each granule (two in MPEG-1, one in MPEG-2 and 2.5), the most energy
    // its dequantised spectrum can hold, every channel together, in full-scale
    // units: each value taken as the largest its Huffman table can code, at
    // the global gain (scale factors and subblock gains only lower it).
    // Infinite when the body is too short to tell, and under intensity stereo.
    std::array<double, 2> GranuleEnergy{};
    int Granules = 0;
};

// header is the frame's four header bytes, big-endian; body the bytes after them.
Layer3Loudness ReadLayer3Loudness(std::uint32_t header, std::span<const std::uint8_t> body);

// The synthesis (alias butterflies, windowed inverse MDCT with overlap, and
// the polyphase filter bank) turns granules of spectral energy E into
// samples: the samples of granules g0..g1 hold at most
// kLayer3SynthesisGain × Σ_{j=g0-1..g1} (E[j] + E[j-1]) of energy (squares of
// full-scale samples, channels together). The butterflies keep energy; each
// half of a windowed inverse MDCT gains at most 9 and a subband sample is
// the sum of two halves (so at most 18 over the granule and the one before);
// the filter bank's largest singular value, over every frequency, is √32.0036.
// A decibel on top leaves room for a decoder's arithmetic.
inline constexpr double kLayer3SynthesisGain = 18.0 * 32.0036 * 1.2589;
