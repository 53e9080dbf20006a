#include "core/frame_header.h"

#include "core/frame_tables.h"

#include <algorithm>

namespace {

const char* const kVersionTexts[4] = {"?!!", "1.0", "2.0", "2.5"};
const char* const kLayerTexts[4] = {"?!!", "I", "II", "III"};
const char* const kChannelModeTexts[4] = {"Stereo", "Joint Stereo", "Dual", "Mono"};

std::string TextAt(const char* const (&table)[4], std::int32_t index) {
    return index >= 0 && index < 4 ? table[index] : "?!!";
}

} // namespace

bool TMpegFrameHdr::Decode(const std::uint8_t* data, std::int64_t available) {
    if (available < 4)
        return false;
    std::copy(data, data + 4, RawHeader.begin());
    VersionId = Version();
    Bitrate = BitrateKbps();
    SampleRate = SampleRateHz();
    FrameBytes = FrameLength();
    Valid = IsValid();
    return Valid;
}

std::int64_t TMpegFrameHdr::FindHeader(const std::uint8_t* data, std::int64_t count) {
    for (std::int64_t i = 0; i + 4 <= count; ++i) {
        if (data[i] == 0xFF && (data[i + 1] & 0xE0) == 0xE0 && Decode(data + i, count - i))
            return i;
    }
    return -1;
}

bool TMpegFrameHdr::IsValid() const {
    return HasSync() && VersionId != 0 && Layer() != 0 && Bitrate != -1 && SampleRate != -1;
}

bool TMpegFrameHdr::HasSync() const {
    return RawHeader[0] == 0xFF && (RawHeader[1] & 0xE0) == 0xE0;
}

std::int32_t TMpegFrameHdr::Version() const {
    static const std::int32_t kByBits[4] = {3, 0, 2, 1};
    return kByBits[(RawHeader[1] >> 3) & 3];
}

std::int32_t TMpegFrameHdr::Layer() const {
    return (4 - ((RawHeader[1] >> 1) & 3)) % 4;
}

std::int32_t TMpegFrameHdr::ChannelMode() const {
    return RawHeader[3] >> 6;
}

std::string TMpegFrameHdr::VersionText() const {
    return TextAt(kVersionTexts, VersionId);
}

std::string TMpegFrameHdr::LayerText() const {
    return TextAt(kLayerTexts, Layer());
}

std::string TMpegFrameHdr::ChannelModeText() const {
    return TextAt(kChannelModeTexts, ChannelMode());
}

std::int32_t TMpegFrameHdr::BitrateKbps() const {
    const std::int32_t layer = Layer();
    if (VersionId < 1 || VersionId > 3 || layer == 0)
        return -1;
    return BitrateKbpsFor(VersionId, layer, RawHeader[2] >> 4);
}

std::int32_t TMpegFrameHdr::BitrateBps() const {
    return Bitrate * 1000;
}

std::int32_t TMpegFrameHdr::SampleRateHz() const {
    if (VersionId < 1 || VersionId > 3)
        return -1;
    return SampleRateHzFor(VersionId, (RawHeader[2] >> 2) & 3);
}

bool TMpegFrameHdr::HasPadding() const {
    return (RawHeader[2] & 0x02) != 0;
}

std::int32_t TMpegFrameHdr::PaddingSize() const {
    if (!HasPadding())
        return 0;
    return Layer() == 1 ? 4 : 1;
}

std::int32_t TMpegFrameHdr::FrameLength() const {
    return FrameLengthFor(VersionId, Layer(), BitrateBps(), SampleRate, HasPadding());
}
