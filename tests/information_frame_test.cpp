#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "frame_stream.h"

#include <gtest/gtest.h>

namespace {

using frame_stream::Bytes;

std::uint32_t BigEndian(const Bytes& b, std::size_t at, int width = 4) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | b[at + static_cast<std::size_t>(i)];
    return value;
}

struct SourceFrames {
    Bytes Information;
    std::int32_t Marker = 0;
    PartFrameList All; // every audio frame of the source
};

// A LAME-made source with an information frame and no tag: its frames by the rule.
SourceFrames Walk(const std::string& name, std::int32_t versionId, std::int32_t channelMode) {
    const Bytes file = frame_stream::ReadFile(std::string(KERFLINE_TEST_DATA) + "/" + name);
    SourceFrames source;
    const std::int32_t infoLength = InformationFrameLength(file.data(), versionId);
    source.Information.assign(file.begin(), file.begin() + infoLength);
    source.Marker = InformationHeaderOffset(versionId, channelMode);
    for (std::size_t p = static_cast<std::size_t>(infoLength); p + 4 <= file.size();) {
        const FrameCandidate frame = EvaluateFrame(&file[p], versionId);
        if (!frame.Accepted || p + static_cast<std::size_t>(frame.Length) > file.size())
            break;
        source.All.Lengths.push_back(static_cast<std::uint16_t>(frame.Length));
        p += static_cast<std::size_t>(frame.Length);
    }
    source.All.FromSourceStart = source.All.ToSourceEnd = true;
    source.All.AudioCrc = Crc16(0, file.data() + infoLength, file.size() - infoLength);
    return source;
}

// Rebuilt for all its own frames, LAME's frame comes back as LAME wrote it,
// seek table aside (LAME's is its own estimate, and the tag's CRC covers it);
// parts get their own fields.
TEST(RebuildInformationFrame, ReproducesTheEncodersFieldsAndDescribesEachPart) {
    const struct {
        const char* Name;
        std::int32_t VersionId, ChannelMode;
    } fixtures[] = {{"vbr_v2_44k.mp3", 1, 1},
                    {"vbr_mpeg2_22k_mono.mp3", 2, 3},
                    {"cbr128_44k_info_frame.mp3", 1, 1}};
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.Name);
        const SourceFrames source = Walk(fixture.Name, fixture.VersionId, fixture.ChannelMode);
        const auto m = static_cast<std::size_t>(source.Marker);
        ASSERT_EQ(BigEndian(source.Information, m + 4), 0x0Fu);
        const std::size_t toc = m + 16, lame = m + 120;
        const Bytes whole = RebuildInformationFrame(source.Information, source.Marker, source.All);
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const bool ownEstimate = (i >= toc && i < toc + 100) || i >= lame + 34;
            if (!ownEstimate) {
                EXPECT_EQ(whole[i], source.Information[i]) << i;
            }
        }

        // A middle part: frames 10 to 59 of the source.
        PartFrameList middle;
        middle.Lengths.assign(source.All.Lengths.begin() + 10, source.All.Lengths.begin() + 60);
        middle.AudioCrc = 0x1234;
        const Bytes part = RebuildInformationFrame(source.Information, source.Marker, middle);
        std::uint32_t bytes = static_cast<std::uint32_t>(part.size());
        std::vector<std::uint32_t> starts;
        for (const std::uint16_t length : middle.Lengths) {
            starts.push_back(bytes);
            bytes += length;
        }
        EXPECT_EQ(BigEndian(part, m + 8), 50u);
        EXPECT_EQ(BigEndian(part, m + 12), bytes);
        for (std::size_t i = 0; i < 100; ++i)
            EXPECT_EQ(part[toc + i], starts[i / 2] * 256 / bytes) << i;
        EXPECT_EQ(BigEndian(part, lame + 21, 3), 0u); // neither delay nor padding
        EXPECT_EQ(BigEndian(part, lame + 28), bytes);
        EXPECT_EQ(BigEndian(part, lame + 32, 2), 0x1234u);
        EXPECT_EQ(BigEndian(part, lame + 34, 2), Crc16(0, part.data(), lame + 34));

        middle.FromSourceStart = true;
        const Bytes first = RebuildInformationFrame(source.Information, source.Marker, middle);
        EXPECT_EQ(BigEndian(first, lame + 21, 3),
                  BigEndian(source.Information, lame + 21, 3) & 0xFFF000);
        middle.FromSourceStart = false;
        middle.ToSourceEnd = true;
        const Bytes last = RebuildInformationFrame(source.Information, source.Marker, middle);
        EXPECT_EQ(BigEndian(last, lame + 21, 3),
                  BigEndian(source.Information, lame + 21, 3) & 0xFFF);
    }
}

// Frames of more than one bit rate behind an "Info" frame: readers must not
// take the length from the bit rate, so the frame says "Xing" and its LAME tag
// a VBR method; a "Xing" frame keeps its own method.
TEST(RebuildInformationFrame, MixedBitRatesAreMarkedVariable) {
    for (const auto& [name, method] :
         {std::pair{"cbr128_44k_info_frame.mp3", 4}, std::pair{"vbr_v2_44k.mp3", -1}}) {
        SCOPED_TRACE(name);
        SourceFrames source = Walk(name, 1, 1);
        const std::size_t lame = static_cast<std::size_t>(source.Marker) + 120;
        for (const bool mixed : {false, true}) {
            source.All.MixedBitrates = mixed;
            const Bytes frame =
                RebuildInformationFrame(source.Information, source.Marker, source.All);
            const bool marked = mixed && method >= 0;
            const auto markerOf = [&source](const Bytes& bytes) {
                return std::string(bytes.begin() + source.Marker,
                                   bytes.begin() + source.Marker + 4);
            };
            EXPECT_EQ(markerOf(frame), marked ? "Xing" : markerOf(source.Information));
            EXPECT_EQ(frame[lame + 9] & 0x0F,
                      marked ? method : source.Information[lame + 9] & 0x0F);
            EXPECT_EQ(BigEndian(frame, lame + 34, 2), Crc16(0, frame.data(), lame + 34));
        }
    }
}

TEST(RebuildInformationFrame, WritesOnlyTheFieldsTheFrameHolds) {
    Bytes frame(200, 0x55);
    std::copy_n("Xing\0\0\0\x03", 8, frame.begin() + 36); // frames and bytes, no table
    PartFrameList part;
    part.Lengths = {417, 418};
    const Bytes rebuilt = RebuildInformationFrame(frame, 36, part);
    EXPECT_EQ(BigEndian(rebuilt, 44), 2u);
    EXPECT_EQ(BigEndian(rebuilt, 48), 200u + 417 + 418);
    EXPECT_TRUE(std::equal(rebuilt.begin() + 52, rebuilt.end(), frame.begin() + 52));
    EXPECT_EQ(RebuildInformationFrame(frame, 21, part), frame); // no marker there
    EXPECT_EQ(RebuildInformationFrame(Bytes(40, 0), 36, part), Bytes(40, 0));
}

} // namespace

// Long runs take the folding paths (128-byte rounds, 64-byte ones, the tail by
// tables): each must give the CRC that one bit at a time gives.
TEST(Crc16, EveryLengthAndStartAgreesWithTheBitwiseCrc) {
    const auto bitwise = [](std::uint16_t crc, const std::uint8_t* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
        return crc;
    };
    Bytes data(5000);
    std::uint32_t seed = 12345;
    for (std::uint8_t& byte : data) {
        seed = seed * 1664525 + 1013904223;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    for (const std::size_t count : {0, 1, 63, 1023, 1024, 1088, 1151, 1152, 4096, 4999})
        for (const std::uint16_t start : {0x0000, 0xBEEF})
            EXPECT_EQ(Crc16(start, data.data() + 1, count), bitwise(start, data.data() + 1, count))
                << count << " bytes from " << start;
}
