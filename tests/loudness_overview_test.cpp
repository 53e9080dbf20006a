#include "core/audio_info.h"
#include "core/loudness_overview.h"
#include "frame_stream.h"
#include "media/source_loudness.h"
#include "state/overview_view.h"
#include "whole_decode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

ScanSource SourceOf(const std::string& path) {
    TAudioInfo info;
    info.AnalyseFile(path);
    return ScanSource::From(path, info);
}

// Stretches of 3 s: loud noise, dithered silence, a -30 dBFS tone (RMS
// -33 dBFS), a loud sweep.
constexpr double kStretchSeconds = 3.0;
constexpr const char* kStretches =
    "synth 3 whitenoise vol 0.5 : trim 0 3 : synth 3 sine 440 vol -30dB : "
    "synth 3 sine 100:8000 vol 0.5";

double Db(double energyPerSample) {
    return 10.0 * std::log10(std::max(energyPerSample, 1e-12) / (32768.0 * 32768.0));
}

// The overview of a file encoded at CBR, VBR and ABR follows the decoded RMS
// of each stretch within 3 dB (energy averaged over the stretch's frames, half
// a second kept off each edge), shows silence as nothing above the strip's
// floor, and draws the quiet tone about half as high as the loud stretches.
TEST(LoudnessOverview, LevelsFollowDecodedRmsAtEveryBitrateMode) {
    frame_stream::TempDir dir;
    const std::string wav = (dir.Path() / "mix.wav").string();
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav + "' " + kStretches).c_str()), 0);
    for (const char* mode : {"-b 160", "-V 2", "--abr 128"}) {
        SCOPED_TRACE(mode);
        const std::string mp3 = (dir.Path() / "mix.mp3").string();
        ASSERT_EQ(
            std::system(
                ("lame --quiet " + std::string(mode) + " '" + wav + "' '" + mp3 + "'").c_str()),
            0);
        const LoudnessOverview overview = SourceLoudness(SourceOf(mp3)).Value();
        std::vector<double> decodedEnergy(4), shownEnergy(4), frames(4);
        std::vector<double> fewestShown(4, 1.0), mostShown(4, 0.0);
        std::int64_t sample = 0;
        std::size_t index = 0;
        DecodeFile(mp3, 0, [&](const DecodedFrame& frame) {
            const double seconds = static_cast<double>(sample) / 44100.0;
            sample += static_cast<std::int64_t>(frame.Samples.size()) / 2;
            const auto stretch = static_cast<std::size_t>(seconds / kStretchSeconds);
            const double inside = seconds - static_cast<double>(stretch) * kStretchSeconds;
            const std::uint8_t level = index < overview.Levels.size() ? overview.Levels[index] : 0;
            ++index;
            if (stretch >= 4 || inside < 0.5 || inside > kStretchSeconds - 0.5)
                return true;
            for (const std::int16_t s : frame.Samples)
                decodedEnergy[stretch] += static_cast<double>(s) * s;
            frames[stretch] += 1;
            const double levelDb = (level - 255) * kLoudnessDbPerStep;
            shownEnergy[stretch] += level == 0 ? 0.0 : std::pow(10.0, levelDb / 10.0);
            fewestShown[stretch] = std::min(fewestShown[stretch], ShownShare(level));
            mostShown[stretch] = std::max(mostShown[stretch], ShownShare(level));
            return true;
        });
        EXPECT_EQ(static_cast<std::int64_t>(overview.Levels.size()), overview.FrameCount);
        for (std::size_t s = 0; s < 4; ++s) {
            SCOPED_TRACE(s);
            ASSERT_GT(frames[s], 50);
            const double decodedDb = Db(decodedEnergy[s] / (frames[s] * 2304));
            const double shownDb = 10.0 * std::log10(std::max(shownEnergy[s] / frames[s], 1e-12));
            if (s == 1) {
                EXPECT_EQ(mostShown[s], 0.0) << "silence draws nothing";
            } else {
                EXPECT_NEAR(shownDb, decodedDb, 3.0);
            }
        }
        EXPECT_GT(fewestShown[0], 0.75);
        EXPECT_GT(fewestShown[3], 0.75);
        EXPECT_GT(fewestShown[2], 0.35);
        EXPECT_LT(mostShown[2], 0.6);
    }
}

} // namespace
