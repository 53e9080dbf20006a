#include "core/frame_header.h"
#include "core/frame_rule.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TMpegFrameHdr Decoded(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    const std::uint8_t bytes[4] = {b0, b1, b2, b3};
    TMpegFrameHdr header;
    header.Decode(bytes, 4);
    return header;
}

TEST(FrameHeader, DecodesMpeg1Layer3) {
    const TMpegFrameHdr h = Decoded(0xFF, 0xFB, 0x90, 0x64);
    EXPECT_TRUE(h.Valid);
    EXPECT_EQ(h.VersionId, 1);
    EXPECT_EQ(h.Layer(), 3);
    EXPECT_EQ(h.Bitrate, 128);
    EXPECT_EQ(h.BitrateBps(), 128000);
    EXPECT_EQ(h.SampleRate, 44100);
    EXPECT_FALSE(h.HasPadding());
    EXPECT_EQ(h.FrameBytes, 417);
    EXPECT_EQ(h.VersionText(), "1.0");
    EXPECT_EQ(h.LayerText(), "III");
    EXPECT_EQ(h.ChannelModeText(), "Joint Stereo");
    EXPECT_EQ(Decoded(0xFF, 0xFB, 0x92, 0x64).FrameBytes, 418);
}

TEST(FrameHeader, FrameLengthsByVersionAndLayer) {
    // MPEG 2 Layer III, index 8 = 64 kbit/s, 22050 Hz.
    const TMpegFrameHdr mpeg2 = Decoded(0xFF, 0xF3, 0x80, 0xC0);
    EXPECT_EQ(mpeg2.VersionId, 2);
    EXPECT_EQ(mpeg2.Bitrate, 64);
    EXPECT_EQ(mpeg2.SampleRate, 22050);
    EXPECT_EQ(mpeg2.FrameBytes, 208);
    EXPECT_EQ(mpeg2.ChannelModeText(), "Mono");
    // MPEG 1 Layer I, 32 kbit/s, 48000 Hz, padded: a 4-byte padding slot.
    const TMpegFrameHdr layer1 = Decoded(0xFF, 0xFF, 0x16, 0x00);
    EXPECT_EQ(layer1.Layer(), 1);
    EXPECT_EQ(layer1.LayerText(), "I");
    EXPECT_EQ(layer1.PaddingSize(), 4);
    EXPECT_EQ(layer1.FrameBytes, 36);
    // MPEG 1 Layer II, 192 kbit/s, 44100 Hz: Layer II row, coefficient 144.
    const TMpegFrameHdr layer2 = Decoded(0xFF, 0xFD, 0xA0, 0x00);
    EXPECT_EQ(layer2.Bitrate, 192);
    EXPECT_EQ(layer2.FrameBytes, 626);
    EXPECT_EQ(layer2.ChannelModeText(), "Stereo");
    // MPEG 2.5 (version bits 00), Layer III, 16 kbit/s, 8000 Hz.
    const TMpegFrameHdr mpeg25 = Decoded(0xFF, 0xE3, 0x28, 0x80);
    EXPECT_TRUE(mpeg25.Valid);
    EXPECT_EQ(mpeg25.VersionId, 3);
    EXPECT_EQ(mpeg25.VersionText(), "2.5");
    EXPECT_EQ(mpeg25.SampleRate, 8000);
    EXPECT_EQ(mpeg25.FrameBytes, 144);
    EXPECT_EQ(mpeg25.ChannelModeText(), "Dual");
}

TEST(FrameHeader, ReservedAndUnknownValuesAreInvalid) {
    const TMpegFrameHdr reservedVersion = Decoded(0xFF, 0xEB, 0x90, 0x64);
    EXPECT_FALSE(reservedVersion.Valid);
    EXPECT_EQ(reservedVersion.VersionId, 0);
    EXPECT_EQ(reservedVersion.VersionText(), "?!!");
    EXPECT_EQ(reservedVersion.Bitrate, -1);
    EXPECT_EQ(reservedVersion.SampleRate, -1);
    EXPECT_EQ(reservedVersion.FrameBytes, 0);

    const TMpegFrameHdr reservedLayer = Decoded(0xFF, 0xF9, 0x90, 0x64);
    EXPECT_FALSE(reservedLayer.Valid);
    EXPECT_EQ(reservedLayer.LayerText(), "?!!");
    EXPECT_EQ(reservedLayer.Bitrate, -1);

    const TMpegFrameHdr badBitrate = Decoded(0xFF, 0xFB, 0xF0, 0x64);
    EXPECT_FALSE(badBitrate.Valid);
    EXPECT_EQ(badBitrate.Bitrate, -1);

    const TMpegFrameHdr badRate = Decoded(0xFF, 0xFB, 0x9C, 0x64);
    EXPECT_FALSE(badRate.Valid);
    EXPECT_EQ(badRate.SampleRate, -1);
    EXPECT_EQ(badRate.FrameBytes, 0);

    // Free format is valid; its length is only the padding.
    const TMpegFrameHdr freeFormat = Decoded(0xFF, 0xFB, 0x02, 0x64);
    EXPECT_TRUE(freeFormat.Valid);
    EXPECT_EQ(freeFormat.Bitrate, 0);
    EXPECT_EQ(freeFormat.FrameBytes, 1);
}

TEST(FrameHeader, DecodeNeedsFourBytes) {
    TMpegFrameHdr h = Decoded(0xFF, 0xFB, 0x90, 0x64);
    const std::uint8_t other[3] = {0xFF, 0xF3, 0x80};
    EXPECT_FALSE(h.Decode(other, 3));
    EXPECT_TRUE(h.Valid);
    EXPECT_EQ(h.FrameBytes, 417);
    EXPECT_EQ(h.RawHeader[1], 0xFB);
}

TEST(FrameHeader, FindHeaderTakesFirstValidCandidate) {
    TMpegFrameHdr h;
    std::vector<std::uint8_t> buffer(20, 0x00);
    EXPECT_EQ(h.FindHeader(buffer.data(), 3), -1);
    // A sync pattern with a bad bitrate at 2, a valid header at 9.
    const std::uint8_t bad[4] = {0xFF, 0xFB, 0xF0, 0x64};
    const std::uint8_t good[4] = {0xFF, 0xFB, 0x90, 0x64};
    std::copy(bad, bad + 4, buffer.begin() + 2);
    std::copy(good, good + 4, buffer.begin() + 9);
    EXPECT_EQ(h.FindHeader(buffer.data(), buffer.size()), 9);
    EXPECT_TRUE(h.Valid);
    // The last four bytes of the buffer are searched too.
    EXPECT_EQ(h.FindHeader(buffer.data(), 13), 9);
    EXPECT_EQ(h.FindHeader(buffer.data(), 12), -1);
    // After a failed search the header holds the last rejected candidate.
    EXPECT_FALSE(h.Valid);
    EXPECT_EQ(h.RawHeader[2], 0xF0);
}

// The header and the frame rule walk the same frames: for every valid header
// with a bitrate they give the same length.
TEST(FrameHeader, LengthAgreesWithTheFrameRuleForEveryVersionAndLayer) {
    for (const std::uint8_t b1 : {0xFF, 0xFD, 0xFB, 0xF7, 0xF5, 0xF3, 0xE7, 0xE5, 0xE3}) {
        for (int b2 = 0; b2 < 256; ++b2) {
            const std::uint8_t bytes[4] = {0xFF, b1, static_cast<std::uint8_t>(b2), 0x00};
            TMpegFrameHdr h;
            if (!h.Decode(bytes, 4) || h.Bitrate == 0)
                continue;
            EXPECT_EQ(h.FrameBytes, EvaluateFrame(bytes, h.VersionId, h.Layer()).Length)
                << std::hex << int{b1} << " " << b2;
        }
    }
}

} // namespace
