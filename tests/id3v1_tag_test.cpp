#include "core/id3v1_tag.h"
#include "frame_stream.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using frame_stream::Bytes;
using frame_stream::Id3v1Block;

TID3v1Tag Parsed(const Bytes& block) {
    TID3v1Tag tag;
    tag.ParseBlock(block.data(), static_cast<std::int64_t>(block.size()));
    return tag;
}

TEST(Id3v1Tag, GenreListHasTheListedNames) {
    const auto& genres = GenreList();
    EXPECT_EQ(genres[0], "Blues");
    EXPECT_EQ(genres[17], "Rock");
    EXPECT_EQ(genres[79], "Hard Rock");
    EXPECT_EQ(genres[136], "Christian Gangs");
    EXPECT_EQ(genres[140], "Contemporary Ch?");
    EXPECT_EQ(genres[141], "Cristian Rock");
    EXPECT_EQ(genres[147], "Synthpop");
}

TEST(Id3v1Tag, TextFieldsStopAtZeroAndLoseTrailingBlanks) {
    Bytes block = Id3v1Block("Song                          ", "AB\0CD", "  X   ", "1999",
                             "\tcomment\x01\x1f");
    block[33 + 2] = 0;
    block[33 + 3] = 'C';
    block[33 + 4] = 'D';
    const TID3v1Tag tag = Parsed(block);
    EXPECT_TRUE(tag.Present);
    EXPECT_EQ(tag.Title, "Song");
    EXPECT_EQ(tag.Artist, "AB");
    EXPECT_EQ(tag.Album, "  X");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "\tcomment");
    EXPECT_TRUE(tag.FullComment);
}

TEST(Id3v1Tag, TrackNumberLimitsTheComment) {
    TID3v1Tag tag = Parsed(Id3v1Block("t", "", "", "", "a comment", 17, 7));
    EXPECT_FALSE(tag.FullComment);
    EXPECT_EQ(tag.Comment, "a comment");
    tag.SetField(5, std::string(35, 'c'));
    EXPECT_EQ(tag.Comment, std::string(28, 'c'));
    // Byte 125 = 0 and byte 126 = 0: no track, the full 30 bytes.
    tag = Parsed(Id3v1Block("t"));
    EXPECT_TRUE(tag.FullComment);
    tag.SetField(5, std::string(35, 'c'));
    EXPECT_EQ(tag.Comment, std::string(30, 'c'));
    tag.SetField(3, "20245");
    EXPECT_EQ(tag.Year, "2024");
    tag.SetField(9, "ignored");
    EXPECT_EQ(tag.Title, "t");
}

TEST(Id3v1Tag, GenreNameByNumber) {
    EXPECT_EQ(Parsed(Id3v1Block("t", "", "", "", "", 17)).GenreName, "Rock");
    EXPECT_EQ(Parsed(Id3v1Block("t", "", "", "", "", 147)).GenreName, "Synthpop");
    EXPECT_EQ(Parsed(Id3v1Block("t", "", "", "", "", 148)).GenreName, "");
    const TID3v1Tag last = Parsed(Id3v1Block("t", "", "", "", "", 255));
    EXPECT_EQ(last.GenreId, 255u);
    EXPECT_EQ(last.GenreName, "");
}

TEST(Id3v1Tag, NoTagKeepsEarlierFields) {
    TID3v1Tag tag = Parsed(Id3v1Block("Kept"));
    Bytes lower = Id3v1Block("Other");
    lower[0] = 't';
    lower[1] = 'a';
    lower[2] = 'g';
    tag.ParseBlock(lower.data(), 128);
    EXPECT_FALSE(tag.Present);
    EXPECT_EQ(tag.Title, "Kept");
    tag.Present = true;
    tag.ParseBlock(Id3v1Block("Short").data(), 127);
    EXPECT_FALSE(tag.Present);
}

TEST(Id3v1Tag, ReadsTheLastBlockOfARange) {
    Bytes bytes(300, 0x55);
    frame_stream::Append(bytes, Id3v1Block("End"));
    bytes.insert(bytes.end(), 50, 0x55);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    in.seekg(100);
    TID3v1Tag tag;
    tag.ReadFromStream(in, 328);
    EXPECT_TRUE(tag.Present);
    EXPECT_EQ(tag.Title, "End");

    std::istringstream shortRange(std::string(bytes.begin(), bytes.end()));
    tag.ReadFromStream(shortRange, 127);
    EXPECT_FALSE(tag.Present);
    // A range that claims more bytes than the stream holds is a read error.
    std::istringstream truncated(std::string(bytes.begin(), bytes.begin() + 200));
    EXPECT_FALSE(tag.ReadFromStream(truncated, 300));
}

TEST(Id3v1Tag, EncodedBlockPadsAndCuts) {
    const TagBlockBytes block =
        EncodeTagBlock("", std::string(35, 'T'), "Album", "19999", std::string(30, 'c'), 17);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 3), "TAG");
    EXPECT_EQ(std::string(block.begin() + 3, block.begin() + 33), std::string(30, ' '));
    EXPECT_EQ(std::string(block.begin() + 33, block.begin() + 63), std::string(30, 'T'));
    EXPECT_EQ(std::string(block.begin() + 63, block.begin() + 93), "Album" + std::string(25, ' '));
    EXPECT_EQ(std::string(block.begin() + 93, block.begin() + 97), "1999");
    EXPECT_EQ(block[125], 'c');
    EXPECT_EQ(block[126], 'c');
    EXPECT_EQ(block[127], 17);

    TID3v1Tag tag;
    tag.ParseBlock(block.data(), 128);
    EXPECT_EQ(tag.Title, "");
    EXPECT_EQ(tag.Artist, std::string(30, 'T'));
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_TRUE(tag.FullComment);
}

} // namespace
