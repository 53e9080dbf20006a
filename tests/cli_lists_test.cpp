#include "cli_run.h"
#include "frame_stream.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using frame_stream::ReadFile;
using frame_stream::TempDir;
using namespace cli_run;

class CliLists : public ::testing::Test {
protected:
    CliRun Cli(const std::string& arguments) { return RunCli(arguments, scratch_); }
    fs::path Folder(const std::string& name) {
        fs::create_directories(scratch_.Path() / name);
        return scratch_.Path() / name;
    }
    std::string Sheet(const std::string& text) {
        const fs::path path = scratch_.Path() / "sheet.cue";
        std::ofstream(path) << text;
        return Quoted(path.string());
    }
    TempDir scratch_;
};

TEST_F(CliLists, ACueSheetCutsLikeSectionsAndNamesAndTagsTheParts) {
    const std::string source = Quoted(Fixture("cbr128_44k_joint.mp3"));
    const std::string sheet = Sheet("PERFORMER \"Band\"\nTITLE \"Disc\"\nFILE \"x.wav\" WAVE\n"
                                    " TRACK 01 AUDIO\n  TITLE \"Intro\"\n  INDEX 01 00:00:00\n"
                                    " TRACK 02 AUDIO\n  TITLE \"Song\"\n  INDEX 01 00:03:30\n");
    const fs::path byCue = Folder("cue");
    const fs::path bySection = Folder("section");
    const CliRun cue = Cli("split " + source + " --cue " + sheet + " --template '$N $T' --out " +
                           Quoted(byCue.string()));
    EXPECT_EQ(cue.ExitCode, 0) << cue.Stderr;
    EXPECT_NE(cue.Stderr.find("warning"), std::string::npos); // the sheet names x.wav
    const CliRun sections =
        Cli("split " + source + " --section 0 3400 --section 3400 " +
            std::to_string(8 * 1000 + 200) + " --out " + Quoted(bySection.string()));
    ASSERT_EQ(sections.ExitCode, 0) << sections.Stderr;

    const auto intro = ReadFile((byCue / "001 Intro.mp3").string());
    const auto song = ReadFile((byCue / "002 Song.mp3").string());
    const auto first = ReadFile((bySection / "cbr128_44k_joint_001.mp3").string());
    ASSERT_GT(intro.size(), 128u);
    ASSERT_GT(song.size(), 128u);
    // The same frames; only the tags differ.
    EXPECT_TRUE(std::equal(intro.begin(), intro.end() - 128, first.begin(), first.end() - 128));
    EXPECT_EQ(std::string(song.end() - 125, song.end() - 121), "Song");
    EXPECT_EQ(std::string(song.end() - 95, song.end() - 91), "Band");
    EXPECT_EQ(std::string(song.end() - 65, song.end() - 61), "Disc");

    // A sheet with a track past the end: one message with its line, nothing written.
    const fs::path refused = Folder("refused");
    const CliRun bad = Cli("split " + source + " --cue " +
                           Sheet("FILE \"a\" MP3\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                 " TRACK 02 AUDIO\n  INDEX 01 09:00:00\n") +
                           " --out " + Quoted(refused.string()));
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_NE(bad.Stderr.find("sheet.cue:5: "), std::string::npos) << bad.Stderr;
    EXPECT_TRUE(fs::is_empty(refused));
}

TEST_F(CliLists, SheetFaultsAreOneLineWithTheirLineNumber) {
    struct Case {
        const char* Name;
        std::string Sheet;
        int ExitCode;
        std::string Stderr; // the whole of it, or its start when it ends in "…"
    };
    const std::string track = " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n";
    const std::string head = "FILE \"cbr128_44k_joint.mp3\" MP3\n";
    const std::vector<Case> cases = {
        {"INDEX past 32 bits",
         head + " TRACK 01 AUDIO\n  INDEX 2147483648 00:00:00\n  INDEX 01 00:00:00\n", 1,
         "sheet.cue:3: an INDEX number runs from 00 to 99\n"},
        {"NUL byte on line 4", head + track + "TITLE \"a" + std::string(1, '\0') + "b\"\n", 1,
         "sheet.cue:4: the line holds a NUL byte\n"},
        {"a huge first word", std::string(100000, 'W') + "\n" + head + track, 1,
         "sheet.cue:1: '" + std::string(60, 'W') + "…' is not a cue sheet command\n"},
        {"libcue's own complaint", head + track + "  TITLE\n", 0, ""},
        {"old Mac line ends",
         "FILE \"cbr128_44k_joint.mp3\" MP3\r TRACK 01 AUDIO\r  INDEX 01 00:00:00\r", 0, ""},
        {"a later FILE for another file",
         head + track +
             "FILE \"b.mp3\" MP3\n TRACK 02 AUDIO\n"
             "  INDEX 01 00:01:00\n",
         0,
         "sheet.cue:4: warning: the tracks below are for b.mp3; their times are applied to "
         "cbr128_44k_joint.mp3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path path = scratch_.Path() / "sheet.cue";
        std::ofstream(path, std::ios::binary) << c.Sheet;
        const CliRun run = Cli("cue " + Quoted(Fixture("cbr128_44k_joint.mp3")) + " --cue " +
                               Quoted(path.string()));
        EXPECT_EQ(run.ExitCode, c.ExitCode);
        const std::string shown = run.Stderr.substr(
            run.Stderr.find("sheet.cue") == std::string::npos ? 0 : run.Stderr.find("sheet.cue"));
        EXPECT_EQ(shown, c.Stderr);
    }
}

// A sheet Kerfline writes cuts exactly the parts it was written from.
TEST_F(CliLists, APrintedSheetCutsTheSamePartsAndSaysWhatItCannotHold) {
    for (const char* fixture : {"cbr128_44k_joint.mp3", "vbr_v2_44k.mp3", "vbr_mpeg2_22k_mono.mp3",
                                "layer2_192k.mp3", "cbr16_mpeg25_8k_mono.mp3", "cbr320_48k.mp3"})
        for (const char* parts : {"7", "13"}) {
            SCOPED_TRACE(std::string(fixture) + " in " + parts);
            const std::string source = Quoted(Fixture(fixture));
            const fs::path byParts = Folder(std::string(fixture) + parts + "p");
            const fs::path byCue = Folder(std::string(fixture) + parts + "c");
            ASSERT_EQ(
                Cli("split " + source + " --parts " + parts + " --out " + Quoted(byParts.string()))
                    .ExitCode,
                0);
            const CliRun plan = Cli("cue " + source + " --parts " + parts);
            ASSERT_EQ(plan.ExitCode, 0);
            EXPECT_EQ(plan.Stderr, "");
            const CliRun split = Cli("split " + source + " --cue " + Sheet(plan.Stdout) +
                                     " --out " + Quoted(byCue.string()));
            ASSERT_EQ(split.ExitCode, 0) << split.Stderr;
            for (const auto& part : fs::directory_iterator(byParts)) {
                const auto expected = ReadFile(part.path().string());
                const auto got = ReadFile((byCue / part.path().filename()).string());
                // The same frames; the ID3v1 tags at the end may differ.
                EXPECT_TRUE(got.size() == expected.size() &&
                            std::equal(got.begin(), got.end() - 128, expected.begin()))
                    << part.path().filename();
            }
        }
    const std::string source = Quoted(Fixture("cbr128_44k_joint.mp3"));
    const CliRun gap = Cli("cue " + source + " --section 0 2000 --section 5000 6000");
    EXPECT_NE(gap.Stderr.find("warning: a cue sheet has no gaps: a track that ends before the next "
                              "one starts runs on to it: 1 track, the first track 01 at 00:02.0\n"),
              std::string::npos)
        << gap.Stderr;
    EXPECT_NE(gap.Stderr.find("warning: a cue sheet's last track runs to the end of the audio: "
                              "track 02 ended at 00:06.0\n"),
              std::string::npos)
        << gap.Stderr;
    const CliRun overlap = Cli("cue " + source + " --parts 3 --overlap 500");
    EXPECT_NE(overlap.Stderr.find("warning: a cue sheet has no overlaps"), std::string::npos)
        << overlap.Stderr;
}

TEST_F(CliLists, AtPausesCutsInsideTheSilencesAndCuePrintsThePlan) {
    // Silences at 2.0–3.5 s and 5.5–6.5 s; the decoder's delay moves the audio ~25 ms.
    const CliRun plan = Cli("cue " + Quoted(Fixture("tone_silence.mp3")) + " --at-pauses");
    ASSERT_EQ(plan.ExitCode, 0) << plan.Stderr;
    EXPECT_NE(plan.Stdout.find("INDEX 01 00:02:"), std::string::npos) << plan.Stdout;
    EXPECT_NE(plan.Stdout.find("INDEX 01 00:06:0"), std::string::npos) << plan.Stdout;
    EXPECT_EQ(plan.Stdout.find("TRACK 04"), std::string::npos);
    // Pauses of at least 1.2 s: only the first is one.
    const CliRun longer =
        Cli("cue " + Quoted(Fixture("tone_silence.mp3")) + " --at-pauses --pause-min 1.2");
    EXPECT_EQ(longer.Stdout.find("TRACK 03"), std::string::npos) << longer.Stdout;
    EXPECT_NE(longer.Stdout.find("TRACK 02"), std::string::npos);
    // Nothing is quieter than -200 dBFS but digital silence: no pause at all.
    const CliRun none =
        Cli("cue " + Quoted(Fixture("tone_silence.mp3")) + " --at-pauses --pause-db -200");
    EXPECT_EQ(none.Stdout.find("TRACK 02"), std::string::npos) << none.Stdout;
    const CliRun nan =
        Cli("cue " + Quoted(Fixture("tone_silence.mp3")) + " --at-pauses --pause-db nan");
    EXPECT_EQ(nan.ExitCode, 2);
    EXPECT_EQ(nan.Stderr, "--pause-db must be a number of dBFS\n");
}

// Damage in the tone before the first pause (64 kbit/s: 8000 bytes a second):
// the decoding goes on after it, finds both pauses and says where it was.
TEST_F(CliLists, AtPausesGoesOnPastDamageAndSaysWhere) {
    const std::vector<std::uint8_t> clean = ReadFile(Fixture("tone_silence.mp3"));
    std::mt19937 random(25);
    const auto noise = [&random](std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        for (std::uint8_t& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    };
    std::vector<std::uint8_t> inserted = clean;
    const std::vector<std::uint8_t> junk = noise(20000);
    inserted.insert(inserted.begin() + 15200, junk.begin(), junk.end());
    std::vector<std::uint8_t> overwritten = clean;
    const std::vector<std::uint8_t> overwrite = noise(4000);
    std::copy(overwrite.begin(), overwrite.end(), overwritten.begin() + 12000);
    const struct {
        const char* Name;
        const std::vector<std::uint8_t>& Bytes;
        std::size_t DamageAt;
    } cases[] = {{"inserted", inserted, 15200}, {"overwritten", overwritten, 12000}};
    for (const auto& c : cases) {
        const fs::path path = scratch_.Path() / (std::string(c.Name) + ".mp3");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.Bytes.data()),
                   static_cast<std::streamsize>(c.Bytes.size()));
        const CliRun plan = Cli("cue " + Quoted(path.string()) + " --at-pauses");
        EXPECT_EQ(plan.ExitCode, 0) << c.Name;
        EXPECT_NE(plan.Stdout.find("TRACK 03"), std::string::npos) << c.Name << plan.Stdout;
        EXPECT_EQ(plan.Stdout.find("TRACK 04"), std::string::npos) << c.Name << plan.Stdout;
        EXPECT_NE(plan.Stderr.find(path.string() + ": "), std::string::npos) << plan.Stderr;
        EXPECT_NE(plan.Stderr.find("could not be decoded"), std::string::npos) << plan.Stderr;
        // The stretch begins within a frame of where the damage does.
        const std::size_t at = plan.Stderr.find(" at offset ");
        ASSERT_NE(at, std::string::npos) << plan.Stderr;
        const long offset = std::stol(plan.Stderr.substr(at + 11));
        EXPECT_LT(std::abs(offset - static_cast<long>(c.DamageAt)), 420) << plan.Stderr;
    }
}

TEST_F(CliLists, ABatchSplitsEverySourceAndSaysHowEachWent) {
    const fs::path out = Folder("out");
    // A name that would drive the terminal is shown with "?".
    const fs::path escape = Folder("in") / "a\x1B[2J.mp3";
    fs::copy_file(Fixture("cbr96_id3v1.mp3"), escape);
    const CliRun batch =
        Cli("split " + Quoted(Fixture("cbr128_44k_joint.mp3")) + " " +
            Quoted(Fixture("not_audio.mp3")) + " " + Quoted(Fixture("cbr320_48k.mp3")) + " " +
            Quoted(escape.string()) + " --parts 2 --out " + Quoted(out.string()));
    EXPECT_EQ(batch.ExitCode, 1);
    EXPECT_EQ(std::count(batch.Stdout.begin(), batch.Stdout.end(), '\n'), 4) << batch.Stdout;
    EXPECT_NE(batch.Stdout.find("a?[2J.mp3: 2 parts written\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(out / "cbr128_44k_joint_001.mp3"));
    EXPECT_TRUE(fs::exists(out / "cbr320_48k_002.mp3"));
}

// A batch whose parts would take the name of another source, or of a part it has
// just written: those parts are refused, even with --overwrite, and the run says so.
TEST_F(CliLists, ABatchNeverOverwritesItsSourcesOrItsOwnParts) {
    const fs::path one = Folder("one");
    const std::vector<std::pair<fs::path, std::string>> sources = {
        {one / "x.mp3", "cbr128_44k_joint.mp3"},
        {one / "x_001.mp3", "cbr320_48k.mp3"},
        {Folder("other") / "x.mp3", "cbr320_48k.mp3"}};
    std::string paths;
    for (const auto& [path, fixture] : sources) {
        fs::copy_file(Fixture(fixture), path);
        paths += Quoted(path.string()) + " ";
    }
    const fs::path alone = Folder("alone");
    Cli("split " + Quoted(Fixture("cbr128_44k_joint.mp3")) + " --parts 2 --out " +
        Quoted(alone.string()));
    const CliRun run =
        Cli("split " + paths + "--parts 2 --overwrite --out " + Quoted(one.string()));
    EXPECT_EQ(run.ExitCode, 1);
    for (const char* refusal : {"x_001.mp3: it is another of the files being split",
                                "x_002.mp3: an earlier part has the same name; not written"})
        EXPECT_NE(run.Stderr.find(refusal), std::string::npos) << run.Stderr;
    for (const auto& [path, fixture] : sources)
        EXPECT_EQ(ReadFile(path.string()), ReadFile(Fixture(fixture))) << path;
    EXPECT_EQ(ReadFile((one / "x_002.mp3").string()),
              ReadFile((alone / "cbr128_44k_joint_002.mp3").string()));
}

// Output that cannot be written (a full disk behind a redirection) is a failure, not a success.
TEST_F(CliLists, OutputThatCannotBeWrittenFails) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const fs::path err = scratch_.Path() / "stderr.txt";
    for (const std::string command : {"info", "info --json", "cue --parts 3"}) {
        const std::string line = Quoted(KERFLINE_CLI) + " " + command + " " +
                                 Quoted(Fixture("cbr128_44k_joint.mp3")) + " >/dev/full 2>" +
                                 Quoted(err.string());
        const int status = std::system(line.c_str());
        EXPECT_EQ(WEXITSTATUS(status), 1) << command;
        EXPECT_EQ(ReadText(err),
                  "kerfline-cli: the output could not be written: No space left on device\n")
            << command;
    }
}

} // namespace

namespace {

// Past 999 rows the command line names the sections it left out, as --section takes them:
// after other rows, the last equal parts, so the end of the file is in no part.
TEST_F(CliLists, PastTheLimitTheSectionsLeftOutAreNamed) {
    std::string sections;
    for (int i = 0; i < 1001; ++i)
        sections += " --section " + std::to_string(2 * i) + " " + std::to_string(2 * i + 1);
    const struct {
        std::string Options;
        std::string LeftOut;
    } cases[] = {
        {"--section 0 1000 --section 1000 2000 --parts 999",
         "2 sections (ms): 7976 7984, 7984 8000"},
        {sections, "2 sections (ms): 1998 1999, 2000 2001"},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli("cue " + Quoted(Fixture("cbr128_44k_joint.mp3")) + " " + c.Options);
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_NE(run.Stderr.find("Sorry! In this program you can add only 999 parts!\nleft out: " +
                                  c.LeftOut + "\n"),
                  std::string::npos)
            << run.Stderr;
    }
}

} // namespace
