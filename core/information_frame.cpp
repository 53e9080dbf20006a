#include "core/information_frame.h"

#include "core/bridge_frame.h"
#include "core/crc16_fold.h"
#include "core/frame_tables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace {

constexpr std::size_t kTocEntries = 100;
constexpr std::size_t kLameTagBytes = 36;
constexpr std::uint8_t kVbrMethod = 4;

enum XingFlag : std::uint32_t { kFrames = 1, kBytes = 2, kToc = 4, kQuality = 8 };

// Table k gives the CRC of a byte followed by k zero bytes, so sixteen
// bytes go in one step: the music CRC of an exact part runs over every byte
// it copies, and byte by byte it would cost more than the copy.
constexpr std::size_t kCrcSlices = 16;
using CrcTables = std::array<std::array<std::uint16_t, 256>, kCrcSlices>;

CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        tables[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < kCrcSlices; ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

std::uint32_t ReadBigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

void WriteBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value,
                    int width = 4) {
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

bool HasMarker(const std::vector<std::uint8_t>& frame, std::size_t at) {
    return at + 8 <= frame.size() &&
           (std::memcmp(&frame[at], "Xing", 4) == 0 || std::memcmp(&frame[at], "Info", 4) == 0);
}

// Entry i: where the frame at i percent of the part's frames begins, as a
// fraction of the byte count in 256ths.
void WriteSeekTable(std::vector<std::uint8_t>& frame, std::size_t at, const PartFrameList& part,
                    std::uint64_t byteCount) {
    const std::size_t count = part.Lengths.size();
    std::uint64_t offset = frame.size();
    std::size_t passed = 0;
    for (std::size_t i = 0; i < kTocEntries; ++i) {
        const std::size_t target = i * count / kTocEntries;
        for (; passed < target; ++passed)
            offset += part.Lengths[passed];
        frame[at + i] =
            static_cast<std::uint8_t>(std::min<std::uint64_t>(255, offset * 256 / byteCount));
    }
}

// A LAME tag follows the Xing fields: an encoder name, or failing that a tag
// whose own CRC holds.
bool HasLameTag(const std::vector<std::uint8_t>& frame, std::size_t at) {
    if (at + kLameTagBytes > frame.size())
        return false;
    for (const char* name : {"LAME", "Lavc", "Lavf"}) {
        if (std::memcmp(&frame[at], name, 4) == 0)
            return true;
    }
    const std::uint16_t stored = static_cast<std::uint16_t>(frame[at + 34] << 8 | frame[at + 35]);
    return Crc16(0, frame.data(), at + 34) == stored;
}

// Where the LAME tag would follow the fields the frame announces.
std::size_t LameTagOffset(const std::vector<std::uint8_t>& frame, std::size_t marker) {
    const std::uint32_t flags = ReadBigEndian(frame, marker + 4);
    std::size_t at = marker + 8;
    for (const auto& [flag, width] : {std::pair{kFrames, 4}, std::pair{kBytes, 4},
                                      std::pair{kToc, 100}, std::pair{kQuality, 4}}) {
        if ((flags & flag) != 0)
            at += static_cast<std::size_t>(width);
    }
    return at;
}

GaplessTrim TrimAt(const std::vector<std::uint8_t>& frame, std::size_t at) {
    return GaplessTrim{frame[at + 21] << 4 | frame[at + 22] >> 4,
                       (frame[at + 22] & 0x0F) << 8 | frame[at + 23]};
}

void RebuildLameTag(std::vector<std::uint8_t>& frame, std::size_t at, const PartFrameList& part,
                    std::uint32_t byteCount) {
    const GaplessTrim source = TrimAt(frame, at);
    const GaplessTrim trim = part.Trim.value_or(GaplessTrim{part.FromSourceStart ? source.Delay : 0,
                                                            part.ToSourceEnd ? source.Padding : 0});
    // Two 12-bit fields.
    const auto field = [](std::int32_t value) {
        return static_cast<std::uint32_t>(std::clamp(value, 0, 0xFFF));
    };
    WriteBigEndian(frame, at + 21, field(trim.Delay) << 12 | field(trim.Padding), 3);
    WriteBigEndian(frame, at + 28, byteCount);
    WriteBigEndian(frame, at + 32, part.AudioCrc, 2);
    WriteBigEndian(frame, at + 34, Crc16(0, frame.data(), at + 34), 2);
}

} // namespace

std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* data, std::size_t count) {
    static const CrcTables tables = MakeCrcTables();
    constexpr std::size_t kFoldFrom = 1024;
    if (std::array<std::uint8_t, 16> folded; count >= kFoldFrom) {
        // A whole number of the wide fold's 128-byte rounds.
        const std::size_t blocks = count / 128 * 128;
        if (FoldCrc16(crc, data, blocks, folded))
            return Crc16(Crc16(0, folded.data(), folded.size()), data + blocks, count - blocks);
    }
    std::size_t i = 0;
    for (; i + kCrcSlices <= count; i += kCrcSlices) {
        const std::uint8_t* block = data + i;
        std::uint32_t next = tables[kCrcSlices - 1][(crc ^ block[0]) & 0xFF] ^
                             tables[kCrcSlices - 2][(crc >> 8) ^ block[1]];
        for (std::size_t k = 2; k < kCrcSlices; ++k)
            next ^= tables[kCrcSlices - 1 - k][block[k]];
        crc = static_cast<std::uint16_t>(next);
    }
    for (; i < count; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ tables[0][(crc ^ data[i]) & 0xFF]);
    return crc;
}

std::vector<std::uint8_t> RebuildInformationFrame(std::vector<std::uint8_t> frame,
                                                  std::int32_t markerOffset,
                                                  const PartFrameList& part) {
    const auto marker = static_cast<std::size_t>(std::max(markerOffset, 0));
    if (!HasMarker(frame, marker))
        return frame;
    std::uint64_t bytes = frame.size();
    for (const std::uint16_t length : part.Lengths)
        bytes += length;
    const auto byteCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    const std::uint32_t flags = ReadBigEndian(frame, marker + 4);
    std::size_t at = marker + 8;
    // Each announced field in turn; one that runs past the frame ends the rebuild.
    const auto next = [&frame, &at, flags](XingFlag flag, std::size_t width) {
        if ((flags & flag) == 0)
            return std::optional<std::size_t>();
        const std::size_t field = at;
        at += width;
        return at <= frame.size() ? std::optional<std::size_t>(field) : std::nullopt;
    };
    if (const auto field = next(kFrames, 4))
        WriteBigEndian(
            frame, *field,
            static_cast<std::uint32_t>(part.Lengths.size() + (part.CountsItself ? 1 : 0)));
    if (const auto field = next(kBytes, 4))
        WriteBigEndian(frame, *field, byteCount);
    if (const auto field = next(kToc, kTocEntries))
        WriteSeekTable(frame, *field, part, bytes);
    next(kQuality, 4);
    const bool lameTag = HasLameTag(frame, at); // before the marker changes the tag's CRC
    const bool markVbr = part.MixedBitrates && std::memcmp(&frame[marker], "Info", 4) == 0;
    if (markVbr)
        std::copy_n("Xing", 4, frame.begin() + static_cast<std::ptrdiff_t>(marker));
    if (lameTag) {
        if (markVbr) // the method LAME's -V writes
            frame[at + 9] = static_cast<std::uint8_t>((frame[at + 9] & 0xF0) | kVbrMethod);
        RebuildLameTag(frame, at, part, byteCount);
    }
    return frame;
}

std::optional<GaplessTrim> ReadGaplessTrim(const std::vector<std::uint8_t>& frame,
                                           std::int32_t markerOffset) {
    const auto marker = static_cast<std::size_t>(std::max(markerOffset, 0));
    if (!HasMarker(frame, marker))
        return std::nullopt;
    const std::size_t at = LameTagOffset(frame, marker);
    if (!HasLameTag(frame, at))
        return std::nullopt;
    return TrimAt(frame, at);
}

namespace {

constexpr std::size_t kXingFieldBytes = 4 + 4 + 4 + 4 + kTocEntries + 4;

// The LAME tag an exact part carries: the source's, else one of its own
// whose only fields are those RebuildInformationFrame fills in.
std::vector<std::uint8_t> LameTagFor(const std::vector<std::uint8_t>& sourceFrame,
                                     std::int32_t sourceMarkerOffset) {
    const auto marker = static_cast<std::size_t>(std::max(sourceMarkerOffset, 0));
    if (HasMarker(sourceFrame, marker)) {
        const std::size_t at = LameTagOffset(sourceFrame, marker);
        if (HasLameTag(sourceFrame, at))
            return {sourceFrame.begin() + static_cast<std::ptrdiff_t>(at),
                    sourceFrame.begin() + static_cast<std::ptrdiff_t>(at + kLameTagBytes)};
    }
    std::vector<std::uint8_t> tag(kLameTagBytes, 0);
    std::copy_n(kOwnEncoder, 9, tag.begin());
    return tag;
}

// A frame of header's kind with room for the fields after marker: at the
// header's own bit rate where they fit, so a CBR part stays CBR.
std::vector<std::uint8_t> FrameHolding(const std::uint8_t* header, std::int32_t versionId,
                                       std::size_t marker) {
    const std::size_t needed = marker + kXingFieldBytes + kLameTagBytes;
    const std::int32_t sampleRate = SampleRateHzFor(versionId, header[2] >> 2 & 3);
    const std::int64_t bitrate = std::int64_t{BitrateKbpsFor(versionId, 3, header[2] >> 4)} * 1000;
    const auto length = bitrate > 0 ? FrameLengthFor(versionId, 3, bitrate, sampleRate, false) : 0;
    if (static_cast<std::size_t>(length) < needed)
        return SilentLayer3Frame(header, versionId, std::vector<std::uint8_t>(needed - marker));
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(length), 0);
    std::copy_n(header, 4, frame.begin());
    frame[1] |= 1;    // no CRC
    frame[2] &= 0xFD; // unpadded
    return frame;
}

} // namespace

std::vector<std::uint8_t> ExactInformationFrame(const std::vector<std::uint8_t>& sourceFrame,
                                                std::int32_t sourceMarkerOffset,
                                                const std::uint8_t* audioHeader,
                                                std::int32_t versionId, bool vbr) {
    const std::uint8_t* header = sourceFrame.size() >= 4 ? sourceFrame.data() : audioHeader;
    const bool mono = (header[3] >> 6) == 3;
    const auto marker = static_cast<std::size_t>(4 + Layer3SideInfoBytes(versionId, mono));
    const std::vector<std::uint8_t> lameTag = LameTagFor(sourceFrame, sourceMarkerOffset);
    std::vector<std::uint8_t> frame = FrameHolding(header, versionId, marker);
    if (frame.empty())
        return frame;
    std::copy_n(vbr ? "Xing" : "Info", 4, frame.begin() + static_cast<std::ptrdiff_t>(marker));
    WriteBigEndian(frame, marker + 4, kFrames | kBytes | kToc | kQuality);
    std::copy(lameTag.begin(), lameTag.end(),
              frame.begin() + static_cast<std::ptrdiff_t>(marker + kXingFieldBytes));
    return frame;
}

std::vector<std::uint8_t> ClearLevelFields(std::vector<std::uint8_t> frame,
                                           std::int32_t markerOffset) {
    const auto marker = static_cast<std::size_t>(markerOffset);
    if (marker + 8 > frame.size())
        return frame;
    const std::size_t at = LameTagOffset(frame, marker);
    if (!HasLameTag(frame, at))
        return frame;
    // The peak (4 bytes), then the radio and audiophile ReplayGain (2 each).
    std::fill_n(frame.begin() + static_cast<std::ptrdiff_t>(at + 11), 8, std::uint8_t{0});
    WriteBigEndian(frame, at + 34, Crc16(0, frame.data(), at + 34), 2);
    return frame;
}
