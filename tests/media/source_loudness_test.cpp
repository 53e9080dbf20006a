#include "core/audio_info.h"
#include "media/source_loudness.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

ScanSource SourceOf(const std::string& path) {
    TAudioInfo info;
    info.AnalyseFile(path);
    return ScanSource::From(path, info);
}

// A level for every audio frame, read for Layer III and decoded for Layer II;
// silence is 0; a stop ends the work early; a file gone since its analysis is
// an error, not an empty overview.
TEST(SourceLoudness, ALevelPerFrameOfEveryLayer) {
    struct Case {
        const char* File;
        std::int64_t Frames;
        bool Silent; // has silent frames
    };
    for (const Case c :
         {Case{"cbr128_44k_joint.mp3", 308, false}, Case{"layer2_192k.mp3", 0, false},
          Case{"silence_loud_quiet.mp3", 0, true}}) {
        SCOPED_TRACE(c.File);
        const Result<LoudnessOverview> overview = SourceLoudness(SourceOf(DataPath(c.File)));
        ASSERT_TRUE(overview);
        const LoudnessOverview& o = overview.Value();
        if (c.Frames > 0) {
            EXPECT_EQ(o.FrameCount, c.Frames);
        }
        EXPECT_EQ(static_cast<std::int64_t>(o.Levels.size()), o.FrameCount);
        EXPECT_GT(*std::max_element(o.Levels.begin(), o.Levels.end()), 200);
        EXPECT_EQ(std::count(o.Levels.begin(), o.Levels.end(), 0) > 10, c.Silent);
    }

    const ScanSource layer2 = SourceOf(DataPath("layer2_192k.mp3"));
    const Result<LoudnessOverview> stopped = SourceLoudness(layer2, [] { return true; });
    ASSERT_TRUE(stopped);
    EXPECT_LE(stopped.Value().Levels.size(), 1U);

    ScanSource gone = SourceOf(DataPath("cbr128_44k_joint.mp3"));
    gone.Path = DataPath("no_such_file.mp3");
    EXPECT_FALSE(SourceLoudness(gone));
}

} // namespace
