#include "../talks.h"
#include "media/frame_survey.h"
#include "media/level_bounds.h"
#include "split/pause_cuts.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// The mean energy a whole decode measures over each stretch of `windows`
// windows, in dBFS, by first window.
std::vector<double> StretchLevels(const std::vector<float>& levels, std::int32_t rate,
                                  std::int64_t endSample, std::int64_t windows) {
    std::vector<double> sums(levels.size() + 1, 0.0);
    for (std::size_t w = 0; w < levels.size(); ++w) {
        const auto window = static_cast<std::int64_t>(w);
        const std::int64_t samples = std::min(endSample, LevelWindowStart(window + 1, rate)) -
                                     LevelWindowStart(window, rate);
        sums[w + 1] = sums[w] + std::pow(10.0, levels[w] / 10.0) * static_cast<double>(samples);
    }
    std::vector<double> stretches;
    for (std::int64_t w = 0; w + windows <= static_cast<std::int64_t>(levels.size()); ++w) {
        const std::int64_t samples =
            std::min(endSample, LevelWindowStart(w + windows, rate)) - LevelWindowStart(w, rate);
        stretches.push_back(10.0 * std::log10((sums[static_cast<std::size_t>(w + windows)] -
                                               sums[static_cast<std::size_t>(w)]) /
                                              static_cast<double>(samples)));
    }
    return stretches;
}

// The spectral estimates keep the margins the search takes them with, against
// libmpg123's decode of every fixture at hand and of the talks of every
// noise, rate and mode: no window decodes louder than its estimate plus
// kEstimateMarginDb, and no stretch the estimate puts over a level (by
// kStretchMarginDb) decodes under it, at any level and any pause length.
TEST(Layer3Spectrum, EstimatesKeepTheirMarginsAgainstAWholeDecode) {
    std::vector<std::string> paths = talks::FamilyPaths();
    for (const char* fixture :
         {"talk_pauses_64k_mono.mp3", "cbr128_44k_joint.mp3", "silence_loud_quiet.mp3",
          "tone_silence.mp3", "tone_440hz_6s.mp3", "vbr_v2_44k.mp3", "vbr_v4_44k_mono.mp3",
          "vbr_mpeg2_22k_mono.mp3", "cbr16_mpeg25_8k_mono.mp3", "cbr320_48k.mp3",
          "cbr32_32k_reservoir.mp3", "junk_between_frames.mp3", "cbr96_id3v1.mp3"})
        paths.push_back(DataPath(fixture));
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty()) << "make-talk.sh failed";
        const FrameSurvey survey = SurveyFrames(path, 0, [](double) { return true; }).Survey;
        const LevelBounds bounds(survey);
        const std::vector<float> whole = talks::WholeDecodeLevels(path);
        std::size_t estimated = 0;
        std::size_t louder = 0;
        for (std::size_t w = 0; w < whole.size(); ++w) {
            const float estimate = bounds.EstimatedDb(static_cast<std::int64_t>(w));
            estimated += std::isnan(estimate) ? 0 : 1;
            louder += whole[w] > estimate + kEstimateMarginDb ? 1 : 0;
        }
        EXPECT_EQ(louder, 0u);
        // Only the first frames (no reservoir yet) and damage go without.
        EXPECT_GE(estimated + 40, whole.size());
        for (const std::int64_t windows : {10, 30, 80}) {
            const std::vector<double> decoded =
                StretchLevels(whole, survey.Rate, survey.BlockStarts.back(), windows);
            std::size_t proven = 0;
            std::size_t quieter = 0;
            for (float level = -95.0f; level <= -5.0f; level += 2.5f) {
                const std::vector<bool> over = bounds.StretchesOver(windows, level);
                ASSERT_EQ(over.size(), decoded.size());
                for (std::size_t s = 0; s < over.size(); ++s) {
                    proven += over[s] ? 1 : 0;
                    quieter += over[s] && decoded[s] < level ? 1 : 0;
                }
            }
            EXPECT_EQ(quieter, 0u) << windows << " windows";
            // At 8 to 16 kHz a granule's synthesis reaches further than 100 ms.
            EXPECT_TRUE(proven > 0 || windows < 30);
        }
    }
}

} // namespace
