#include "media/cue_reader.h"
#include "split/cue_sections.h"
#include "split/cue_writer.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const char* const kAlbum = R"(REM DATE 1999
REM COMMENT "ripped"
PERFORMER "The Bänd"
TITLE "Album"
FILE "album.mp3" MP3
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    PERFORMER "Guest"
    REM COMMENT "live"
    INDEX 00 00:02:10
    INDEX 01 00:03:74
  TRACK 03 AUDIO
    TITLE "Three"
    REM DATE 2001
    INDEX 01 00:05:01
)";

struct Case {
    std::string Name;
    std::string Sheet;
    std::string SourcePath;
    int ErrorLine; // 0: the sheet is taken
    std::size_t Warnings;
};

Result<CueSections> Sections(const std::string& sheet, const std::string& sourcePath) {
    const Result<CueSheet> read = ReadCueText(sheet);
    if (!read)
        return read.Failure();
    TID3v1Tag tag;
    tag.Present = true;
    tag.GenreId = 17;
    return SectionsFromCue(read.Value(), 8000, tag, sourcePath);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

std::string WithoutFinalLineEnd(std::string text) {
    text.pop_back();
    return text;
}

std::string WithLineEnds(std::string text, const std::string& end) {
    for (std::size_t at = text.find('\n'); at != std::string::npos;
         at = text.find('\n', at + end.size()))
        text.replace(at, 1, end);
    return text;
}

TEST(CueReader, SheetsAreTakenWholeOrRefusedWithTheLine) {
    const std::vector<Case> cases = {
        {"good", kAlbum, "/music/album.mp3", 0, 0},
        {"other FILE", kAlbum, "/music/rip.mp3", 0, 1},
        {"unknown command", Replaced(kAlbum, "    TITLE \"Two\"", "    TITEL \"Two\""), "album.mp3",
         10, 0},
        {"open quote", Replaced(kAlbum, "\"Three\"", "\"Three"), "album.mp3", 16, 0},
        {"seconds past 59", Replaced(kAlbum, "00:05:01", "00:65:01"), "album.mp3", 18, 0},
        {"frame past 74", Replaced(kAlbum, "00:05:01", "00:05:75"), "album.mp3", 18, 0},
        {"no INDEX 01", Replaced(kAlbum, "INDEX 01 00:03:74", "INDEX 02 00:03:74"), "album.mp3", 9,
         0},
        {"out of order", Replaced(kAlbum, "00:05:01", "00:03:74"), "album.mp3", 18, 0},
        {"past the end", Replaced(kAlbum, "00:05:01", "00:08:00"), "album.mp3", 18, 0},
        {"no track", "TITLE \"x\"\n", "album.mp3", 1, 0},
        {"index before track", "FILE \"a\" MP3\nINDEX 01 00:00:00\n", "album.mp3", 2, 0},
        {"INDEX past 32 bits", Replaced(kAlbum, "INDEX 00", "INDEX 2147483648"), "album.mp3", 13,
         0},
        {"TRACK past 32 bits", Replaced(kAlbum, "TRACK 03", "TRACK 4294967299"), "album.mp3", 15,
         0},
        {"NUL byte", Replaced(kAlbum, "Three", std::string("Th\0ree", 6)), "album.mp3", 16, 0},
        {"later FILE for another file",
         Replaced(kAlbum, "  TRACK 03", "FILE \"other.mp3\" MP3\n  TRACK 03"), "album.mp3", 0, 1},
        {"two tracks under a later FILE for another file",
         Replaced(kAlbum, "  TRACK 02", "FILE \"other.mp3\" MP3\n  TRACK 02"), "album.mp3", 0, 1},
        {"later FILE for the source",
         Replaced(kAlbum, "  TRACK 03", "FILE \"album.mp3\" MP3\n  TRACK 03"), "album.mp3", 0, 0},
        {"CR line ends", WithLineEnds(kAlbum, "\r"), "album.mp3", 0, 0},
        {"CR LF line ends", WithLineEnds(kAlbum, "\r\n"), "album.mp3", 0, 0},
        {"no line end after the last line", WithoutFinalLineEnd(kAlbum), "album.mp3", 0, 0},
        {"CR line ends, none after the last line", WithLineEnds(WithoutFinalLineEnd(kAlbum), "\r"),
         "album.mp3", 0, 0},
        {"CR line ends, open quote", WithLineEnds(Replaced(kAlbum, "\"Three\"", "\"Three"), "\r"),
         "album.mp3", 16, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Result<CueSections> sections = Sections(c.Sheet, c.SourcePath);
        EXPECT_EQ(sections ? 0 : sections.Failure().Line, c.ErrorLine);
        if (sections) {
            EXPECT_EQ(sections.Value().Entries.size(), 3u);
            EXPECT_EQ(sections.Value().Warnings.size(), c.Warnings);
            EXPECT_EQ(sections.Value().Entries[2].Title, "Three");
        }
    }
}

// libcue keeps 1022 bytes of a text, here in the middle of an "é".
TEST(CueReader, ATooLongTitleIsCutBeforeACharacterAndSaysSo) {
    std::string title = "a";
    for (int i = 0; i < 800; ++i)
        title += "é";
    const Result<CueSheet> read = ReadCueText("FILE \"a.mp3\" MP3\n TRACK 01 AUDIO\n  TITLE \"" +
                                              title + "\"\n  INDEX 01 00:00:00\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(read.Value().Tracks[0].Title, title.substr(0, 1021));
    ASSERT_EQ(read.Value().Warnings.size(), 1u);
    const Error& warning = read.Value().Warnings[0];
    EXPECT_EQ(warning.Line, 4);
    EXPECT_EQ(warning.Text, "the track's TITLE is longer than 1022 bytes: only its start is read");
}

TEST(CueReader, TracksBecomeTaggedSectionsThatTileTheAudio) {
    const Result<CueSections> sections = Sections(kAlbum, "album.mp3");
    ASSERT_EQ(sections.Value().Entries.size(), 3u);
    const SplitListItem& one = sections.Value().Entries[0];
    const SplitListItem& two = sections.Value().Entries[1];
    const SplitListItem& three = sections.Value().Entries[2];
    // 00:03:74 is 3000 + 74 × 1000 / 75 = 3986.67, truncated.
    EXPECT_EQ(std::vector<std::int32_t>(
                  {one.StartMs, one.EndMs, two.StartMs, two.EndMs, three.StartMs, three.EndMs}),
              std::vector<std::int32_t>({0, 3986, 3986, 5013, 5013, 8000}));
    EXPECT_EQ(one.Artist, "The Bänd");
    EXPECT_EQ(two.Artist, "Guest");
    EXPECT_EQ(two.Album, "Album");
    EXPECT_EQ(one.Comment, "ripped");
    EXPECT_EQ(two.Comment, "live");
    EXPECT_EQ(one.Year, "1999");
    EXPECT_EQ(three.Year, "2001");
    EXPECT_EQ(three.Genre, 17);
}

TEST(CueReader, AnUntaggedSourceGivesNoGenre) {
    const Result<CueSections> sections =
        SectionsFromCue(ReadCueText(kAlbum).Value(), 8000, TID3v1Tag(), "album.mp3");
    ASSERT_EQ(sections.Value().Entries.size(), 3u);
    EXPECT_EQ(sections.Value().Entries[0].Genre, 255);
}

TEST(CueReader, ALatin1SheetReadsAsUtf8) {
    const Result<CueSections> sections =
        Sections("PERFORMER \"Caf\xE9\"\nFILE \"a.mp3\" MP3\n TRACK 01 AUDIO\n  INDEX 01 "
                 "00:00:00\n",
                 "a.mp3");
    ASSERT_EQ(sections.Value().Entries.size(), 1u);
    EXPECT_EQ(sections.Value().Entries[0].Artist, "Café");
}

TEST(CueWriter, AnExportedSheetReadsBackToTheSameCuts) {
    std::vector<SplitListItem> entries = Sections(kAlbum, "album.mp3").Value().Entries;
    entries[1].Checked = false;
    const CueSections again =
        Sections(WriteCueSheet(entries, "/music/album.mp3").Text, "album.mp3").Value();
    ASSERT_EQ(again.Entries.size(), 2u);
    EXPECT_TRUE(again.Warnings.empty());
    EXPECT_EQ(again.Entries[1].StartMs, 5013);
    EXPECT_EQ(again.Entries[1].Title, "Three");
    EXPECT_EQ(again.Entries[1].Year, "2001");
    EXPECT_EQ(again.Entries[0].Album, "Album");
}

TEST(SavedList, LoadingRestoresTheListExactly) {
    const auto entry = [](std::int32_t start, std::int32_t end, bool checked, const char* title,
                          const char* artist, const char* album, const char* year,
                          const char* comment, std::uint8_t genre) {
        SplitListItem e;
        e.StartMs = start;
        e.EndMs = end;
        e.Checked = checked;
        e.Title = title;
        e.Artist = artist;
        e.Album = album;
        e.Year = year;
        e.Comment = comment;
        e.Genre = genre;
        return e;
    };
    const std::vector<SplitListItem> entries = {
        entry(12345, 20000, true, "A \"quoted\" title", "Ärtist", "100% Hits", "2024",
              "tab\there %41", 17),
        entry(0, 999, false, "", "", "", "", "", 0),
        // Out of order and overlapping, as a list edited by hand may be.
        entry(5, 13, true, "x", "y", "z", "1", "c", 255),
    };
    const std::string path = "/music/my \"best\" rip.mp3";
    const Result<CueSheet> read = ReadCueText(WriteSavedList(entries, path));
    ASSERT_TRUE(read) << read.Failure().Text;
    const Result<SavedList> saved = ListFromSavedSheet(read.Value());
    ASSERT_TRUE(saved);
    const SavedList& loaded = saved.Value();
    EXPECT_EQ(loaded.SourcePath, path);
    ASSERT_EQ(loaded.Entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const SplitListItem& a = entries[i];
        const SplitListItem& b = loaded.Entries[i];
        EXPECT_EQ(std::tie(a.StartMs, a.EndMs, a.Checked, a.Title, a.Artist, a.Album, a.Year,
                           a.Comment, a.Genre),
                  std::tie(b.StartMs, b.EndMs, b.Checked, b.Title, b.Artist, b.Album, b.Year,
                           b.Comment, b.Genre));
    }
    // A plain sheet is not a saved list.
    const Result<SavedList> plain = ListFromSavedSheet(ReadCueText(kAlbum).Value());
    ASSERT_FALSE(plain);
    EXPECT_EQ(plain.Failure().Line, 8);
}

// libcue reads 99 tracks at most; the lists and sheets Kerfline writes hold up to 999.
TEST(SavedList, ListsOfEveryLengthReadBack) {
    for (const std::size_t rows : {99u, 100u, 999u}) {
        SCOPED_TRACE(rows);
        std::vector<SplitListItem> entries(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            entries[i].StartMs = static_cast<std::int32_t>(i) * 1000;
            entries[i].EndMs = entries[i].StartMs + 1000;
            entries[i].Title = "T" + std::to_string(i);
            entries[i].Artist = i == rows - 1 ? "Last" : "";
        }
        const Result<CueSheet> saved = ReadCueText(WriteSavedList(entries, "/m/a.mp3"));
        ASSERT_TRUE(saved) << saved.Failure().Text;
        const SavedList loaded = ListFromSavedSheet(saved.Value()).Value();
        ASSERT_EQ(loaded.Entries.size(), rows);
        EXPECT_EQ(loaded.SourcePath, "/m/a.mp3");
        EXPECT_EQ(loaded.Entries.back().Title, "T" + std::to_string(rows - 1));
        EXPECT_EQ(loaded.Entries.back().Artist, "Last");
        const Result<CueSheet> exported = ReadCueText(WriteCueSheet(entries, "/m/a.mp3").Text);
        ASSERT_TRUE(exported) << exported.Failure().Text;
        EXPECT_EQ(exported.Value().Tracks.at(rows - 1).Performer, "Last");
    }
}

// Only a regular file is read as a sheet, and not one far larger than any
// sheet; every refusal names the sheet, with the line where the sheet is at fault.
TEST(CueReader, AFileThatIsNoSheetIsRefusedWithTheReason) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "kerfline_cue_files";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "huge.cue") << "";
    std::filesystem::resize_file(folder / "huge.cue", 17 << 20);
    std::ofstream(folder / "bad.cue") << "FILE \"a.mp3\" MP3\nPLAY 1\n";
    const struct {
        std::string Path;
        ErrorCategory Category;
        std::string Message;
    } cases[] = {
        {(folder / "missing.cue").string(), ErrorCategory::Open, ": No such file or directory"},
        {folder.string(), ErrorCategory::Open, ": not a regular file"},
        {"/dev/zero", ErrorCategory::Open, ": not a regular file"},
        {(folder / "huge.cue").string(), ErrorCategory::Format, ": too large for a cue sheet"},
        {(folder / "bad.cue").string(), ErrorCategory::Format,
         ":2: 'PLAY' is not a cue sheet command"},
    };
    for (const auto& c : cases) {
        const Result<CueSheet> read = ReadCueFile(c.Path);
        ASSERT_FALSE(read) << c.Path;
        EXPECT_EQ(read.Failure().Category, c.Category) << c.Path;
        EXPECT_EQ(read.Failure().Path, c.Path);
        EXPECT_EQ(ErrorMessage(read.Failure()), c.Path + c.Message);
    }
    std::filesystem::remove_all(folder);
}

} // namespace
