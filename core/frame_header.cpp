#include "core/frame_header.h"

#include <algorithm>

namespace {

// kbit/s by [version row][layer - 1][bitrate index]; MPEG 2.5 uses the MPEG 2 rows.
const std::int32_t kBitrates[2][3][16] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    },
};

const std::int32_t kSampleRates[3][4] = {
    {44100, 48000, 32000, -1},
    {22050, 24000, 16000, -1},
    {11025, 12000, 8000, -1},
};

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
    return kBitrates[VersionId == 1 ? 0 : 1][layer - 1][RawHeader[2] >> 4];
}

std::int32_t TMpegFrameHdr::BitrateBps() const {
    return Bitrate * 1000;
}

std::int32_t TMpegFrameHdr::SampleRateHz() const {
    if (VersionId < 1 || VersionId > 3)
        return -1;
    return kSampleRates[VersionId - 1][(RawHeader[2] >> 2) & 3];
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
    if (SampleRate <= 0)
        return 0;
    const bool mpeg1 = VersionId == 1;
    const std::int64_t coefficient = Layer() == 1 ? (mpeg1 ? 48 : 24) : (mpeg1 ? 144 : 72);
    const std::int64_t bytes = static_cast<std::int64_t>(BitrateBps()) * coefficient / SampleRate;
    return static_cast<std::int32_t>(bytes) + PaddingSize();
}
