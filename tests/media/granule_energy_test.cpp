#include "../talks.h"
#include "media/frame_survey.h"
#include "media/granule_energy.h"
#include "media/level_bounds.h"
#include "media/mpeg_decoder.h"
#include "split/pause_cuts.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

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
TEST(GranuleEnergy, EstimatesKeepTheirMarginsAgainstAWholeDecode) {
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

// Each frame's granule energies as one pass of GranuleEnergy gives them,
// with the frame's main_data_begin.
struct FrameEnergy {
    std::array<double, 2> Energy{};
    std::uint32_t MainDataBegin = 0;
};
std::vector<FrameEnergy> FrameEnergies(const std::string& path, double enough) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    MpegDecoder decoder;
    decoder.Feed(bytes);
    GranuleEnergy spectrum(enough);
    std::vector<FrameEnergy> frames;
    while (const std::optional<ReadFrame> frame = decoder.Read()) {
        const std::size_t crc = ((frame->Header >> 16) & 1) == 0 ? 2 : 0;
        const std::uint32_t begin = frame->Body.size() > crc + 1
                                        ? (frame->Body[crc] << 8 | frame->Body[crc + 1]) >>
                                              (frame->Header >> 19 & 1 ? 7 : 8)
                                        : 0;
        frames.push_back({spectrum.Frame(frame->Header, frame->Body), begin});
    }
    return frames;
}

// A granule is estimated only from main data at hand, and a pass that stops
// once a granule holds enough energy gives at least that (or all it holds)
// and never more than the whole pass.
TEST(GranuleEnergy, EstimatesOnlyFromMainDataAtHandAndStopsOnceEnough) {
    struct Case {
        const char* Name;
        bool Layer3;
    };
    for (const Case c : {Case{"cbr128_44k_joint.mp3", true}, Case{"vbr_mpeg2_22k_mono.mp3", true},
                         Case{"cbr32_32k_reservoir.mp3", true}, Case{"layer2_192k.mp3", false}}) {
        SCOPED_TRACE(c.Name);
        const std::vector<FrameEnergy> whole = FrameEnergies(DataPath(c.Name), INFINITY);
        ASSERT_GT(whole.size(), 10u);
        std::size_t known = 0;
        for (const FrameEnergy& frame : whole)
            known += std::isnan(frame.Energy[0]) ? 0 : 1;
        EXPECT_EQ(known > whole.size() - 3, c.Layer3);
        // The first frame's main data cannot reach back before it.
        EXPECT_EQ(std::isnan(whole.front().Energy[0]),
                  whole.front().MainDataBegin > 0 || !c.Layer3);
        for (const double enough : {1e-6, 1e-3, 1.0}) {
            const std::vector<FrameEnergy> stopped = FrameEnergies(DataPath(c.Name), enough);
            ASSERT_EQ(stopped.size(), whole.size());
            for (std::size_t f = 0; f < whole.size(); ++f)
                for (std::size_t g = 0; g < 2; ++g) {
                    const double all = whole[f].Energy[g];
                    const double part = stopped[f].Energy[g];
                    if (std::isnan(all)) {
                        EXPECT_TRUE(std::isnan(part));
                        continue;
                    }
                    EXPECT_LE(part, all * (1 + 1e-9)) << f;
                    EXPECT_GE(part, std::min(all, enough) * (1 - 1e-9)) << f;
                }
        }
    }
}

// Random main data under every version, mode and rate (reservoir, scale
// factors, tables and linbits all out of range) gives each granule a finite
// energy or none, and never reads past what it was given.
TEST(GranuleEnergy, RandomBytesGiveAnEnergyOrNone) {
    std::mt19937 random(7);
    for (const std::uint32_t version : {3u, 2u, 0u})
        for (const std::uint32_t mode : {0u, 1u, 3u}) {
            GranuleEnergy spectrum;
            for (int f = 0; f < 300; ++f) {
                const std::uint32_t header = 0xFFE20000u | version << 19 |
                                             (random() % 15 + 1) << 12 | (random() % 3) << 10 |
                                             mode << 6 | (random() % 4) << 4;
                std::vector<std::uint8_t> body(random() % 1500);
                for (std::uint8_t& b : body)
                    b = static_cast<std::uint8_t>(random());
                for (const double energy : spectrum.Frame(header, body))
                    EXPECT_TRUE(std::isnan(energy) || (energy >= 0 && std::isfinite(energy)));
            }
        }
}

} // namespace
