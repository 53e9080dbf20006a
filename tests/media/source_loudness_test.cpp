#include "../frame_stream.h"
#include "core/audio_info.h"
#include "media/mpeg_decoder.h"
#include "media/source_loudness.h"

#include <cstdlib>
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

// Every frame has the level a whole decode gives it, in every layer, rate and
// kind of damage, and in minute-long files whose pieces are decoded apart and
// on threads (VBR, whose bit reservoir reaches across the pieces' edges; a
// rate of half as many samples a frame). A stop ends the work early; a file
// gone since its analysis is an error.
TEST(SourceLoudness, EveryFrameHasTheLevelOfAWholeDecode) {
    frame_stream::TempDir dir;
    const std::string wav = (dir.Path() / "minute.wav").string();
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav +
                           "' synth 20 pinknoise vol 0.3 : synth 20 sine 440 vol -40dB : "
                           "synth 20 sine 100:8000 vol 0.5")
                              .c_str()),
              0);
    std::vector<std::string> minutes;
    for (const char* options : {"-V 2", "-b 32 --resample 22.05 -m m"}) {
        minutes.push_back(
            (dir.Path() / ("minute" + std::to_string(minutes.size()) + ".mp3")).string());
        ASSERT_EQ(std::system(("lame --quiet " + std::string(options) + " '" + wav + "' '" +
                               minutes.back() + "'")
                                  .c_str()),
                  0);
    }
    struct Case {
        std::string Path;
        std::int64_t Frames;
    };
    for (const Case& c :
         {Case{DataPath("cbr128_44k_joint.mp3"), 308},
          Case{DataPath("cbr128_44k_info_frame.mp3"), 308}, Case{DataPath("layer2_192k.mp3"), 307},
          Case{DataPath("silence_loud_quiet.mp3"), 315},
          Case{DataPath("cbr32_32k_reservoir.mp3"), 85},
          Case{DataPath("junk_between_frames.mp3"), 308},
          Case{DataPath("truncated_last_frame.mp3"), 307},
          Case{DataPath("cbr16_mpeg25_8k_mono.mp3"), 114}, Case{minutes[0], 2298},
          Case{minutes[1], 2299}}) {
        SCOPED_TRACE(c.Path);
        const ScanSource source = SourceOf(c.Path);
        const Result<LoudnessOverview> overview = SourceLoudness(source);
        ASSERT_TRUE(overview);
        const LoudnessOverview& o = overview.Value();
        EXPECT_EQ(o.FrameCount, c.Frames);
        EXPECT_EQ(o.MeasuredFrames, o.FrameCount);
        ASSERT_EQ(static_cast<std::int64_t>(o.Levels.size()), o.FrameCount);
        std::size_t frame = 0;
        DecodeFile(c.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& decoded) {
            EXPECT_EQ(o.Levels[frame], LevelFromSamples(decoded.Samples)) << "frame " << frame;
            return ++frame < o.Levels.size();
        });
        EXPECT_EQ(static_cast<std::int64_t>(frame), o.FrameCount);
    }

    const ScanSource layer2 = SourceOf(DataPath("layer2_192k.mp3"));
    const Result<LoudnessOverview> stopped = SourceLoudness(layer2, [] { return true; });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped.Value().MeasuredFrames, 0);

    ScanSource gone = SourceOf(DataPath("cbr128_44k_joint.mp3"));
    gone.Path = DataPath("no_such_file.mp3");
    EXPECT_FALSE(SourceLoudness(gone));
}

} // namespace
