#include "core/layer3_gain_shift.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::int32_t kGainLimit = 255;

bool IsMono(std::span<const std::uint8_t> frame) {
    return (frame[3] >> 6) == 3;
}

std::size_t SideInfoAt(std::span<const std::uint8_t> frame) {
    return (frame[1] & 1) == 0 ? 6 : 4; // after the CRC, when the header announces one
}

std::size_t SideInfoBytes(std::int32_t versionId, bool mono) {
    if (versionId == 1)
        return mono ? 17 : 32;
    return mono ? 9 : 17;
}

bool HoldsSideInfo(std::span<const std::uint8_t> frame, std::int32_t versionId) {
    return frame.size() >= 4 &&
           frame.size() >= SideInfoAt(frame) + SideInfoBytes(versionId, IsMono(frame));
}

std::uint32_t ReadBits(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at)
        value = value << 1 | (bytes[at / 8] >> (7 - at % 8) & 1u);
    return value;
}

void WriteBits(std::span<std::uint8_t> bytes, std::size_t at, int count, std::uint32_t value) {
    for (int i = count - 1; i >= 0; --i, ++at) {
        const auto mask = static_cast<std::uint8_t>(0x80 >> (at % 8));
        if ((value >> i & 1u) != 0)
            bytes[at / 8] = static_cast<std::uint8_t>(bytes[at / 8] | mask);
        else
            bytes[at / 8] = static_cast<std::uint8_t>(bytes[at / 8] & ~mask);
    }
}

// Where one granule's channel stands in the side information, in bits from
// the frame's first byte: its part2_3_length, and 21 bits on its global_gain.
struct GranuleChannelAt {
    std::size_t Granule = 0;
    std::size_t Bit = 0;
};

// After main_data_begin, the private bits and (MPEG 1) scfsi, each granule's
// channel takes 59 bits in MPEG 1, 63 below it.
template <typename Visit>
void ForEachGranuleChannel(std::span<const std::uint8_t> frame, std::int32_t versionId,
                           Visit visit) {
    const bool mono = IsMono(frame);
    const std::size_t channels = mono ? 1 : 2;
    const std::size_t first = versionId == 1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + channels;
    const std::size_t stride = versionId == 1 ? 59 : 63;
    std::size_t at = SideInfoAt(frame) * 8 + first;
    for (std::size_t granule = 0; granule < static_cast<std::size_t>(Layer3Granules(versionId));
         ++granule) {
        for (std::size_t channel = 0; channel < channels; ++channel, at += stride)
            visit(GranuleChannelAt{granule, at});
    }
}

constexpr std::size_t kGainOffset = 21; // part2_3_length 12 bits, big_values 9

} // namespace

std::uint16_t Layer3FrameCrc(std::span<const std::uint8_t> frame, std::int32_t versionId) {
    std::uint16_t crc = 0xFFFF;
    const auto add = [&crc](std::uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 15) ^ (byte >> bit)) & 1;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top)
                crc ^= 0x8005;
        }
    };
    add(frame[2]);
    add(frame[3]);
    const std::size_t at = SideInfoAt(frame);
    for (std::size_t i = 0; i < SideInfoBytes(versionId, IsMono(frame)); ++i)
        add(frame[at + i]);
    return crc;
}

bool ShiftLayer3Gain(std::span<std::uint8_t> frame, std::int32_t versionId,
                     std::array<std::int32_t, 2> steps) {
    if (!HoldsSideInfo(frame, versionId))
        return false;
    ForEachGranuleChannel(frame, versionId, [&](const GranuleChannelAt& place) {
        if (ReadBits(frame, place.Bit, 12) == 0)
            return;
        const auto gain = static_cast<std::int32_t>(ReadBits(frame, place.Bit + kGainOffset, 8));
        const std::int32_t shifted = std::clamp(gain + steps[place.Granule], 0, kGainLimit);
        WriteBits(frame, place.Bit + kGainOffset, 8, static_cast<std::uint32_t>(shifted));
    });
    if ((frame[1] & 1) == 0) {
        const std::uint16_t crc = Layer3FrameCrc(frame, versionId);
        frame[4] = static_cast<std::uint8_t>(crc >> 8);
        frame[5] = static_cast<std::uint8_t>(crc & 0xFF);
    }
    return true;
}

namespace {

// The bytes of two frames of one layout agree but for the CRC and the gains.
bool SameButGains(std::span<const std::uint8_t> part, std::span<const std::uint8_t> source,
                  std::int32_t versionId) {
    if (part.size() != source.size() || part.size() < 4 ||
        !std::equal(part.begin(), part.begin() + 4, source.begin()) ||
        !HoldsSideInfo(part, versionId))
        return false;
    std::vector<bool> gainBits(part.size() * 8, false);
    ForEachGranuleChannel(part, versionId, [&](const GranuleChannelAt& place) {
        std::fill_n(gainBits.begin() + static_cast<std::ptrdiff_t>(place.Bit + kGainOffset), 8,
                    true);
    });
    for (std::size_t byte = 4; byte < part.size(); ++byte) {
        if (part[byte] == source[byte] || (SideInfoAt(part) == 6 && byte < 6))
            continue;
        for (std::size_t bit = 0; bit < 8; ++bit) {
            const bool differs = ((part[byte] ^ source[byte]) >> (7 - bit) & 1) != 0;
            if (differs && !gainBits[byte * 8 + bit])
                return false;
        }
    }
    return true;
}

} // namespace

std::optional<Layer3GainShift> Layer3GainShiftOf(std::span<const std::uint8_t> part,
                                                 std::span<const std::uint8_t> source,
                                                 std::int32_t versionId) {
    if (!SameButGains(part, source, versionId))
        return std::nullopt;
    Layer3GainShift shift;
    std::array<bool, 2> held{};
    bool agree = true;
    ForEachGranuleChannel(part, versionId, [&](const GranuleChannelAt& place) {
        if (ReadBits(source, place.Bit, 12) == 0)
            return;
        const auto before = static_cast<std::int32_t>(ReadBits(source, place.Bit + kGainOffset, 8));
        const auto after = static_cast<std::int32_t>(ReadBits(part, place.Bit + kGainOffset, 8));
        const std::int32_t step = after - before;
        const bool atLimit = after == 0 || after == kGainLimit;
        std::int32_t& known = shift.Steps[place.Granule];
        const std::size_t g = place.Granule;
        if (!shift.Coded[g]) {
            shift.Coded[g] = true;
            known = step;
            held[g] = atLimit;
        } else if (step != known) {
            // A gain held at a limit moved less than the others.
            if (held[g] && std::abs(step) > std::abs(known)) {
                known = step;
                held[g] = atLimit;
            } else if (!atLimit) {
                agree = false;
            }
        }
    });
    if (!agree)
        return std::nullopt;
    return shift;
}
