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
    // Each granule's window shapes, both channels' (as Layer3WindowsContinue reads them).
    std::array<std::uint8_t, 2> GranuleWindows{};
    int Granules = 0;
};

// header is the frame's four header bytes, big-endian; body the bytes after them.
Layer3Loudness ReadLayer3Loudness(std::uint32_t header, std::span<const std::uint8_t> body);

// How a granule's inverse MDCT windows begin and end, per channel, as a
// Layer3Loudness gives them: bit 0 set when the windows of its lowest
// subbands (the two long ones of a mixed block, else all) begin short, bit 1
// when they end short, bits 2 and 3 the same for its other subbands; bits 4
// to 7 the second channel's (a mono frame's first channel again).
// A granule's windows take over from the one's before when each begins as
// the one before it ends: then the overlapping halves add up to a
// time-domain-aliasing-cancelling transform.
inline bool Layer3WindowsContinue(std::uint8_t before, std::uint8_t granule) {
    return ((before >> 1) & 0x55) == (granule & 0x55);
}

// The synthesis (alias butterflies, windowed inverse MDCT with overlap, and
// the polyphase filter bank) turns granules of spectral energy E into
// samples. The butterflies keep energy. A granule's 18 subband samples sum
// the first half of its windowed inverse MDCT and the second half of the
// granule's before; over the subband samples of granules a..b they hold at
// most kLayer3OverlapGainContinuing × Σ_{j=a-1..b} E[j] when each granule's
// windows take over from the one's before (the transform is then 3 times an
// orthogonal one), else at most kLayer3OverlapGainAny × Σ_{j=a..b}
// (E[j] + E[j-1]) (the largest singular value of any two halves side by
// side, over every pair of window types, squared). The polyphase filter
// bank gives its 32 samples a slot from the subband samples of that slot and
// the 15 before, and at most kLayer3FilterBankGain times their energy (its
// largest singular value over every frequency, squared). A decibel on top
// leaves room for a decoder's arithmetic.
inline constexpr double kLayer3OverlapGainContinuing = 9.0;
inline constexpr double kLayer3OverlapGainAny = 13.16;
inline constexpr double kLayer3FilterBankGain = 32.0036 * 1.2589;
