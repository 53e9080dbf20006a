#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// A Layer III granule's global_gain sets the step of its quantizer: one more
// scales its decoded samples by 2^(1/4), 1.5 dB, and changes nothing else. So
// a part's level changes without decoding, frame by frame, in the side
// information alone.

// A step as shown, and its exact size, 20·log10(2^(1/4)) dB.
inline constexpr double kGainStepDb = 1.5;
inline constexpr double kExactGainStepDb = 1.5051499783199060;

// Granules in a Layer III frame: two in MPEG 1, one in MPEG 2 and 2.5.
inline std::int32_t Layer3Granules(std::int32_t versionId) {
    return versionId == 1 ? 2 : 1;
}

// Adds steps[g] to the global_gain of granule g's channels, held within 0 to
// 255, in frame (header first; versionId 1 MPEG 1, 3 MPEG 2.5, else MPEG 2),
// and recomputes its CRC when it has one. A granule without coded bits
// decodes to silence whatever its gain and is left alone. False, with nothing
// changed, when the frame is too short to hold its side information.
bool ShiftLayer3Gain(std::span<std::uint8_t> frame, std::int32_t versionId,
                     std::array<std::int32_t, 2> steps);

// The CRC a protected Layer III frame carries: CRC-16 (polynomial 0x8005,
// from all ones) over the last two header bytes and the side information.
std::uint16_t Layer3FrameCrc(std::span<const std::uint8_t> frame, std::int32_t versionId);

// What was added to each granule's gains: Coded false for a granule without
// coded bits, whose gain says nothing.
struct Layer3GainShift {
    std::array<std::int32_t, 2> Steps{};
    std::array<bool, 2> Coded{};
};

// When part is source with only global_gain fields (and so the CRC) changed,
// the same change for every channel of a granule (but one held at 0 or 255):
// that change. Nothing when they differ in any other bit.
std::optional<Layer3GainShift> Layer3GainShiftOf(std::span<const std::uint8_t> part,
                                                 std::span<const std::uint8_t> source,
                                                 std::int32_t versionId);
