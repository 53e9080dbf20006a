#include "chapter_source.h"
#include "cli_run.h"
#include "frame_stream.h"
#include "session/split_session.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;
using chapter_source::Chapter;
using frame_stream::Bytes;
using namespace cli_run;

// The source's bytes from its first frame on: what a file with its chapters must hold.
Bytes AudioOf(const std::string& path) {
    SplitSession session;
    EXPECT_TRUE(session.Open(path));
    const Bytes bytes = frame_stream::ReadFile(path);
    return Bytes(bytes.begin() + session.Info().FirstFrameOffset, bytes.end());
}

std::string Seconds(std::int32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%03d000", ms / 1000, ms % 1000);
    return text;
}

// The rows as ffprobe lists chapters: "start,end,title" a line each; a row
// without a title is written as "Chapter n".
std::string AsFfprobeLists(const SplitList& list) {
    std::string lines;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i) {
        const SplitListItem& entry = list[i];
        lines += Seconds(entry.StartMs) + "," + Seconds(entry.EndMs) + "," +
                 (entry.Title.empty() ? "Chapter " + std::to_string(i + 1) : entry.Title) + "\n";
    }
    return lines;
}

TagLib::ByteVector FirstPicture(const std::string& path) {
    TagLib::MPEG::File file(path.c_str(), false);
    const TagLib::ID3v2::FrameList frames = file.ID3v2Tag(true)->frameListMap()["APIC"];
    return frames.isEmpty()
               ? TagLib::ByteVector()
               : static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frames.front())->picture();
}

class CliChapters : public ::testing::Test {
protected:
    void SetUp() override {
        source_ =
            chapter_source::Make(Fixture("cbr128_id3v2_cover.mp3"), scratch_.Path() / "book.mp3",
                                 {{"a", 0, 2500, "Opening"},
                                  {"b", 2500, 5200, "Middle \u2013 \u00fc", "chapter art"},
                                  {"c", 5200, 8000, "End"}},
                                 {"a", "b", "c"});
    }
    CliRun Cli(const std::string& arguments) { return RunCli(arguments, scratch_); }

    frame_stream::TempDir scratch_;
    std::string source_;
};

TEST_F(CliChapters, WrittenChaptersReadBackAsTheRowsOverTheSourcesAudio) {
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe is not installed";
    struct Case {
        const char* Fill;
        std::function<void(SplitSession&)> Rows; // the same rows, through the session
    };
    const Case cases[] = {
        {"--chapters", [](SplitSession& s) { ASSERT_TRUE(s.ImportChapters()); }},
        {"--parts 5", [](SplitSession& s) { ASSERT_TRUE(s.EqualParts("5", 0, 1)); }},
        {"--section 00:03.0 4000 --section 0 1234",
         [](SplitSession& s) {
             ASSERT_TRUE(s.AddSection(0, 1234));
             ASSERT_TRUE(s.AddSection(3000, 4000));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Fill);
        SplitSession expected;
        ASSERT_TRUE(expected.Open(source_));
        c.Rows(expected);
        const std::string out = (scratch_.Path() / "marked.mp3").string();
        const CliRun written = Cli("chapters " + Quoted(source_) + " " + c.Fill + " -o " +
                                   Quoted(out) + " --overwrite");
        ASSERT_EQ(written.ExitCode, 0) << written.Stderr;
        EXPECT_EQ(written.Stdout, out + ": " + std::to_string(expected.List().SplitCount()) +
                                      " chapters written\n");

        SplitSession readBack;
        ASSERT_TRUE(readBack.Open(out));
        ASSERT_TRUE(readBack.ImportChapters());
        EXPECT_EQ(AsFfprobeLists(readBack.List()), AsFfprobeLists(expected.List()));
        EXPECT_TRUE(AudioOf(out) == AudioOf(source_));
        EXPECT_EQ(FirstPicture(out), FirstPicture(Fixture("cbr128_id3v2_cover.mp3")));
        EXPECT_EQ(readBack.List()[0].Artist, "Someone");

        const CliRun probe = RunCommand("ffprobe -v error -show_entries "
                                        "chapter=start_time,end_time:chapter_tags=title -of "
                                        "csv=p=0 " +
                                            Quoted(out),
                                        scratch_);
        ASSERT_EQ(probe.ExitCode, 0) << probe.Stderr;
        EXPECT_EQ(probe.Stdout, AsFfprobeLists(expected.List()));
    }
}

TEST_F(CliChapters, TheTargetIsReplacedOnlyWithLeaveAndNeverIsTheSource) {
    const std::string out = (scratch_.Path() / "marked.mp3").string();
    ASSERT_EQ(Cli("chapters " + Quoted(source_) + " --parts 2 -o " + Quoted(out)).ExitCode, 0);
    const Bytes first = frame_stream::ReadFile(out);
    const CliRun again = Cli("chapters " + Quoted(source_) + " --parts 3 -o " + Quoted(out));
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_EQ(again.Stderr, out + ": exists (see --overwrite)\n");
    EXPECT_TRUE(frame_stream::ReadFile(out) == first);
    EXPECT_EQ(Cli("chapters " + Quoted(source_) + " --parts 3 -o " + Quoted(out) + " --overwrite")
                  .ExitCode,
              0);
    EXPECT_FALSE(frame_stream::ReadFile(out) == first);
    const Bytes source = frame_stream::ReadFile(source_);
    const CliRun itself =
        Cli("chapters " + Quoted(source_) + " --parts 3 -o " + Quoted(source_) + " --overwrite");
    EXPECT_EQ(itself.ExitCode, 1);
    EXPECT_EQ(itself.Stderr, source_ + ": is the source itself\n");
    EXPECT_TRUE(frame_stream::ReadFile(source_) == source);
    EXPECT_EQ(Cli("chapters " + Quoted(source_) + " -o " + Quoted(out)).ExitCode, 2);
    // Nothing but the two files: no temporary left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.Path()), fs::directory_iterator()), 4);
}

TEST_F(CliChapters, AStoppedWriteLeavesNothing) {
    SplitSession session;
    ASSERT_TRUE(session.Open(source_));
    ASSERT_TRUE(session.ImportChapters());
    session.Tick(1, false);
    const std::string out = (scratch_.Path() / "stopped.mp3").string();
    const Result<ChapterFileRequest> request = session.ChapterFile(out, false);
    ASSERT_TRUE(request);
    EXPECT_EQ(request.Value().Chapters, 2); // the unticked row is left out
    const Result<ChapterFileReport> stopped =
        SplitSession::WriteChapters(request.Value(), {{}, [] { return true; }});
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.Failure().Category, ErrorCategory::Stopped);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliChapters, SplitAndCueTakeTheChaptersAndAPartCarriesItsChaptersPicture) {
    const fs::path folder = scratch_.Path() / "parts";
    const CliRun split =
        Cli("split " + Quoted(source_) + " --chapters --id3v2 --template '$N $T' -o " +
            Quoted(folder.string()));
    ASSERT_EQ(split.ExitCode, 0) << split.Stderr;
    const std::string middle = (folder / "002 Middle \u2013 \u00fc.mp3").string();
    ASSERT_TRUE(fs::exists(middle));
    EXPECT_EQ(FirstPicture(middle), TagLib::ByteVector("chapter art"));
    EXPECT_EQ(FirstPicture((folder / "001 Opening.mp3").string()),
              FirstPicture(Fixture("cbr128_id3v2_cover.mp3")));
    TagLib::MPEG::File part(middle.c_str(), false);
    EXPECT_EQ(part.ID3v2Tag(true)->title().to8Bit(true), "Middle \u2013 \u00fc");
    EXPECT_EQ(part.ID3v2Tag(true)->frameListMap()["CHAP"].size(), 0u);
    EXPECT_EQ(part.ID3v2Tag(true)->frameListMap()["APIC"].size(), 1u); // the source's gave way

    const CliRun cue = Cli("cue " + Quoted(source_) + " --chapters");
    ASSERT_EQ(cue.ExitCode, 0) << cue.Stderr;
    EXPECT_NE(cue.Stdout.find("TITLE \"Middle \u2013 \u00fc\"\n    PERFORMER \"Someone\"\n"
                              "    INDEX 01 00:02:38"),
              std::string::npos)
        << cue.Stdout;
    const CliRun info = Cli("info " + Quoted(source_));
    EXPECT_NE(info.Stdout.find("Chapters:            3\n    1  00:00.0  00:02.5  Opening\n"),
              std::string::npos)
        << info.Stdout;
    const CliRun json = Cli("info --json " + Quoted(source_));
    EXPECT_NE(json.Stdout.find("\"start_ms\": 2500,\n      \"end_ms\": 5200,\n      \"title\": "
                               "\"Middle"),
              std::string::npos)
        << json.Stdout;
}

} // namespace
