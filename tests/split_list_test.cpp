#include "split/split_list.h"

#include <gtest/gtest.h>

namespace {

TID3v1Tag SourceTag() {
    TID3v1Tag tag;
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
    EXPECT_FALSE(entry.DoWrite);
}

TEST(SplitList, RemoveKeepsTheOthersInOrderWithTheirCheckMarksAndPaths) {
    SplitList list;
    for (int i = 0; i < 3; ++i)
        list.AddEntry(i * 1000, i * 1000 + 500, TID3v1Tag());
    list[0].Checked = false;
    list[2].OutPath = "/out/c.mp3";
    list[2].DoWrite = true;
    list.RemoveEntry(1);
    ASSERT_EQ(list.SplitCount(), 2);
    EXPECT_EQ(list[0].StartMs, 0);
    EXPECT_FALSE(list[0].Checked);
    EXPECT_EQ(list[1].StartMs, 2000);
    EXPECT_EQ(list[1].OutPath, "/out/c.mp3");
    EXPECT_TRUE(list[1].DoWrite);
    list.ClearEntries();
    EXPECT_EQ(list.SplitCount(), 0);
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

} // namespace
