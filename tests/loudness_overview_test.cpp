#include "core/audio_info.h"
#include "core/layer3_loudness.h"
#include "core/loudness_overview.h"
#include "media/mpeg_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

ScanSource SourceOf(const std::string& path) {
    TAudioInfo info;
    info.AnalyseFile(path);
    return ScanSource::From(path, info);
}

std::vector<std::uint8_t> DecodedLevels(const std::string& path) {
    std::vector<std::uint8_t> levels;
    DecodeFile(path, 0, [&](const DecodedFrame& frame) {
        std::int32_t peak = 0;
        for (const std::int16_t s : frame.Samples)
            peak = std::max(peak, std::abs(static_cast<std::int32_t>(s)));
        levels.push_back(LevelFromPeak(peak));
        return true;
    });
    return levels;
}

double MedianDb(std::vector<std::uint8_t> levels) {
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2] * kLoudnessDbPerStep;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t from,
                                std::size_t to) {
    return {v.begin() + static_cast<std::ptrdiff_t>(from),
            v.begin() + static_cast<std::ptrdiff_t>(std::min(to, v.size()))};
}

// 1.5 s each of silence, loud noise, silence, a quiet tone, silence: the
// estimate shows silence as silence and keeps loud and quiet apart by about
// what decoding measures (an estimate: within 15 dB). The decoder's output
// blurs the edges by up to two frames, so a frame counts as silent or sounding
// only when its neighbours decode alike.
TEST(LoudnessOverview, SilenceLoudAndQuietFramesAsDecoded) {
    const std::string path = DataPath("silence_loud_quiet.mp3");
    const LoudnessOverview overview = EstimateLoudness(SourceOf(path)).Value();
    const std::vector<std::uint8_t> decoded = DecodedLevels(path);
    ASSERT_EQ(overview.Levels.size(), decoded.size());
    for (std::size_t i = 2; i + 2 < decoded.size(); ++i) {
        SCOPED_TRACE(i);
        const auto around = {decoded[i - 2], decoded[i - 1], decoded[i], decoded[i + 1],
                             decoded[i + 2]};
        if (std::max(around) == 0) {
            EXPECT_EQ(overview.Levels[i], 0);
        } else if (std::min(around) > 0) {
            EXPECT_GT(overview.Levels[i], 0);
        }
    }
    // Frames well inside each sounding section (about 38 frames a second).
    struct Section {
        std::size_t From, To;
    };
    for (const Section s : {Section{66, 120}, Section{196, 246}}) {
        SCOPED_TRACE(s.From);
        EXPECT_NEAR(MedianDb(Slice(overview.Levels, s.From, s.To)),
                    MedianDb(Slice(decoded, s.From, s.To)), 15.0);
    }
    EXPECT_GT(MedianDb(Slice(overview.Levels, 66, 120)),
              MedianDb(Slice(overview.Levels, 196, 246)) + 20.0);
}

// Every version and rate of Layer III: one level per audio frame, near the
// decoded level on music, and checkpoints that land on frames.
TEST(LoudnessOverview, EveryLayerThreeFixtureNearDecodedLevels) {
    for (const char* name : {"cbr128_44k_joint.mp3", "cbr128_44k_info_frame.mp3", "vbr_v2_44k.mp3",
                             "vbr_mpeg2_22k_mono.mp3", "cbr16_mpeg25_8k_mono.mp3", "cbr320_48k.mp3",
                             "cbr128_id3v2_cover.mp3"}) {
        SCOPED_TRACE(name);
        const std::string path = DataPath(name);
        const ScanSource source = SourceOf(path);
        const LoudnessOverview overview = EstimateLoudness(source).Value();
        EXPECT_EQ(overview.FrameCount, PreloadScan(source).Value().FrameCount);
        ASSERT_EQ(static_cast<std::int64_t>(overview.Levels.size()), overview.FrameCount);
        const std::vector<std::uint8_t> decoded = DecodedLevels(path);
        EXPECT_NEAR(MedianDb(overview.Levels), MedianDb(decoded), 15.0);

        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(overview.Checkpoints.size(),
                  static_cast<std::size_t>((overview.FrameCount + 63) / 64));
        for (const std::int64_t offset : overview.Checkpoints)
            EXPECT_EQ(static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(offset)]), 0xFF);
        EXPECT_EQ(overview.CheckpointBefore(0),
                  source.Format.FirstFrameOffset +
                      (source.Format.HasInfoFrame ? source.Format.FirstFrameBytes : 0));
    }
}

// Layer II carries no side information to read: no levels, checkpoints only;
// a stop request ends the walk early.
TEST(LoudnessOverview, LayerTwoAndStop) {
    const ScanSource layer2 = SourceOf(DataPath("layer2_192k.mp3"));
    const LoudnessOverview overview = EstimateLoudness(layer2).Value();
    EXPECT_TRUE(overview.Levels.empty());
    EXPECT_EQ(overview.FrameCount, PreloadScan(layer2).Value().FrameCount);
    EXPECT_FALSE(overview.Checkpoints.empty());

    int asked = 0;
    const LoudnessOverview stopped =
        EstimateLoudness(SourceOf(DataPath("cbr128_44k_joint.mp3")), [&] {
            return ++asked > 2;
        }).Value();
    EXPECT_EQ(stopped.FrameCount, 2 * LoudnessOverview::kCheckpointEvery);
}

} // namespace
