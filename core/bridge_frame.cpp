#include "core/bridge_frame.h"

#include "core/frame_tables.h"

#include <algorithm>

namespace {

constexpr std::int32_t kLayer3 = 3;

bool IsMono(const std::uint8_t* header) {
    return (header[3] >> 6) == 3;
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
                                            const std::vector<std::uint8_t>& borrowed) {
    const std::int32_t sampleRate = SampleRateHzFor(versionId, header[2] >> 2 & 3);
    const std::int32_t sideInfo = Layer3SideInfoBytes(versionId, IsMono(header));
    for (std::int32_t index = 1; index < 15; ++index) {
        const std::int64_t bitrate = std::int64_t{BitrateKbpsFor(versionId, kLayer3, index)} * 1000;
        const std::int32_t length = FrameLengthFor(versionId, kLayer3, bitrate, sampleRate, false);
        if (length - 4 - sideInfo < static_cast<std::int32_t>(borrowed.size()))
            continue;
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(length), 0);
        frame[0] = header[0];
        frame[1] = static_cast<std::uint8_t>(header[1] | 1);                   // no CRC
        frame[2] = static_cast<std::uint8_t>(index << 4 | (header[2] & 0x0D)); // unpadded
        frame[3] = header[3];
        std::copy(borrowed.begin(), borrowed.end(),
                  frame.end() - static_cast<std::ptrdiff_t>(borrowed.size()));
        return frame;
    }
    return {};
}
