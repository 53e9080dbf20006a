#include "../frame_stream.h"
#include "../whole_decode.h"
#include "core/audio_info.h"
#include "media/source_loudness.h"

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

// Every frame has the level a whole decode gives it, in every layer, rate and
// kind of damage, and in minute-long files whose pieces are decoded apart and
// on threads (VBR, whose bit reservoir reaches across the pieces' edges; a
// rate of half as many samples a frame). The open's walk, whose checkpoints
// the pieces start at, keeps them on frames. A stop ends the work early; a
// file gone since its analysis is an error.
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
          Case{DataPath("cbr16_mpeg25_8k_mono.mp3"), 114}, Case{DataPath("vbr_v2_44k.mp3"), 0},
          Case{DataPath("vbr_mpeg2_22k_mono.mp3"), 309}, Case{DataPath("cbr320_48k.mp3"), 335},
          Case{DataPath("cbr128_id3v2_cover.mp3"), 308}, Case{minutes[0], 2298},
          Case{minutes[1], 2299}}) {
        SCOPED_TRACE(c.Path);
        const ScanSource source = SourceOf(c.Path);
        SourceWalk walk(source);
        const Result<LoudnessOverview> overview = SourceLoudness(walk);
        ASSERT_TRUE(overview);
        const LoudnessOverview& o = overview.Value();
        if (c.Frames > 0) {
            EXPECT_EQ(o.FrameCount, c.Frames);
        }
        EXPECT_EQ(o.MeasuredFrames, o.FrameCount);
        ASSERT_EQ(static_cast<std::int64_t>(o.Levels.size()), o.FrameCount);
        std::size_t frame = 0;
        DecodeFile(c.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& decoded) {
            EXPECT_EQ(o.Levels[frame], LevelFromSamples(decoded.Samples)) << "frame " << frame;
            return ++frame < o.Levels.size();
        });
        EXPECT_EQ(static_cast<std::int64_t>(frame), o.FrameCount);

        std::ifstream in(c.Path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        const std::vector<WalkPoint> checkpoints = walk.Checkpoints().All();
        ASSERT_EQ(checkpoints.size(), static_cast<std::size_t>((o.FrameCount + 63) / 64));
        for (const WalkPoint& point : checkpoints)
            EXPECT_EQ(static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(point.Position)]),
                      0xFF);
        EXPECT_EQ(checkpoints.front().Position,
                  source.Format.FirstFrameOffset +
                      (source.Format.HasInfoFrame ? source.Format.FirstFrameBytes : 0));
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
