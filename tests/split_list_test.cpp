#include "split/part_plan.h"
#include "split/split_list.h"

#include <gtest/gtest.h>

namespace {

TID3v1Tag SourceTag() {
    TID3v1Tag tag;
    tag.Present = true;
    tag.Title = std::string(34, 't');
    tag.Artist = "Artist";
    tag.Album = std::string(30, 'a');
    tag.Year = "19995";
    tag.Comment = "comment";
    tag.GenreId = 17;
    return tag;
}

TEST(SplitList, AddEntryCopiesTheSourceTagCutToCapacityAndChecksTheRow) {
    SplitList list;
    EXPECT_EQ(list.AddEntry(10000, 25000, SourceTag()), 0);
    const SplitListItem& entry = list[0];
    EXPECT_EQ(entry.StartMs, 10000);
    EXPECT_EQ(entry.EndMs, 25000);
    EXPECT_EQ(entry.TagId, "TAG");
    EXPECT_EQ(entry.Title, std::string(30, 't'));
    EXPECT_EQ(entry.Artist, "Artist");
    EXPECT_EQ(entry.Album, std::string(30, 'a'));
    EXPECT_EQ(entry.Year, "1999");
    EXPECT_EQ(entry.Comment, "comment");
    EXPECT_EQ(entry.Genre, 17);
    EXPECT_TRUE(entry.Checked);
    // An untagged source has no genre to pass on, whatever an earlier tag left.
    TID3v1Tag untagged = SourceTag();
    untagged.Present = false;
    EXPECT_EQ(list[list.AddEntry(0, 1000, untagged)].Genre, 255);
}

TEST(SplitList, RemoveKeepsTheOthersInOrderWithTheirCheckMarks) {
    SplitList list;
    for (int i = 0; i < 3; ++i)
        list.AddEntry(i * 1000, i * 1000 + 500, TID3v1Tag());
    list[0].Checked = false;
    list.RemoveEntry(1);
    ASSERT_EQ(list.SplitCount(), 2);
    EXPECT_EQ(list[0].StartMs, 0);
    EXPECT_FALSE(list[0].Checked);
    EXPECT_EQ(list[1].StartMs, 2000);
    list.ClearEntries();
    EXPECT_EQ(list.SplitCount(), 0);
}

// Rows written or saved are kept until they change or go; emptying the list
// loses the others and the removals, and the question names how many.
TEST(SplitList, UnkeptRowsAreThoseChangedSinceLastWrittenOrSaved) {
    SplitList list;
    for (int i = 0; i < 3; ++i)
        list.AddEntry(i * 1000, i * 1000 + 500, SourceTag());
    EXPECT_EQ(list.UnkeptCount(), 3);
    PartPlan plan(3);
    plan[0].Decision = PartDecision::Write;
    plan[1].Decision = PartDecision::Skip;
    plan[2].Decision = PartDecision::Write;
    MarkWrittenKept(list, plan);
    EXPECT_EQ(list.UnkeptCount(), 1) << "the skipped row was not written";
    list.MarkAllKept();
    struct Case {
        const char* Change;
        void (*Apply)(SplitList&);
        std::int32_t Unkept;
        std::int32_t Removed;
    };
    const Case cases[] = {
        {"nothing", [](SplitList&) {}, 0, 0},
        {"tick", [](SplitList& l) { l[1].Checked = false; }, 1, 0},
        {"title", [](SplitList& l) { l[0].Title = "x"; }, 1, 0},
        {"end", [](SplitList& l) { l[2].EndMs += 1; }, 1, 0},
        {"a new row", [](SplitList& l) { l.AddEntry(0, 1, SourceTag()); }, 1, 0},
        {"a removed row", [](SplitList& l) { l.RemoveEntry(0); }, 0, 1},
        {"an edited row and a removed one",
         [](SplitList& l) {
             l[0].Title = "x";
             l.RemoveEntry(1);
         },
         1, 1},
        {"reordered", [](SplitList& l) { std::swap(l[0], l[2]); }, 0, 0},
        {"every row removed", [](SplitList& l) { l.RemoveAllEntries(); }, 0, 3},
        {"emptied for another source", [](SplitList& l) { l.ClearEntries(); }, 0, 0},
    };
    for (const Case& c : cases) {
        SplitList changed = list;
        c.Apply(changed);
        EXPECT_EQ(changed.UnkeptCount(), c.Unkept) << c.Change;
        EXPECT_EQ(changed.RemovedCount(), c.Removed) << c.Change;
    }
    list.ClearEntries();
    list.AddEntry(0, 500, SourceTag());
    EXPECT_EQ(list.UnkeptCount(), 1) << "a row like one kept before the list was emptied";
    const std::pair<std::int32_t, std::int32_t> counts[] = {{2, 0}, {1, 0}, {0, 1}, {0, 3}, {1, 2}};
    const char* questions[] = {
        "The split list has 2 rows that were not split or saved. Discard them?",
        "The split list has 1 row that was not split or saved. Discard it?",
        "Since the split list was last split or saved, 1 row was removed from it. Discard this "
        "change?",
        "Since the split list was last split or saved, 3 rows were removed from it. Discard this "
        "change?",
        "The split list has 1 row that was not split or saved, and 2 rows were removed. Discard "
        "these changes?",
    };
    for (std::size_t i = 0; i < std::size(counts); ++i)
        EXPECT_EQ(DiscardQuestion(counts[i].first, counts[i].second), questions[i]);
}

TEST(SplitList, IsFullAtTheLimitOf999) {
    SplitList list;
    for (int i = 0; i < 998; ++i)
        list.AddEntry(0, 1, TID3v1Tag());
    EXPECT_FALSE(list.IsFull());
    list.AddEntry(0, 1, TID3v1Tag());
    EXPECT_TRUE(list.IsFull());
    EXPECT_EQ(LimitMessage(), "Sorry! In this program you can add only 999 parts!");
}

TEST(EncodeEntryTag, PadsWithSpacesAndHasNoTrackByte) {
    SplitListItem entry;
    entry.TagId = "XYZ";
    entry.Title = "abc";
    entry.Genre = 12;
    const TagBlockBytes block = EncodeEntryTag(entry);
    std::string expected = "TAGabc" + std::string(27, ' ') + std::string(94, ' ');
    expected += '\x0c';
    EXPECT_EQ(std::string(block.begin(), block.end()), expected);

    entry.Comment = std::string(30, 'c');
    entry.Year = "2024";
    const TagBlockBytes full = EncodeEntryTag(entry);
    EXPECT_EQ(std::string(full.begin() + 93, full.begin() + 97), "2024");
    EXPECT_EQ(std::string(full.begin() + 97, full.begin() + 127), std::string(30, 'c'));
}

TEST(EncodeEntryTag, WritesTheLatin1FormOfUtf8TextsCutToTheirFields) {
    struct Case {
        std::string Utf8;
        std::string Latin1Field; // the title field's 30 bytes
    };
    const Case cases[] = {
        {"caf\u00e9 \u2013 \u00fc", "caf\xe9 ? \xfc" + std::string(22, ' ')},
        {"\U0001F3B5\u00ff", "?\xff" + std::string(28, ' ')},
        {"bad \xc3 \xff", "bad ? ?" + std::string(23, ' ')}, // not UTF-8: a "?" per byte
        {std::string(29, 'x') + "\u00e9\u00e9", std::string(29, 'x') + "\xe9"},
    };
    for (const Case& c : cases) {
        SplitListItem entry;
        entry.Title = c.Utf8;
        entry.Year = "\u00b2\u2070\u00b2\u2074\u00b9"; // five characters, nine bytes
        const TagBlockBytes block = EncodeEntryTag(entry);
        EXPECT_EQ(std::string(block.begin() + 3, block.begin() + 33), c.Latin1Field) << c.Utf8;
        EXPECT_EQ(std::string(block.begin() + 93, block.begin() + 97), "\xb2?\xb2?");
    }
}

TEST(SplitList, AddEntryTakesTheSourceTagsLatin1AsUtf8) {
    TID3v1Tag tag;
    tag.Title = "Caf\xe9" + std::string(30, 'x');
    tag.Comment = "\xfc";
    SplitList list;
    list.AddEntry(0, 1, tag);
    EXPECT_EQ(list[0].Title, "Caf\u00e9" + std::string(26, 'x'));
    EXPECT_EQ(list[0].Comment, "\u00fc");
    const TagBlockBytes block = EncodeEntryTag(list[0]);
    EXPECT_EQ(std::string(block.begin() + 3, block.begin() + 33), tag.Title.substr(0, 30));
}

} // namespace
