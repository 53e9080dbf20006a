#include "../whole_decode.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

struct DecodeCase {
    const char* File;
    std::int32_t RateHz;
    std::int32_t Channels;
    std::size_t SamplesPerFrame; // per channel
    std::int64_t AudioFrames;    // as ffprobe counts them
};

// Every audio frame decodes to exactly one frame's samples in
// the source's own format: the information frame is not heard, nothing is trimmed.
TEST(MpegDecoder, DecodesEveryAudioFrameWhole) {
    const DecodeCase cases[] = {
        {"cbr128_44k_joint.mp3", 44100, 2, 1152, 308},
        {"cbr128_44k_info_frame.mp3", 44100, 2, 1152, 308},
        {"vbr_v2_44k.mp3", 44100, 2, 1152, 308},
        {"vbr_mpeg2_22k_mono.mp3", 22050, 1, 576, 309},
        {"cbr16_mpeg25_8k_mono.mp3", 8000, 1, 576, 114},
        {"layer2_192k.mp3", 44100, 2, 1152, 307},
        {"cbr128_id3v2_cover.mp3", 44100, 2, 1152, 308},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        std::int64_t frames = 0;
        bool wholeFrames = true;
        const std::string error = DecodeFile(DataPath(c.File), 0, [&](const DecodedFrame& f) {
            wholeFrames = wholeFrames && f.SampleRateHz == c.RateHz && f.Channels == c.Channels &&
                          f.Samples.size() == c.SamplesPerFrame * c.Channels && f.Index == frames;
            ++frames;
            return true;
        });
        EXPECT_EQ(error, "");
        EXPECT_TRUE(wholeFrames);
        EXPECT_EQ(frames, c.AudioFrames);
    }
}

// A stream fed from a frame in the middle decodes from there, and Restart
// forgets the previous stream entirely.
TEST(MpegDecoder, RestartsAtAnyFrame) {
    std::ifstream in(DataPath("cbr128_44k_joint.mp3"), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    constexpr std::size_t kFrameBytes = 417; // 128 kbit/s at 44.1 kHz, unpadded frames are 417
    MpegDecoder decoder;
    ASSERT_TRUE(decoder.Ready());
    decoder.Feed({bytes.data(), bytes.size() / 2});
    decoder.Restart();
    const std::size_t from = 100 * kFrameBytes;
    std::size_t offset = from;
    while (offset < bytes.size() && bytes[offset] != 0xFF)
        ++offset; // next frame's sync
    decoder.Feed({bytes.data() + offset, bytes.size() - offset});
    std::int64_t frames = 0;
    while (auto f = decoder.NextFrame()) {
        EXPECT_EQ(f->Index, frames);
        ++frames;
    }
    EXPECT_GT(frames, 308 - 110);
    EXPECT_LT(frames, 308 - 90);
}

} // namespace
