#include "cli_run.h"
#include "core/bridge_frame.h"
#include "core/information_frame.h"
#include "frame_stream.h"
#include "split/audio_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using frame_stream::Bytes;
using frame_stream::ReadFile;
using frame_stream::TempDir;
using namespace cli_run;
using Frames = std::vector<Bytes>;

Frames AudioFrames(const std::string& path) {
    Result<AudioFile> file = OpenAudioFile(path);
    EXPECT_TRUE(file.Ok()) << path;
    AudioFrameReader reader;
    Frames frames;
    if (!file.Ok() || !reader.Open(file.Value()))
        return frames;
    for (std::span<const std::uint8_t> frame; !(frame = reader.Next()).empty();)
        frames.emplace_back(frame.begin(), frame.end());
    return frames;
}

std::optional<GaplessTrim> TrimOf(const std::string& path) {
    Result<AudioFile> file = OpenAudioFile(path);
    return file.Ok() ? file.Value().Trim : std::nullopt;
}

// A part laid out as exact cuts lay them out: the source's information frame
// describing it, silent frames leading in, then source frames first..last.
std::string WriteExactLikePart(const fs::path& path, const Result<AudioFile>& source,
                               const Frames& frames, std::size_t first, std::size_t last,
                               GaplessTrim trim, int silent) {
    PartFrameList list{{}, false, false, 0, trim};
    Bytes audio;
    const Bytes silence = SilentLayer3Frame(frames[first].data(), 1);
    for (int i = 0; i < silent; ++i)
        audio.insert(audio.end(), silence.begin(), silence.end());
    for (int i = 0; i < silent; ++i)
        list.Lengths.push_back(static_cast<std::uint16_t>(silence.size()));
    for (std::size_t i = first; i <= last; ++i) {
        audio.insert(audio.end(), frames[i].begin(), frames[i].end());
        list.Lengths.push_back(static_cast<std::uint16_t>(frames[i].size()));
    }
    list.AudioCrc = Crc16(0, audio.data(), audio.size());
    const Bytes info =
        RebuildInformationFrame(source.Value().InformationFrame, source.Value().MarkerOffset, list);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(info.data()),
              static_cast<std::streamsize>(info.size()));
    out.write(reinterpret_cast<const char*>(audio.data()),
              static_cast<std::streamsize>(audio.size()));
    return path.string();
}

std::string Joined(const std::vector<std::string>& files) {
    std::string quoted;
    for (const std::string& file : files)
        quoted += Quoted(file) + " ";
    return quoted;
}

// Parts of one source join back into its frames: plain parts of adjacent
// sections end to end, parts laid out as exact ones with their shared frames
// kept once, but only where their LAME tags account for the repeat.
TEST(Join, PartsJoinBackIntoTheSourcesFrames) {
    const std::string vbr = Fixture("vbr_v2_44k.mp3");
    const Frames vbrFrames = AudioFrames(vbr);
    const Result<AudioFile> vbrFile = OpenAudioFile(vbr);
    ASSERT_EQ(vbrFrames.size(), 308u);
    const std::int32_t padding = vbrFile.Value().Trim->Padding;
    struct Case {
        std::string Name;
        std::string Source;
        std::string SplitOptions; // empty: exact-like parts
        std::int32_t EarlierPadding = 0;
        std::size_t ExtraFrames = 0; // frames beyond the source's
    };
    const std::vector<Case> cases = {
        {"plain CBR", Fixture("cbr128_44k_joint.mp3"), "--parts 4", 0, 0},
        {"plain VBR", vbr, "--parts 3 --rebuild-info-frame", 0, 0},
        {"plain CBR with Info frame", Fixture("cbr128_44k_info_frame.mp3"), "--parts 5", 0, 0},
        // Some of these begin with a frame that holds its own reservoir.
        {"exact mono", Fixture("vbr_v4_44k_mono.mp3"), "--parts 4 --exact", 0, 0},
        // Two shared frames and one silent lead-in frame: 3 × 1152 samples.
        {"exact", vbr, "", 3 * 1152 - 2000, 0},
        {"exact, trims that do not add up", vbr, "", 3 * 1152 - 2001, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir scratch;
        std::vector<std::string> parts;
        if (!c.SplitOptions.empty()) {
            ASSERT_EQ(RunCli("split " + Quoted(c.Source) + " -q --out " +
                                 Quoted(scratch.Path() / "parts") + " " + c.SplitOptions,
                             scratch)
                          .ExitCode,
                      0);
            for (const auto& entry : fs::directory_iterator(scratch.Path() / "parts"))
                parts.push_back(entry.path());
            std::sort(parts.begin(), parts.end());
        } else {
            parts = {WriteExactLikePart(scratch.Path() / "a.mp3", vbrFile, vbrFrames, 0, 99,
                                        {576, c.EarlierPadding}, 0),
                     WriteExactLikePart(scratch.Path() / "b.mp3", vbrFile, vbrFrames, 98, 307,
                                        {2000, padding}, 1)};
        }
        const fs::path out = scratch.Path() / "joined.mp3";
        const CliRun joined = RunCli("join " + Joined(parts) + "-o " + Quoted(out), scratch);
        ASSERT_EQ(joined.ExitCode, 0) << joined.Stderr;
        const Frames source = AudioFrames(c.Source);
        const Frames result = AudioFrames(out);
        if (c.ExtraFrames == 0) {
            EXPECT_EQ(result.size(), source.size());
            EXPECT_TRUE(result == source);
        } else {
            EXPECT_EQ(result.size(), source.size() + c.ExtraFrames);
        }
        // The first part's delay and the last one's padding.
        if (const std::optional<GaplessTrim> first = TrimOf(parts.front())) {
            const std::optional<GaplessTrim> whole = TrimOf(out);
            ASSERT_TRUE(whole.has_value());
            EXPECT_EQ(whole->Delay, first->Delay);
            EXPECT_EQ(whole->Padding, TrimOf(parts.back())->Padding);
        }
        // The first part's ID3v1 tag ends the file.
        const Bytes firstPart = ReadFile(parts.front());
        const Bytes whole = ReadFile(out);
        if (!c.SplitOptions.empty()) {
            EXPECT_TRUE(std::equal(firstPart.end() - 128, firstPart.end(), whole.end() - 128));
        }
    }
}

// Files that are not parts of one source join whole, every frame of each
// kept, even where the facing frames are alike; frames of several bit rates
// join with an information frame, which times the whole.
TEST(Join, OtherFilesKeepEveryFrame) {
    TempDir scratch;
    // sox's rate, then its effects (undithered: silence stays digital silence); lame's options.
    const auto made = [&scratch](const std::string& name, const std::string& rate,
                                 const std::string& effects, const std::string& lame) {
        const fs::path wav = scratch.Path() / (name + ".wav");
        const fs::path mp3 = scratch.Path() / (name + ".mp3");
        EXPECT_EQ(RunCommand("sox -D -n -b 16 -c 2 -r " + rate + " " + Quoted(wav) + " " + effects +
                                 " && lame --quiet " + lame + " " + Quoted(wav) + " " + Quoted(mp3),
                             scratch)
                      .ExitCode,
                  0);
        return mp3.string();
    };
    struct Case {
        std::string Name;
        std::vector<std::string> Files;
        std::string DurationMs; // what info reads of the joined file, if it is to be checked
    };
    const std::vector<Case> cases = {
        {"the first ending and the second beginning in digital silence",
         {made("tone_then_silence", "48000", "synth 1.5 sine 440 vol 0.5 pad 0 1",
               "--nores -b 128"),
          made("silence_then_tone", "48000", "synth 1.5 sine 440 vol 0.5 pad 1 0",
               "--nores -b 128")},
         ""},
        {"96 and 32 kbit/s at 32 kHz",
         {made("cbr96", "32000", "synth 8 brownnoise vol 0.5", "-b 96 -t"),
          Fixture("cbr32_32k_reservoir.mp3")},
         "11000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path out = scratch.Path() / "joined.mp3";
        fs::remove(out);
        const CliRun run = RunCli("join " + Joined(c.Files) + "-o " + Quoted(out), scratch);
        ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
        std::size_t frames = 0;
        for (const std::string& file : c.Files)
            frames += AudioFrames(file).size();
        EXPECT_EQ(AudioFrames(out).size(), frames);
        if (c.DurationMs.empty()) {
            EXPECT_TRUE(AudioFrames(c.Files[0]).back() == AudioFrames(c.Files[1]).front());
        } else {
            const Bytes joined = ReadFile(out);
            EXPECT_EQ(std::string(joined.begin() + 36, joined.begin() + 40), "Xing");
            const CliRun info = RunCli("info --json " + Quoted(out), scratch);
            EXPECT_NE(info.Stdout.find("\"duration_ms\": " + c.DurationMs), std::string::npos)
                << info.Stdout;
        }
    }
}

// Nothing is written over what must be kept, and nothing is left behind.
TEST(Join, RefusesAndKeepsWhatIsThere) {
    struct Case {
        std::string Name;
        std::vector<std::string> Files;
        bool OutIsFirstFile = false;
        bool OutExists = false;
        std::string Options;
        std::string Message;
    };
    const std::string cbr = Fixture("cbr128_44k_joint.mp3");
    const std::vector<Case> cases = {
        {"44.1 and 48 kHz",
         {cbr, Fixture("cbr320_48k.mp3")},
         false,
         false,
         "",
         "cbr320_48k.mp3: 48000 Hz where .*cbr128_44k_joint.mp3 has 44100 Hz"},
        {"MPEG 1 and MPEG 2",
         {cbr, Fixture("vbr_mpeg2_22k_mono.mp3")},
         false,
         false,
         "",
         "vbr_mpeg2_22k_mono.mp3: MPEG 2 where"},
        {"an existing file",
         {cbr, cbr},
         false,
         true,
         "",
         "joined.mp3: exists \\(see --overwrite\\)"},
        {"one of the files",
         {cbr, cbr},
         true,
         false,
         "--overwrite",
         "is one of the files being joined"},
        {"not audio", {cbr, Fixture("not_audio.mp3")}, false, false, "", "no MPEG audio frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir scratch;
        std::vector<std::string> files = c.Files;
        fs::path out = scratch.Path() / "joined.mp3";
        if (c.OutIsFirstFile) {
            fs::copy_file(files.front(), scratch.Path() / "first.mp3");
            files.front() = out = scratch.Path() / "first.mp3";
        }
        if (c.OutExists)
            std::ofstream(out) << "kept";
        const Bytes before = fs::exists(out) ? ReadFile(out) : Bytes{};
        const CliRun result =
            RunCli("join " + Joined(files) + "--out " + Quoted(out) + " " + c.Options, scratch);
        EXPECT_EQ(result.ExitCode, 1);
        EXPECT_TRUE(std::regex_search(result.Stderr, std::regex(c.Message))) << result.Stderr;
        EXPECT_EQ(fs::exists(out) ? ReadFile(out) : Bytes{}, before);
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.Path()))
            ++entries;
        EXPECT_EQ(entries, 2u + (fs::exists(out) ? 1u : 0u)); // stdout.txt, stderr.txt
    }
}

// verify finds each part in the source and tells whether it plays the
// source's samples; the exit code says whether every part was found.
TEST(Verify, TellsWhereEachPartComesFrom) {
    TempDir scratch;
    const std::string source = Fixture("vbr_v2_44k.mp3");
    ASSERT_EQ(RunCli("split " + Quoted(source) + " -q --parts 4 --rebuild-info-frame --out " +
                         Quoted(scratch.Path() / "parts"),
                     scratch)
                  .ExitCode,
              0);
    const std::string parts = (scratch.Path() / "parts/vbr_v2_44k_").string();
    // Part 1 joined to part 3: the source's frames, but not one run of them.
    const std::string joined = (scratch.Path() / "joined.mp3").string();
    ASSERT_EQ(
        RunCli("join " + Joined({parts + "001.mp3", parts + "003.mp3"}) + "-o " + Quoted(joined),
               scratch)
            .ExitCode,
        0);
    // Without the source's trim a part from the start plays its encoder delay.
    ASSERT_EQ(RunCli("split " + Quoted(source) + " -q --no-info-frame --section 0 1000 --out " +
                         Quoted(scratch.Path() / "untrimmed"),
                     scratch)
                  .ExitCode,
              0);
    // An exact part whose LAME tag says no delay plays its bridge and warm-up.
    const std::string exact = (scratch.Path() / "exact/vbr_v2_44k_001.mp3").string();
    ASSERT_EQ(RunCli("split " + Quoted(source) + " -q --exact --section 2500 4000 --out " +
                         Quoted(scratch.Path() / "exact"),
                     scratch)
                  .ExitCode,
              0);
    const Frames exactFrames = AudioFrames(exact);
    const GaplessTrim trim = TrimOf(exact).value_or(GaplessTrim{});
    const std::string early =
        WriteExactLikePart(scratch.Path() / "early.mp3", OpenAudioFile(exact), exactFrames, 0,
                           exactFrames.size() - 1, {0, trim.Padding}, 0);
    struct Case {
        std::vector<std::string> Parts;
        std::string Expected; // a line per part
        int ExitCode;
    };
    const std::vector<Case> cases = {
        {{parts + "001.mp3", parts + "003.mp3"},
         "vbr_v2_44k_001.mp3: exact, 00:00.000\u201300:01.986 \\(87599 samples\\)\n"
         ".*vbr_v2_44k_003.mp3: frames 155\u2013231 of .*vbr_v2_44k.mp3, not sample-exact: first "
         "difference at 00:04.0[0-9][0-9], peak \u2212[0-9]+\\.[0-9] dBFS\n",
         0},
        {{Fixture("cbr128_44k_joint.mp3")},
         "cbr128_44k_joint.mp3: not cut from .*vbr_v2_44k.mp3\n",
         1},
        {{source}, "vbr_v2_44k.mp3: exact, 00:00.000\u201300:08.000 \\(352800 samples\\)\n", 0},
        {{joined}, "joined.mp3: not cut from .*vbr_v2_44k.mp3\n", 1},
        {{(scratch.Path() / "untrimmed/vbr_v2_44k_001.mp3").string()},
         "vbr_v2_44k_001.mp3: frames 1\u201339 of .*vbr_v2_44k.mp3, not sample-exact: it plays "
         "1105 samples before the source's start\n",
         0},
        {{exact, early},
         "vbr_v2_44k_001.mp3: exact, 00:02.500\u201300:04.000 \\(66150 samples\\)\n"
         ".*early.mp3: frames [0-9]+\u2013[0-9]+ of .*vbr_v2_44k.mp3, not sample-exact: first "
         "difference at 00:02.4[0-9][0-9], peak \u2212[0-9]+\\.[0-9] dBFS\n",
         0},
    };
    for (const Case& c : cases) {
        const CliRun result = RunCli("verify " + Joined({source}) + Joined(c.Parts), scratch);
        EXPECT_EQ(result.ExitCode, c.ExitCode) << result.Stderr;
        EXPECT_TRUE(std::regex_search(result.Stdout, std::regex(c.Expected))) << result.Stdout;
    }
    const CliRun json = RunCli(
        "verify --json " + Joined({source, parts + "002.mp3", Fixture("cbr96_id3v1.mp3"),
                                   (scratch.Path() / "untrimmed/vbr_v2_44k_001.mp3").string()}),
        scratch);
    EXPECT_EQ(json.ExitCode, 1);
    EXPECT_TRUE(std::regex_search(json.Stdout, std::regex("\"result\": \"frames\"[^}]*"
                                                          "\"first_frame\": 78[^}]*\"peak_dbfs\"")))
        << json.Stdout;
    EXPECT_TRUE(std::regex_search(json.Stdout, std::regex("\"result\": \"not_cut\"")));
    // Samples before the source's first are counted, never a negative sample.
    EXPECT_TRUE(std::regex_search(json.Stdout,
                                  std::regex("\"start_sample\": 0,[^}]*\"end_sample\": 43823,\\s*"
                                             "\"samples_before_source\": 1105\\s*\\}")))
        << json.Stdout;
}

} // namespace
