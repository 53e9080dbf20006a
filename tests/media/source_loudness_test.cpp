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

// Every frame draws as a whole decode draws it: the same level wherever
// either is over the floor, in every layer, rate and kind of damage, the
// pieces decoded apart and on threads. A -90 dBFS tone is known to be under
// the floor without decoding it (its frames hold 0, where a decode measures
// them). A stop ends the work early; a file gone since its analysis is an error.
TEST(SourceLoudness, EveryFrameDrawsAsAWholeDecodeDrawsIt) {
    frame_stream::TempDir dir;
    const std::string wav = (dir.Path() / "faint.wav").string();
    const std::string faint = (dir.Path() / "faint.mp3").string();
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav +
                           "' synth 2 sine 440 vol 0.5 : synth 6 sine 440 vol -90dB : "
                           "synth 2 sine 440 vol 0.5 && lame --quiet -b 128 '" +
                           wav + "' '" + faint + "'")
                              .c_str()),
              0);
    const auto floorLevel = static_cast<std::uint8_t>(255 + kLoudnessFloorDb / kLoudnessDbPerStep);
    struct Case {
        std::string Path;
        std::int64_t Frames;
        bool Undecoded; // has faint frames left undecoded
    };
    for (const Case& c :
         {Case{DataPath("cbr128_44k_joint.mp3"), 308, false},
          Case{DataPath("cbr128_44k_info_frame.mp3"), 308, false},
          Case{DataPath("layer2_192k.mp3"), 307, false},
          Case{DataPath("silence_loud_quiet.mp3"), 315, false},
          Case{DataPath("talk_pauses_64k_mono.mp3"), 997, false},
          Case{DataPath("cbr32_32k_reservoir.mp3"), 85, false},
          Case{DataPath("junk_between_frames.mp3"), 308, false},
          Case{DataPath("truncated_last_frame.mp3"), 307, false},
          Case{DataPath("vbr_mpeg2_22k_mono.mp3"), 309, false},
          Case{DataPath("cbr16_mpeg25_8k_mono.mp3"), 114, false}, Case{faint, 384, true}}) {
        SCOPED_TRACE(c.Path);
        const ScanSource source = SourceOf(c.Path);
        const Result<LoudnessOverview> overview = SourceLoudness(source);
        ASSERT_TRUE(overview);
        const LoudnessOverview& o = overview.Value();
        EXPECT_EQ(o.FrameCount, c.Frames);
        EXPECT_EQ(o.MeasuredFrames, o.FrameCount);
        ASSERT_EQ(static_cast<std::int64_t>(o.Levels.size()), o.FrameCount);
        std::size_t frame = 0;
        std::int64_t undecoded = 0;
        DecodeFile(c.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& decoded) {
            const std::uint8_t whole = LevelFromSamples(decoded.Samples);
            const std::uint8_t shown = o.Levels[frame];
            if (whole > floorLevel || shown > floorLevel) {
                EXPECT_EQ(shown, whole) << "frame " << frame;
            }
            undecoded += shown == 0 && whole != 0;
            return ++frame < o.Levels.size();
        });
        EXPECT_EQ(static_cast<std::int64_t>(frame), o.FrameCount);
        EXPECT_EQ(undecoded > 100, c.Undecoded) << undecoded;
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
