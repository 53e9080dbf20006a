#include "../chapter_source.h"
#include "../frame_stream.h"
#include "session/split_session.h"

#include <gtest/gtest.h>

namespace {

using chapter_source::Chapter;

std::string Fixture(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// The rows as "start-end title|" each.
std::string Rows(const SplitList& list) {
    std::string rows;
    for (const SplitListItem& entry : list.Entries())
        rows += std::to_string(entry.StartMs) + "-" + std::to_string(entry.EndMs) + " " +
                entry.Title + "|";
    return rows;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// The source (8.05 s, tagged "Someone") read with its chapters into the list.
TEST(ChapterImport, RowsFromTheChaptersAsTheTagOrdersThem) {
    struct Case {
        const char* Name;
        std::vector<Chapter> Chapters;
        std::vector<const char*> Toc;
        std::string Rows;
        std::string Notes;    // a word each line holds, "" for none
        std::string Refusals; // ditto
    };
    const char* png = "\x89PNG picture";
    const std::vector<Case> cases = {
        {"the table's order, not the frames'",
         {{"c", 5000, 8000, "Three"}, {"a", 0, 2000, "One"}, {"b", 2000, 5000, "Two"}},
         {"b", "a", "c"},
         "2000-5000 Two|0-2000 One|5000-8000 Three|",
         "",
         ""},
        {"only the chapters the table names",
         {{"a", 0, 2000, "One"}, {"b", 2000, 5000, "Two"}},
         {"b"},
         "2000-5000 Two|",
         "",
         ""},
        {"without a table, by start time",
         {{"c", 5000, 8000, "Three"}, {"a", 0, 2000, "One"}, {"b", 2000, 5000, "Two"}},
         {},
         "0-2000 One|2000-5000 Two|5000-8000 Three|",
         "",
         ""},
        {"overlapping, as they stand",
         {{"a", 0, 3000, "One"}, {"b", 2500, 6000, "Two"}},
         {"a", "b"},
         "0-3000 One|2500-6000 Two|",
         "\"One\" and the chapter \"Two\" overlap by 0.500 s",
         ""},
        {"one inside another: no gap after it",
         {{"a", 0, 6000, "Long"}, {"b", 1000, 2000, "Inner"}, {"c", 6000, 8000, "After"}},
         {},
         "0-6000 Long|1000-2000 Inner|6000-8000 After|",
         "\"Long\" and the chapter \"Inner\" overlap by 1.000 s",
         ""},
        {"with a gap, as they stand",
         {{"a", 0, 2000, "One"}, {"b", 3250, 6000, "Two"}},
         {},
         "0-2000 One|3250-6000 Two|",
         "a gap of 1.250 s between",
         ""},
        {"past the end, refused by title",
         {{"a", 0, 4000, "In"}, {"b", 9000, 9500, "Beyond"}, {"c", 4000, 4000, "Empty"}},
         {"a", "b", "c"},
         "0-4000 In|",
         "",
         "\"Beyond\" starts at 00:09.0, past the end"},
        {"without titles",
         {{"a", 0, 4000}, {"b", 4000, 8000}},
         {"a", "b"},
         "0-4000 |4000-8000 |",
         "",
         ""},
        {"with pictures",
         {{"a", 0, 4000, "One", png}, {"b", 4000, 8000, "Two", png}},
         {"a", "b"},
         "0-4000 One|4000-8000 Two|",
         "",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        frame_stream::TempDir dir;
        const std::string source = chapter_source::Make(Fixture("cbr128_id3v2_cover.mp3"),
                                                        dir.Path() / "book.mp3", c.Chapters, c.Toc);
        SplitSession session;
        ASSERT_TRUE(session.Open(source));
        const Result<ListChange> change = session.ImportChapters();
        ASSERT_TRUE(change);
        EXPECT_EQ(Rows(session.List()), c.Rows);
        const std::string notes = Joined(change.Value().Warnings);
        const std::string refusals = Joined(change.Value().Refusals);
        EXPECT_EQ(notes.empty(), c.Notes.empty()) << notes;
        EXPECT_NE(notes.find(c.Notes), std::string::npos) << notes;
        EXPECT_EQ(notes.find("gap") == std::string::npos, c.Notes.find("gap") == std::string::npos)
            << notes;
        EXPECT_EQ(refusals.empty(), c.Refusals.empty()) << refusals;
        EXPECT_NE(refusals.find(c.Refusals), std::string::npos) << refusals;
        for (const SplitListItem& entry : session.List().Entries())
            EXPECT_EQ(entry.Artist, "Someone");
        EXPECT_EQ(session.UndoName(), "Import Chapters");
    }
}

TEST(ChapterImport, ARowPastTheEndEndsThereAndNoChaptersIsAnError) {
    frame_stream::TempDir dir;
    const std::string source =
        chapter_source::Make(Fixture("cbr128_id3v2_cover.mp3"), dir.Path() / "book.mp3",
                             {{"a", 0, 4000, "One"}, {"b", 4000, 60000, "Long"}}, {});
    SplitSession session;
    ASSERT_TRUE(session.Open(source));
    const Result<ListChange> change = session.ImportChapters();
    ASSERT_TRUE(change);
    ASSERT_EQ(session.List().SplitCount(), 2);
    EXPECT_EQ(session.List()[1].EndMs, session.State().DurationMs);
    EXPECT_NE(Joined(change.Value().Warnings).find("\"Long\" ends at 01:00.0, past the end"),
              std::string::npos);

    ASSERT_TRUE(session.Open(Fixture("cbr128_id3v2_cover.mp3")));
    EXPECT_TRUE(session.Chapters().Chapters.empty());
    const Result<ListChange> none = session.ImportChapters();
    ASSERT_FALSE(none);
    EXPECT_EQ(ErrorMessage(none.Failure()),
              Fixture("cbr128_id3v2_cover.mp3") + ": has no chapters");
}

} // namespace
