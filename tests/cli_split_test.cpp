#include "cli_run.h"
#include "frame_stream.h"
#include "kerfline_version.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using frame_stream::Bytes;
using frame_stream::ReadFile;
using frame_stream::TempDir;
using namespace cli_run;

CliRun Split(const std::string& source, const fs::path& out, const std::string& options,
             const TempDir& scratch) {
    return RunCommand(Quoted(KERFLINE_CLI) + " split " + Quoted(source) + " --out " +
                          Quoted(out.string()) + " " + options,
                      scratch);
}

std::vector<fs::path> PartsIn(const fs::path& folder) {
    std::vector<fs::path> parts;
    for (const auto& entry : fs::directory_iterator(folder))
        parts.push_back(entry.path());
    std::sort(parts.begin(), parts.end());
    return parts;
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class CliSplit : public ::testing::Test {
protected:
    fs::path NewFolder(const std::string& name) {
        const fs::path folder = scratch_.Path() / name;
        fs::create_directories(folder);
        return folder;
    }
    TempDir scratch_;
};

TEST_F(CliSplit, EveryPartOfEveryFixtureDecodesCleanly) {
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe is not installed";
    for (const char* name :
         {"cbr128_44k_joint.mp3", "cbr128_44k_info_frame.mp3", "vbr_v2_44k.mp3",
          "vbr_mpeg2_22k_mono.mp3", "cbr16_mpeg25_8k_mono.mp3", "cbr320_48k.mp3", "cbr96_id3v1.mp3",
          "cbr96_id3v1_track.mp3", "cbr128_id3v2_small.mp3", "cbr128_id3v2_cover.mp3",
          "junk_between_frames.mp3", "truncated_last_frame.mp3", "layer2_192k.mp3"}) {
        const fs::path out = NewFolder(std::string(name) + ".parts");
        const CliRun split =
            Split(Fixture(name), out,
                  "--parts 4 --overlap 00:00.7 --section 0 300 --section 7000 9000", scratch_);
        ASSERT_EQ(split.ExitCode, 0) << name << ": " << split.Stderr;
        EXPECT_EQ(split.Stderr, "") << name;
        const std::vector<fs::path> parts = PartsIn(out);
        ASSERT_EQ(parts.size(), 6u) << name;
        for (const fs::path& part : parts) {
            const CliRun probe = RunCommand("ffprobe -v error " + Quoted(part.string()), scratch_);
            EXPECT_EQ(probe.ExitCode, 0) << part;
            EXPECT_EQ(probe.Stderr, "") << part;
            EXPECT_GT(fs::file_size(part), 128u + 100u) << part;
        }
    }
}

TEST_F(CliSplit, InformationFrameIsKeptOrLeftOut) {
    const fs::path with = NewFolder("with");
    const fs::path without = NewFolder("without");
    ASSERT_EQ(Split(Fixture("vbr_v2_44k.mp3"), with, "--section 0 2000", scratch_).ExitCode, 0);
    ASSERT_EQ(
        Split(Fixture("vbr_v2_44k.mp3"), without, "--section 0 2000 --no-info-frame", scratch_)
            .ExitCode,
        0);
    const Bytes a = ReadFile((with / "vbr_v2_44k_001.mp3").string());
    const Bytes b = ReadFile((without / "vbr_v2_44k_001.mp3").string());
    ASSERT_GT(a.size(), 40u);
    ASSERT_GT(b.size(), 40u);
    EXPECT_EQ(std::string(a.begin() + 36, a.begin() + 40), "Xing");
    EXPECT_NE(std::string(b.begin() + 36, b.begin() + 40), "Xing");
    EXPECT_LT(b.size(), a.size());

    // An exact part needs its LAME tag to trim it: it keeps the frame whatever the option.
    const fs::path exact = NewFolder("exact");
    ASSERT_EQ(Split(Fixture("vbr_v2_44k.mp3"), exact, "--section 0 2000 --no-info-frame --exact",
                    scratch_)
                  .ExitCode,
              0);
    const Bytes c = ReadFile((exact / "vbr_v2_44k_001.mp3").string());
    ASSERT_GT(c.size(), 40u);
    EXPECT_EQ(std::string(c.begin() + 36, c.begin() + 40), "Xing");
    EXPECT_NE(c, a);
}

// Every reader reads ID3v2.3; ID3v2.4 only when asked for.
TEST_F(CliSplit, Id3v2TagsAreVersionThreeUnlessFourIsAskedFor) {
    for (const auto& [flag, version] : {std::pair{"--id3v2", 3}, std::pair{"--id3v2.4", 4}}) {
        const fs::path tagged = NewFolder("tagged" + std::to_string(version));
        ASSERT_EQ(Split(Fixture("cbr128_id3v2_cover.mp3"), tagged,
                        std::string("--section 0 2000 ") + flag, scratch_)
                      .ExitCode,
                  0);
        const Bytes part = ReadFile((tagged / "cbr128_id3v2_cover_001.mp3").string());
        ASSERT_GT(part.size(), 4u);
        EXPECT_EQ(Bytes(part.begin(), part.begin() + 4),
                  (Bytes{'I', 'D', '3', static_cast<std::uint8_t>(version)}));
    }
}

// ffmpeg and mpg123, as a user runs them, play an exact part as the source's
// samples between its times, and verify finds it exact: with a bridge, with
// silent frames for mpg123's rounding, and with a first frame rebuilt to hold
// its reservoir.
TEST_F(CliSplit, ExactPartsPlayAsTheSourceWithFfmpegAndMpg123AndVerifyExact) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v mpg123 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg or mpg123 is not installed";
    struct Case {
        const char* File;
        int StartMs, EndMs, Rate, Channels;
    };
    for (const Case& c : {Case{"cbr32_32k_reservoir.mp3", 1000, 2500, 32000, 2},
                          Case{"vbr_v4_44k_mono.mp3", 1530, 2345, 44100, 1},
                          Case{"vbr_mpeg2_22k_mono.mp3", 1017, 2500, 22050, 1},
                          Case{"cbr16_mpeg25_8k_mono.mp3", 710, 3000, 8000, 1}}) {
        const fs::path out = NewFolder(c.File);
        ASSERT_EQ(Split(Fixture(c.File), out,
                        "--exact --template part --section " + std::to_string(c.StartMs) + " " +
                            std::to_string(c.EndMs),
                        scratch_)
                      .ExitCode,
                  0);
        const auto at = [&c](int ms) {
            return static_cast<std::size_t>((std::int64_t{ms} * c.Rate + 500) / 1000 * c.Channels *
                                            2);
        };
        // Each decoder's command, before and after the file.
        for (const auto& [before, after] :
             {std::pair{"ffmpeg -v error -i ", " -f s16le -"}, std::pair{"mpg123 -q -s ", ""}}) {
            const auto decode = [&](const std::string& path) {
                const CliRun r = RunCommand(before + Quoted(path) + after, scratch_);
                EXPECT_EQ(r.Stderr, "") << before << path;
                return r.Stdout;
            };
            const std::string source = decode(Fixture(c.File));
            EXPECT_TRUE(decode((out / "part.mp3").string()) ==
                        source.substr(at(c.StartMs), at(c.EndMs) - at(c.StartMs)))
                << c.File << " with " << before;
        }
        const std::string verify =
            " verify " + Quoted(Fixture(c.File)) + " " + Quoted((out / "part.mp3").string());
        EXPECT_NE(RunCommand(Quoted(KERFLINE_CLI) + verify, scratch_).Stdout.find(": exact,"),
                  std::string::npos)
            << c.File;
    }
}

// Without a scan the length is an estimate; the last equal part still ends
// with the last frame, as it does with the exact length of a scan.
TEST_F(CliSplit, TheLastEqualPartRunsToTheEndOfTheAudio) {
    for (const char* name : {"vbr_v2_44k.mp3", "cbr128_44k_joint.mp3", "cbr320_48k.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path estimated = NewFolder(std::string("estimated-") + name);
        const fs::path exact = NewFolder(std::string("exact-") + name);
        ASSERT_EQ(Split(Fixture(name), estimated, "--parts 3", scratch_).ExitCode, 0);
        ASSERT_EQ(Split(Fixture(name), exact, "--parts 3 --preload", scratch_).ExitCode, 0);
        const Bytes last = ReadFile(PartsIn(estimated).back().string());
        const Bytes reference = ReadFile(PartsIn(exact).back().string());
        ASSERT_GT(last.size(), 1128u);
        ASSERT_GT(reference.size(), 1128u);
        EXPECT_TRUE(std::equal(last.end() - 1128, last.end(), reference.end() - 1128));
    }
}

// Only an end at the analysed length runs to the end of the audio: an end
// past an estimate too short for the file is a time like any other.
TEST_F(CliSplit, AnEndPastAShortEstimateIsATime) {
    if (std::system("command -v mpg123 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mpg123 is not installed";
    const Bytes vbr = ReadFile(Fixture("vbr_v2_44k.mp3"));
    Bytes twice = vbr;
    twice.insert(twice.end(), vbr.begin(), vbr.end());
    // Its Xing frame says 8 s; the file holds 16 s.
    const std::string doubled = scratch_.Write("twice.mp3", twice);
    // Timed as CBR at its first audio frame's 160 kbit/s: 5.3 s of 8 s.
    const std::string noXing = scratch_.Write("no_xing.mp3", Bytes(vbr.begin() + 417, vbr.end()));
    for (const auto& [source, section] :
         {std::pair{doubled, "10000 11000"}, std::pair{noXing, "5500 6500"}}) {
        for (const char* options : {"", "--exact", "--preload"}) {
            SCOPED_TRACE(source + " " + options);
            const fs::path out = NewFolder("parts");
            ASSERT_EQ(Split(source, out,
                            std::string("--template part --section ") + section + " " + options,
                            scratch_)
                          .ExitCode,
                      0);
            const CliRun decoded =
                RunCommand("mpg123 -q -s " + Quoted((out / "part.mp3").string()), scratch_);
            const auto ms = static_cast<std::int64_t>(decoded.Stdout.size() / 4 * 1000 / 44100);
            EXPECT_NEAR(ms, 1000, 60);
            fs::remove_all(out);
        }
    }
}

// A part of one frame reads back in every command, with an information
// frame in front of it or without one.
TEST_F(CliSplit, APartOfOneFrameReadsBack) {
    for (const auto& [name, options] :
         {std::pair{"cbr128_44k_joint.mp3", ""}, std::pair{"cbr128_44k_info_frame.mp3", ""},
          std::pair{"vbr_v2_44k.mp3", "--rebuild-info-frame"},
          std::pair{"cbr320_48k.mp3", "--exact"}}) {
        SCOPED_TRACE(name);
        const fs::path out = NewFolder(std::string(name) + ".parts");
        ASSERT_EQ(Split(Fixture(name), out,
                        std::string("--template part --section 5000 5010 ") + options, scratch_)
                      .ExitCode,
                  0);
        const std::string part = Quoted((out / "part.mp3").string());
        for (const std::string& command :
             {"info " + part, "verify " + Quoted(Fixture(name)) + " " + part,
              "join " + part + " " + part + " -o " + Quoted((out / "joined.mp3").string())}) {
            const CliRun run = RunCli(command, scratch_);
            EXPECT_EQ(run.ExitCode, 0) << command;
            EXPECT_EQ(run.Stderr, "") << command;
        }
    }
}

TEST_F(CliSplit, ExistingFilesAreKeptUnlessOverwriting) {
    const fs::path out = NewFolder("out");
    const std::string source = Fixture("cbr128_44k_joint.mp3");
    ASSERT_EQ(Split(source, out, "--parts 3", scratch_).ExitCode, 0);
    const fs::path first = out / "cbr128_44k_joint_001.mp3";
    const Bytes written = ReadFile(first.string());
    std::ofstream(first, std::ios::binary) << "mine";
    fs::remove(out / "cbr128_44k_joint_003.mp3");

    // Two parts kept, one written: still a run that left parts unwritten.
    const CliRun again = Split(source, out, "--parts 3", scratch_);
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_EQ(Lines(again.Stderr), 3) << again.Stderr;
    EXPECT_NE(again.Stderr.find("1 part written, 2 not written"), std::string::npos);
    EXPECT_TRUE(fs::exists(out / "cbr128_44k_joint_003.mp3"));
    EXPECT_NE(again.Stderr.find(first.string()), std::string::npos);
    EXPECT_EQ(ReadText(first), "mine");

    const CliRun overwrite = Split(source, out, "--parts 3 --overwrite", scratch_);
    EXPECT_EQ(overwrite.ExitCode, 0) << overwrite.Stderr;
    EXPECT_EQ(ReadFile(first.string()), written);
    EXPECT_EQ(PartsIn(out).size(), 3u);
}

TEST_F(CliSplit, ProblemsGiveExitOneAndOneLineEachUsageErrorsTwo) {
    const fs::path out = NewFolder("out");
    const std::string source = Fixture("cbr128_44k_joint.mp3");

    CliRun r = Split(source, out, "--section 0 1000 --template 'a:$N'", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stderr, "Can't create file " + (out / "a:001.mp3").string() +
                            ": it holds \":\", which a file name cannot hold\n"
                            "0 parts written, 1 not written\n");

    // A part past the end fails and leaves no file; the part before it stays.
    r = Split(source, out, "--section 0 1000 --section 60:00.0 61:00.0 --template 'p$N'", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stderr, (out / "p002.mp3").string() +
                            ": the section starts after the end of the source\n"
                            "1 part written, 1 not written\n");
    EXPECT_TRUE(fs::exists(out / "p001.mp3"));
    EXPECT_FALSE(fs::exists(out / "p002.mp3"));

    // A command line that cannot be carried out as written is a usage error.
    for (const char* options :
         {"--section 12x 3", "--section 2000 1000", "--section 1000 1000", "--parts two", "",
          "--parts 1", "--bogus", "--at-pauses --pause-min 0"}) {
        r = Split(source, out, options, scratch_);
        EXPECT_EQ(r.ExitCode, 2) << options;
        EXPECT_GE(Lines(r.Stderr), 1) << options << ": " << r.Stderr;
    }
    r = Split(source, out, "--section 0 1000 2000", scratch_);
    EXPECT_EQ(r.Stderr, "section 2000: give a START and an END\n");
    r = RunCommand(Quoted(KERFLINE_CLI) + " split " + Quoted(source) + " --parts 2", scratch_);
    EXPECT_EQ(r.ExitCode, 2) << "no --out: " << r.Stderr;
    r = Split(Fixture("layer2_192k.mp3"), out, "--parts 2 --exact", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stderr, Fixture("layer2_192k.mp3") +
                            ": exact cuts need Layer III: players ignore the gapless information "
                            "of Layer I and II\n0 parts written, 2 not written\n");
    // Each row of the report gives the refusal as its reason.
    r = Split(Fixture("layer2_192k.mp3"), out, "--parts 2 --exact --json", scratch_);
    const std::regex refused("\"reason\": \"exact cuts need Layer III: players ignore");
    EXPECT_EQ(std::distance(std::sregex_iterator(r.Stdout.begin(), r.Stdout.end(), refused),
                            std::sregex_iterator()),
              2)
        << r.Stdout;
    for (const char* name : {"not_audio.mp3", "empty.mp3", "no_such_file.mp3"}) {
        r = Split(Fixture(name), out, "--parts 2", scratch_);
        EXPECT_EQ(r.ExitCode, 1) << name;
        EXPECT_EQ(Lines(r.Stderr), 1) << name << ": " << r.Stderr;
    }
    EXPECT_EQ(PartsIn(out).size(), 1u);

    // A missing target folder is made with its parents, only when there are parts to
    // write; a file in its place is refused.
    const fs::path made = scratch_.Path() / "made" / "for" / "parts";
    for (const char* options : {"--parts 1", "--section 0 1000 --template 'a:$N'"}) {
        r = Split(source, made, options, scratch_);
        EXPECT_NE(r.ExitCode, 0) << options;
        EXPECT_FALSE(fs::exists(scratch_.Path() / "made")) << options;
    }
    r = Split(Fixture("no_such_file.mp3"), made, "--parts 2", scratch_);
    EXPECT_FALSE(fs::exists(scratch_.Path() / "made"));
    r = Split(source, made, "--parts 2", scratch_);
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr;
    EXPECT_EQ(PartsIn(made).size(), 2u);
    r = Split(source, out / "p001.mp3", "--parts 2", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(Lines(r.Stderr), 1);
}

TEST_F(CliSplit, TheSourceIsNeverOverwritten) {
    const fs::path folder = NewFolder("source");
    const fs::path source = folder / "song.mp3";
    fs::copy_file(Fixture("cbr128_44k_joint.mp3"), source);
    const CliRun r =
        Split(source.string(), folder, "--section 0 1000 --template '$F' --overwrite", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Stderr, "Can't create file " + source.string() +
                            ": it is the source file itself\n0 parts written, 1 not written\n");
    EXPECT_EQ(ReadFile(source.string()), ReadFile(Fixture("cbr128_44k_joint.mp3")));
    EXPECT_EQ(PartsIn(folder).size(), 1u);
}

// Names from tags and from the source's name hold what a name can hold, in
// UTF-8; no message carries a control character to the terminal.
TEST_F(CliSplit, NamesFromTagsAndSafeMessages) {
    const Bytes audio = ReadFile(Fixture("cbr128_44k_joint.mp3"));
    const auto withTitle = [&audio](const std::string& title) {
        Bytes file = audio;
        std::string tag = "TAG" + title;
        tag.resize(127, '\0');
        tag += '\xFF';
        file.insert(file.end(), tag.begin(), tag.end());
        return file;
    };
    struct Case {
        const char* Name;
        std::string SourceName;
        Bytes Source;
        std::string Options;
        std::vector<std::string> Parts;
        std::string Stderr; // "" for none; every control character shown as "?"
    };
    const Case cases[] = {
        {"a source name with a colon",
         "Live: 2020.mp3",
         audio,
         "--parts 2",
         {"Live_ 2020_001.mp3", "Live_ 2020_002.mp3"},
         ""},
        {"a Latin-1 title",
         "s.mp3",
         withTitle("Caf\xE9"),
         "--section 0 1000 --template '$T'",
         {"Caf\xC3\xA9.mp3"},
         ""},
        {"a title with a separator and an escape",
         "s.mp3",
         withTitle("AC/DC\x1B[2J"),
         "--section 0 1000 --template '$T'",
         {"AC_DC_[2J.mp3"},
         ""},
        {"an escape in a message",
         "bad\x1B]0;x\x07.mp3",
         Bytes(4000, 0x20),
         "--parts 2",
         {},
         "bad?]0;x?.mp3: no MPEG audio frame found\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = NewFolder(std::string("in_") + c.Name);
        const fs::path out = NewFolder(std::string("out_") + c.Name);
        const fs::path source = folder / c.SourceName;
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.Source.data()),
                   static_cast<std::streamsize>(c.Source.size()));
        const CliRun r = Split(source.string(), out, c.Options, scratch_);
        EXPECT_EQ(r.ExitCode, c.Parts.empty() ? 1 : 0);
        std::vector<fs::path> expected;
        for (const std::string& part : c.Parts)
            expected.push_back(out / part);
        EXPECT_EQ(PartsIn(out), expected);
        EXPECT_EQ(r.Stderr.empty() ? "" : r.Stderr.substr(r.Stderr.rfind('/') + 1), c.Stderr);
    }
}

// The short forms and "--" before a file named like an option work as the long
// forms do, with the same exit codes; --json accounts for every part, written or not.
TEST_F(CliSplit, ShortOptionsVersionAndJsonReport) {
    const fs::path folder = NewFolder("short");
    fs::copy_file(Fixture("cbr128_44k_joint.mp3"), folder / "-live.mp3");
    fs::copy_file(Fixture("cbr128_44k_joint.mp3"), folder / "b.mp3");
    struct Case {
        const char* Arguments;
        int ExitCode;
        std::vector<std::string> Parts; // in out/ afterwards
        std::string Stdout;
    };
    const Case cases[] = {
        {"split -o out -n 2 -q -- -live.mp3 b.mp3",
         0,
         {"-live_001.mp3", "-live_002.mp3", "b_001.mp3", "b_002.mp3"},
         ""},
        {"split -o out -n 1 -- -live.mp3", 2, {}, ""},
        {"split -live.mp3 -o out -n 2", 2, {}, ""},
        {"--version", 0, {}, std::string("kerfline-cli ") + KerflineVersion + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Arguments);
        fs::remove_all(folder / "out");
        const CliRun r = RunCommand("cd " + Quoted(folder.string()) + " && " +
                                        Quoted(KERFLINE_CLI) + " " + c.Arguments,
                                    scratch_);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << r.Stderr;
        EXPECT_EQ(r.Stdout, c.Stdout);
        if (c.ExitCode == 0) {
            EXPECT_EQ(r.Stderr, "");
        }
        std::vector<fs::path> expected;
        for (const std::string& part : c.Parts)
            expected.push_back(folder / "out" / part);
        EXPECT_EQ(fs::exists(folder / "out") ? PartsIn(folder / "out") : std::vector<fs::path>(),
                  expected);
    }

    const fs::path out = NewFolder("json");
    const fs::path kept = out / "p002.mp3";
    std::ofstream(kept) << "mine";
    const CliRun r =
        Split(Fixture("cbr128_44k_joint.mp3"), out,
              "--section 0 1000 --section 1000 2000 --template 'p$N' --json", scratch_);
    EXPECT_EQ(r.ExitCode, 1);
    const std::string source = Fixture("cbr128_44k_joint.mp3");
    const fs::path written = out / "p001.mp3";
    EXPECT_EQ(r.Stdout, "[\n"
                        "  {\n"
                        "    \"source\": \"" +
                            source +
                            "\",\n"
                            "    \"path\": \"" +
                            written.string() +
                            "\",\n"
                            "    \"start_ms\": 0,\n"
                            "    \"end_ms\": 1000,\n"
                            "    \"bytes\": " +
                            std::to_string(fs::file_size(written)) +
                            ",\n"
                            "    \"frames\": 39,\n"
                            "    \"written\": true\n"
                            "  },\n"
                            "  {\n"
                            "    \"source\": \"" +
                            source +
                            "\",\n"
                            "    \"path\": \"" +
                            kept.string() +
                            "\",\n"
                            "    \"start_ms\": 1000,\n"
                            "    \"end_ms\": 2000,\n"
                            "    \"bytes\": 0,\n"
                            "    \"frames\": 0,\n"
                            "    \"written\": false,\n"
                            "    \"reason\": \"the file exists; not overwritten\"\n"
                            "  }\n"
                            "]\n");
}

} // namespace

namespace {

// The level of a part as ffmpeg decodes it, in dB of full scale (RMS).
double FfmpegRmsDb(const fs::path& part, const TempDir& scratch) {
    const fs::path raw = scratch.Path() / "decoded.raw";
    const CliRun decoded = RunCommand("ffmpeg -v error -y -i " + Quoted(part.string()) +
                                          " -f s16le " + Quoted(raw.string()),
                                      scratch);
    EXPECT_EQ(decoded.ExitCode, 0) << decoded.Stderr;
    const Bytes bytes = ReadFile(raw.string());
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
        sum += static_cast<double>(sample) * sample;
    }
    return 10.0 * std::log10(sum / static_cast<double>(bytes.size() / 2) / (32768.0 * 32768.0));
}

} // namespace

// Each volume option as a user gives it: what it says, and the level ffmpeg
// hears against the plain part's (the exact step is 1.5051 dB).
TEST_F(CliSplit, VolumeOptionsChangeTheLevelAndSaySo) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    const struct {
        const char* File;
        const char* Options;
        int ExitCode;
        const char* Says; // in stderr; "" for nothing
        double GainDb;    // against the plain part; NAN when not compared
    } cases[] = {
        {"levels_crc_44k.mp3", "--gain 3", 0, "", 2 * 1.50515},
        {"levels_crc_44k.mp3", "--gain -6 --exact", 0, "", -4 * 1.50515},
        {"crc_mpeg2_22k_mono.mp3", "--gain 2", 0,
         "--gain 2: taken as +1.5 dB, the nearest step of 1.5 dB", 1.50515},
        {"cbr16_mpeg25_8k_mono.mp3", "--gain -30", 0, "", -20 * 1.50515},
        {"levels_crc_44k.mp3", "--fade-in 2000 --fade-out 1000", 0, "", NAN},
        {"tone_440hz_6s.mp3", "--gain 9", 0, "a gain of +9.0 dB clips: its peak would reach +2.",
         NAN},
        {"layer2_192k.mp3", "--gain 3", 1, "volume changes need Layer III", NAN},
        {"levels_crc_44k.mp3", "--gain 31", 2, "--gain: Value 31 not in range", NAN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Options);
        const fs::path plain = NewFolder("plain");
        const fs::path shaped = NewFolder("shaped");
        const std::string section = " --section 0:00.5 0:02.5 --overwrite";
        // The plain part is cut the same way, exact or not, so only the gain differs.
        const bool exact = std::string(c.Options).find("--exact") != std::string::npos;
        ASSERT_EQ(
            Split(Fixture(c.File), plain, section + (exact ? " --exact" : ""), scratch_).ExitCode,
            0);
        const CliRun run = Split(Fixture(c.File), shaped, section + " " + c.Options, scratch_);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Stderr;
        EXPECT_NE(run.Stderr.find(c.Says), std::string::npos) << run.Stderr;
        if (std::string(c.Says).empty()) {
            EXPECT_EQ(run.Stderr, "");
        }
        if (!std::isnan(c.GainDb)) {
            const double difference = FfmpegRmsDb(PartsIn(shaped).front(), scratch_) -
                                      FfmpegRmsDb(PartsIn(plain).front(), scratch_);
            EXPECT_NEAR(difference, c.GainDb, 0.05);
        }
    }
}

TEST_F(CliSplit, InfoMeasuresLoudnessAsFfmpegDoes) {
    const struct {
        const char* File;
        const char* Lines;
    } cases[] = {
        // ffmpeg -af ebur128=peak=true: I -18.6 LUFS, Peak -5.5; -11.0, -7.8
        {"levels_crc_44k.mp3", "Loudness:            -18.6 LUFS integrated\n"
                               "True peak:           -5.5 dBTP\n"},
        {"crc_mpeg2_22k_mono.mp3", "Loudness:            -11.0 LUFS integrated\n"
                                   "True peak:           -7.8 dBTP\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli("info --loudness " + Quoted(Fixture(c.File)), scratch_);
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_TRUE(run.Stdout.ends_with(c.Lines)) << run.Stdout;
        const CliRun json = RunCli("info --loudness --json " + Quoted(Fixture(c.File)), scratch_);
        EXPECT_NE(json.Stdout.find("\"integrated_lufs\""), std::string::npos) << json.Stdout;
    }
}
