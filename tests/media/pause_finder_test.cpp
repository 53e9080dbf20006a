#include "../frame_stream.h"
#include "../talks.h"
#include "media/frame_survey.h"
#include "media/level_bounds.h"
#include "media/pause_finder.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <random>

namespace {

using frame_stream::Bytes;
using frame_stream::TempDir;

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

using talks::WholeDecodeLevels;

// The talk with 6000 random bytes written over the middle of its 2 s pause
// and 3000 inserted into a sentence.
Bytes Talk() {
    std::ifstream in(DataPath("talk_pauses_64k_mono.mp3"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string DamagedTalk(const TempDir& folder) {
    Bytes bytes = Talk();
    std::mt19937 random(23);
    for (std::size_t i = 0; i < 6000; ++i)
        bytes[108000 + i] = static_cast<std::uint8_t>(random());
    Bytes junk(3000);
    for (std::uint8_t& b : junk)
        b = static_cast<std::uint8_t>(random());
    bytes.insert(bytes.begin() + 40000, junk.begin(), junk.end());
    return folder.Write("damaged.mp3", bytes);
}

// The talk with bits of the side information of every third frame flipped:
// gains, tables and window types a decoder gives up on or plays as noise.
std::string SideDamagedTalk(const TempDir& folder) {
    const std::string path = DataPath("talk_pauses_64k_mono.mp3");
    Bytes bytes = Talk();
    std::mt19937 random(2);
    DecodeFile(path, 0, [&](const DecodedFrame& frame) {
        if (frame.Index % 3 == 1)
            for (int flip = 0; flip < 3; ++flip)
                bytes[static_cast<std::size_t>(frame.StreamOffset + 4 + random() % 17)] ^=
                    static_cast<std::uint8_t>(1u << (random() % 8));
        return true;
    });
    return folder.Write("side_damaged.mp3", bytes);
}

// The talk with three frame headers written into the frames just past its
// middle, a frame's length apart: a walk begun at the middle takes them for frames.
std::string FalseSyncTalk(const TempDir& folder) {
    Bytes bytes = Talk();
    const std::uint8_t header[] = {0xFF, 0xFB, 0x90, 0xC4}; // 128 kbit/s: 417 bytes
    for (std::size_t k = 0; k < 3; ++k)
        std::copy(std::begin(header), std::end(header),
                  bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2 + 10 + 417 * k));
    return folder.Write("false_sync.mp3", bytes);
}

// No window of a whole decode is louder than the bound the side information
// sets it, over every rate, mode and version of Layer III at hand, loud noise
// and damage included; the bound is close enough to tell a talk's pauses.
TEST(LevelBounds, NoWindowDecodesLouderThanItsBound) {
    const TempDir scratch;
    struct Case {
        std::string Path;
        double ShareUnder45Db; // of the windows, at least
    };
    const std::vector<Case> cases = {
        {DataPath("talk_pauses_64k_mono.mp3"), 0.2},
        {DamagedTalk(scratch), 0.2},
        {SideDamagedTalk(scratch), 0.1},
        {DataPath("cbr128_44k_joint.mp3"), 0.0},
        {DataPath("silence_loud_quiet.mp3"), 0.3},
        {DataPath("tone_silence.mp3"), 0.2},
        {DataPath("vbr_v2_44k.mp3"), 0.0},
        {DataPath("vbr_mpeg2_22k_mono.mp3"), 0.0},
        {DataPath("cbr16_mpeg25_8k_mono.mp3"), 0.0},
        {DataPath("cbr320_48k.mp3"), 0.0},
        {DataPath("cbr32_32k_reservoir.mp3"), 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        const SurveyResult surveyed = SurveyFrames(c.Path, 0, [](double) { return true; });
        const LevelBounds bounds(surveyed.Survey);
        const std::vector<float> whole = WholeDecodeLevels(c.Path);
        std::size_t louder = 0;
        std::size_t quiet = 0;
        for (std::size_t w = 0; w < whole.size(); ++w) {
            const float bound = bounds.Db(static_cast<std::int64_t>(w));
            louder += whole[w] > bound ? 1 : 0;
            quiet += bound < -45.0f ? 1 : 0;
        }
        EXPECT_EQ(louder, 0u);
        EXPECT_GE(static_cast<double>(quiet), c.ShareUnder45Db * static_cast<double>(whole.size()));
    }
    // Layer II has no such side information.
    const SurveyResult layer2 =
        SurveyFrames(DataPath("layer2_192k.mp3"), 0, [](double) { return true; });
    const LevelBounds layer2Bounds(layer2.Survey);
    for (std::int64_t w = 0; w < 100; ++w)
        ASSERT_TRUE(std::isinf(layer2Bounds.Db(w)));
}

// The search decodes only around the pauses, yet every level it measured is
// the whole decode's (to the bit but past damage, where the decoder's rounding
// may differ by a step), every stretch under the threshold as long as
// a pause is measured whole, and so every setting it covers gives the same cuts.
TEST(MeasureLevels, DecodesAroundPausesAndCutsAsAWholeDecode) {
    const TempDir scratch;
    const std::string damaged = DamagedTalk(scratch);
    struct Case {
        std::string Path;
        PauseSettings Cover;
        double MostDecoded; // share of the frames
    };
    const std::vector<Case> cases = {
        {DataPath("talk_pauses_64k_mono.mp3"), {-45.0, 800}, 0.3},
        {DataPath("talk_pauses_64k_mono.mp3"), {-45.0, 250}, 0.7},
        {DataPath("talk_pauses_64k_mono.mp3"), {-25.0, 100}, 1.3},
        {damaged, {-45.0, 800}, 1.1},
        {FalseSyncTalk(scratch), {-45.0, 800}, 0.6},
        {DataPath("tone_silence.mp3"), {-45.0, 800}, 1.1},
        {DataPath("silence_loud_quiet.mp3"), {-30.0, 500}, 1.1},
        {DataPath("vbr_v2_44k.mp3"), {-50.0, 800}, 1.1},
        {DataPath("vbr_mpeg2_22k_mono.mp3"), {-30.0, 200}, 1.1},
        {DataPath("cbr32_32k_reservoir.mp3"), {-20.0, 100}, 1.1},
        {DataPath("cbr16_mpeg25_8k_mono.mp3"), {-20.0, 100}, 1.1},
        {DataPath("layer2_192k.mp3"), {-20.0, 100}, 1.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path + " under " + std::to_string(c.Cover.ThresholdDb) + " dB for " +
                     std::to_string(c.Cover.MinMs) + " ms");
        std::vector<double> shares;
        const LevelScan scan = MeasureLevels(c.Path, 0, c.Cover, [&shares](double done) {
            shares.push_back(done);
            return true;
        });
        ASSERT_TRUE(scan.Error.empty()) << scan.Error;
        // The bar only grows, and stays short of the whole until the caller is done.
        ASSERT_FALSE(shares.empty());
        EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
        EXPECT_GT(shares.back(), 0.75);
        EXPECT_LT(shares.back(), 1.0);
        const std::vector<float> whole = WholeDecodeLevels(c.Path);
        ASSERT_EQ(scan.LevelsDb.size(), whole.size());
        // Left out: loud windows, and quiet ones too short a stretch to be a pause.
        const std::size_t minWindows = static_cast<std::size_t>(c.Cover.MinMs / kLevelWindowMs);
        std::vector<std::size_t> wrong;
        // A window the side information bounds holds a bound under the threshold.
        const auto check = [&](std::size_t w, bool mustBeMeasured) {
            const float level = scan.LevelsDb[w];
            const bool bounded = scan.HighestBoundDb && level <= *scan.HighestBoundDb &&
                                 level < c.Cover.ThresholdDb && whole[w] <= level;
            const bool measured = std::abs(level - whole[w]) < 1e-3f || bounded;
            if (!measured && (mustBeMeasured || level != kUnmeasuredDb))
                wrong.push_back(w);
        };
        std::size_t quietSince = 0;
        for (std::size_t w = 0; w <= whole.size(); ++w) {
            if (w < whole.size() && whole[w] < c.Cover.ThresholdDb)
                continue;
            for (std::size_t q = quietSince; q < w; ++q)
                check(q, w - quietSince >= minWindows);
            if (w < whole.size())
                check(w, false);
            quietSince = w + 1;
        }
        EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, the first at window " << wrong[0]
                                   << ": " << scan.LevelsDb[wrong[0]] << " for " << whole[wrong[0]];
        for (const PauseSettings& settings :
             {c.Cover, PauseSettings{c.Cover.ThresholdDb - 12.0, c.Cover.MinMs},
              PauseSettings{c.Cover.ThresholdDb, c.Cover.MinMs * 3}})
            if (!scan.HighestBoundDb || settings.ThresholdDb > *scan.HighestBoundDb) {
                EXPECT_EQ(FindPauses(scan.LevelsDb, settings), FindPauses(whole, settings));
            }
        EXPECT_LE(scan.DecodedShare, c.MostDecoded);
        EXPECT_EQ(scan.Warnings.empty(), c.Path != damaged);
    }
}

// The search's cuts are a whole decode's, exactly, on talks whose pauses hold
// room noise of every colour from -45 to -85 dBFS or digital silence, at every
// rate, mode and bit rate mode, damaged or not, at thresholds from -30 to -60
// dBFS: every window is either decoded or proven on its side of the threshold.
TEST(MeasureLevels, CutsAsAWholeDecodeOnTalksWithNoisyPauses) {
    const TempDir scratch;
    std::vector<std::string> paths = talks::FamilyPaths();
    // The first talk with 3000 random bytes over its first pause and 2000 inserted in a sentence.
    Bytes damaged = [&] {
        std::ifstream in(paths.front(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }();
    std::mt19937 random(33);
    for (std::size_t i = 0; i < 3000; ++i)
        damaged[damaged.size() * 2 / 10 + i] = static_cast<std::uint8_t>(random());
    Bytes junk(2000);
    for (std::uint8_t& b : junk)
        b = static_cast<std::uint8_t>(random());
    damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() / 2), junk.begin(),
                   junk.end());
    paths.push_back(scratch.Write("damaged.mp3", damaged));
    std::size_t pausesSeen = 0;
    for (const std::string& path : paths) {
        ASSERT_FALSE(path.empty()) << "make-talk.sh failed";
        const std::vector<float> whole = WholeDecodeLevels(path);
        for (const double threshold : {-30.0, -45.0, -52.0, -60.0})
            for (const std::int32_t minMs : {800, 300}) {
                SCOPED_TRACE(path + " under " + std::to_string(threshold) + " dB for " +
                             std::to_string(minMs) + " ms");
                const PauseSettings settings{threshold, minMs};
                const LevelScan scan =
                    MeasureLevels(path, 0, settings, [](double) { return true; });
                ASSERT_TRUE(scan.Error.empty()) << scan.Error;
                const std::vector<Pause> expected = FindPauses(whole, settings);
                EXPECT_EQ(FindPauses(scan.LevelsDb, settings), expected);
                pausesSeen += expected.size();
            }
    }
    // The family holds pauses at every threshold: the cases compare cuts, not their absence.
    EXPECT_GT(pausesSeen, 200u);
}

} // namespace
