#pragma once

#include <array>
#include <cstdint>
#include <string>

// One decoded MPEG audio frame header. Its tables and frame length are the
// frame rule's own (core/frame_tables.h).
class TMpegFrameHdr {
public:
    std::array<std::uint8_t, 4> RawHeader{};
    bool Valid = false;
    std::int32_t VersionId = 0;  // 0 reserved, 1 MPEG 1, 2 MPEG 2, 3 MPEG 2.5
    std::int32_t Bitrate = 0;    // kbit/s; 0 free format; -1 unknown
    std::int32_t SampleRate = 0; // Hz; -1 unknown
    std::int32_t FrameBytes = 0;

    // Decodes the four bytes at data; with fewer than 4 available changes nothing.
    bool Decode(const std::uint8_t* data, std::int64_t available);
    // Offset of the first valid header in the buffer, or -1.
    std::int64_t FindHeader(const std::uint8_t* data, std::int64_t count);

    bool IsValid() const;
    bool HasSync() const;
    std::int32_t Version() const;
    std::int32_t Layer() const;
    std::int32_t ChannelMode() const;
    std::string VersionText() const;
    std::string LayerText() const;
    std::string ChannelModeText() const;
    std::int32_t BitrateKbps() const;
    std::int32_t BitrateBps() const;
    std::int32_t SampleRateHz() const;
    bool HasPadding() const;
    std::int32_t PaddingSize() const;
    std::int32_t FrameLength() const;
};
