#include "split/pause_cuts.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Interleaved stereo: a loud sine for each positive length, silence for each negative (ms).
std::vector<std::int16_t> ToneAndSilence(const std::vector<int>& pieces, int rate) {
    std::vector<std::int16_t> samples;
    for (const int ms : pieces) {
        const int frames = std::abs(ms) * rate / 1000;
        for (int i = 0; i < frames; ++i) {
            const auto s = static_cast<std::int16_t>(
                ms > 0 ? 16000 * std::sin(2 * 3.14159265 * 440 * i / rate) : 0);
            samples.push_back(s);
            samples.push_back(s);
        }
    }
    return samples;
}

std::vector<std::int32_t> Cuts(const std::vector<int>& pieces, int rate,
                               const PauseSettings& settings, std::size_t chunk) {
    const std::vector<std::int16_t> samples = ToneAndSilence(pieces, rate);
    std::vector<float> levels;
    LevelWindows windows(levels, rate);
    windows.Begin(0);
    // Handed over in pieces of any size, as decoded frames come.
    for (std::size_t i = 0; i < samples.size(); i += chunk)
        windows.Add({samples.data() + i, std::min(chunk, samples.size() - i)}, 2);
    windows.EndOfAudio();
    std::vector<std::int32_t> cuts;
    for (const Pause& pause : FindPauses(levels, settings))
        cuts.push_back(pause.MiddleMs());
    return cuts;
}

TEST(PauseCuts, CutsInTheMiddleOfLongEnoughQuietStretchesOnly) {
    const PauseSettings defaults;
    struct Case {
        std::vector<int> Pieces;
        int Rate;
        PauseSettings Settings;
        std::vector<std::int32_t> Expected;
    };
    const std::vector<Case> cases = {
        {{2000, -1500, 2000, -1000, 1500}, 44100, defaults, {2750, 6000}},
        {{2000, -1500, 2000, -1000, 1500}, 22050, defaults, {2750, 6000}},
        // 0.5 s is too short a pause by default, long enough at 0.4 s.
        {{1000, -500, 1000}, 44100, defaults, {}},
        {{1000, -500, 1000}, 44100, {-45.0, 400}, {1250}},
        {{1000, -500, 1000}, 44100, {-45.0, 500}, {1250}}, // exactly the minimum
        // Lead-in and run-out silence are not pauses between parts.
        {{-2000, 1000, -2000}, 8000, defaults, {}},
        // A −20 dBFS threshold hears the −6 dBFS tone as loud still.
        {{1000, -900, 1000}, 48000, {-20.0, 800}, {1450}},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {std::size_t{1152 * 2}, std::size_t{14}}) {
            SCOPED_TRACE(testing::Message() << c.Rate << " Hz, chunk " << chunk);
            EXPECT_EQ(Cuts(c.Pieces, c.Rate, c.Settings, chunk), c.Expected);
        }
    }
}

TEST(PauseCuts, WithTooManyPausesTheLongestAreCutAtInOrderOfTime) {
    const std::vector<Pause> pauses = {{1000, 2000},  {3000, 5000},   {6000, 6900},
                                       {8000, 10000}, {11000, 12000}, {13000, 16000}};
    struct Case {
        std::size_t Count;
        std::vector<std::int32_t> Expected;
    };
    const std::vector<Case> cases = {
        {0, {}},
        {1, {14500}},
        {3, {4000, 9000, 14500}},
        {4, {1500, 4000, 9000, 14500}}, // of two as long, the earlier
        {6, {1500, 4000, 6450, 9000, 11500, 14500}},
        {999, {1500, 4000, 6450, 9000, 11500, 14500}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutsAtLongest(pauses, c.Count), c.Expected) << c.Count;
}

TEST(PauseCuts, SectionsRunBetweenTheCutsWithNumberedTitles) {
    TID3v1Tag tag;
    tag.Title = "Lecture";
    tag.Artist = "Prof";
    const std::vector<SplitListItem> sections = PauseSections({2750, 6000, 9999}, 8000, tag);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].StartMs, 0);
    EXPECT_EQ(sections[1].StartMs, 2750);
    EXPECT_EQ(sections[1].EndMs, 6000);
    EXPECT_EQ(sections[2].EndMs, 8000);
    EXPECT_EQ(sections[1].Title, "Lecture 02");
    EXPECT_EQ(sections[2].Artist, "Prof");
    EXPECT_EQ(PauseSections({}, 8000, TID3v1Tag())[0].Title, "Part 01");
}

} // namespace
