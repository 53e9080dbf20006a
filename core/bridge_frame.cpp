#include "core/bridge_frame.h"

#include "core/frame_tables.h"

#include <algorithm>

namespace {

constexpr std::int32_t kLayer3 = 3;

bool IsMono(const std::uint8_t* header) {
    return (header[3] >> 6) == 3;
}

// The bytes of a granule's channels' main data: the part2_3_length fields of
// the side information, which starts at sideInfo.
std::size_t Layer3MainDataBytes(const std::uint8_t* sideInfo, std::int32_t versionId, bool mono) {
    const auto bits = [sideInfo](std::size_t at, int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at)
            value = value << 1 | (sideInfo[at / 8] >> (7 - at % 8) & 1u);
        return value;
    };
    const std::size_t channels = mono ? 1 : 2;
    // After main_data_begin, the private bits and (MPEG 1) scfsi; a granule's
    // channel then takes 59 bits in MPEG 1, 63 below it.
    std::size_t at = versionId == 1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + channels;
    const std::size_t stride = versionId == 1 ? 59 : 63;
    std::size_t total = 0;
    for (std::size_t i = 0; i < (versionId == 1 ? 2 : 1) * channels; ++i, at += stride)
        total += bits(at, 12);
    return (total + 7) / 8;
}

// A zero frame with header's version, rate and channel mode, no CRC, at the
// smallest bitrate index from lowestIndex on whose main data holds mainData
// bytes; empty when none does.
std::vector<std::uint8_t> EmptyLayer3Frame(const std::uint8_t* header, std::int32_t versionId,
                                           std::size_t mainData, std::int32_t lowestIndex) {
    const std::int32_t sampleRate = SampleRateHzFor(versionId, header[2] >> 2 & 3);
    const std::int32_t sideInfo = Layer3SideInfoBytes(versionId, IsMono(header));
    for (std::int32_t index = std::max(lowestIndex, 1); index < 15; ++index) {
        const std::int64_t bitrate = std::int64_t{BitrateKbpsFor(versionId, kLayer3, index)} * 1000;
        const std::int32_t length = FrameLengthFor(versionId, kLayer3, bitrate, sampleRate, false);
        if (length - 4 - sideInfo < static_cast<std::int32_t>(mainData))
            continue;
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(length), 0);
        frame[0] = header[0];
        frame[1] = static_cast<std::uint8_t>(header[1] | 1);                   // no CRC
        frame[2] = static_cast<std::uint8_t>(index << 4 | (header[2] & 0x0D)); // unpadded
        frame[3] = header[3];
        return frame;
    }
    return {};
}

} // namespace

std::int32_t Layer3SideInfoBytes(std::int32_t versionId, bool mono) {
    if (versionId == 1)
        return mono ? 17 : 32;
    return mono ? 9 : 17;
}

std::int32_t Layer3MainDataOffset(const std::uint8_t* header, std::int32_t versionId) {
    const bool crc = (header[1] & 1) == 0;
    return 4 + (crc ? 2 : 0) + Layer3SideInfoBytes(versionId, IsMono(header));
}

std::int32_t Layer3MainDataBegin(const std::uint8_t* frame, std::size_t available,
                                 std::int32_t versionId) {
    const std::size_t at = (frame[1] & 1) == 0 ? 6 : 4;
    if (available < at + 2)
        return -1;
    // Nine bits in MPEG 1, eight below it.
    if (versionId == 1)
        return frame[at] << 1 | frame[at + 1] >> 7;
    return frame[at];
}

std::vector<std::uint8_t> SilentLayer3Frame(const std::uint8_t* header, std::int32_t versionId,
                                            const std::vector<std::uint8_t>& borrowed,
                                            std::int32_t lowestIndex) {
    std::vector<std::uint8_t> frame =
        EmptyLayer3Frame(header, versionId, borrowed.size(), lowestIndex);
    if (frame.empty())
        return {};
    std::copy(borrowed.begin(), borrowed.end(),
              frame.end() - static_cast<std::ptrdiff_t>(borrowed.size()));
    return frame;
}

std::vector<std::uint8_t> SelfContainedLayer3Frame(const std::uint8_t* frame, std::size_t length,
                                                   std::int32_t versionId,
                                                   const std::vector<std::uint8_t>& borrowed,
                                                   std::int32_t lowestIndex) {
    const auto mainDataAt = static_cast<std::size_t>(Layer3MainDataOffset(frame, versionId));
    if (length < mainDataAt)
        return {};
    std::vector<std::uint8_t> mainData(borrowed);
    mainData.insert(mainData.end(), frame + mainDataAt, frame + length);
    const std::size_t sideInfoAt = (frame[1] & 1) == 0 ? 6 : 4;
    const auto sideInfo = static_cast<std::size_t>(Layer3SideInfoBytes(versionId, IsMono(frame)));
    const std::size_t own = Layer3MainDataBytes(frame + sideInfoAt, versionId, IsMono(frame));
    std::vector<std::uint8_t> rebuilt =
        EmptyLayer3Frame(frame, versionId, mainData.size(), lowestIndex);
    if (rebuilt.empty() || own > mainData.size())
        return {};
    std::copy_n(frame + sideInfoAt, sideInfo, rebuilt.begin() + 4);
    rebuilt[4] = 0; // main_data_begin: nine bits in MPEG 1, eight below it
    if (versionId == 1)
        rebuilt[5] &= 0x7F;
    const auto ownEnd = mainData.begin() + static_cast<std::ptrdiff_t>(own);
    std::copy(mainData.begin(), ownEnd,
              rebuilt.begin() + static_cast<std::ptrdiff_t>(4 + sideInfo));
    std::copy(ownEnd, mainData.end(), rebuilt.end() - (mainData.end() - ownEnd));
    return rebuilt;
}

bool HoldsOwnReservoirOf(std::span<const std::uint8_t> frame,
                         std::span<const std::uint8_t> original, std::int32_t versionId) {
    if (frame.size() < 6 || original.size() < 6 || IsMono(frame.data()) != IsMono(original.data()))
        return false;
    const auto sideInfo =
        static_cast<std::size_t>(Layer3SideInfoBytes(versionId, IsMono(frame.data())));
    const std::size_t at = (frame[1] & 1) == 0 ? 6 : 4;
    const std::size_t originalAt = (original[1] & 1) == 0 ? 6 : 4;
    if (frame.size() < at + sideInfo || original.size() < originalAt + sideInfo ||
        Layer3MainDataBegin(frame.data(), frame.size(), versionId) != 0)
        return false;
    // Past main_data_begin: nine bits in MPEG 1, eight below it.
    const std::uint8_t mask = versionId == 1 ? 0x7F : 0xFF;
    return (frame[at + 1] & mask) == (original[originalAt + 1] & mask) &&
           std::equal(frame.begin() + static_cast<std::ptrdiff_t>(at + 2),
                      frame.begin() + static_cast<std::ptrdiff_t>(at + sideInfo),
                      original.begin() + static_cast<std::ptrdiff_t>(originalAt + 2));
}
