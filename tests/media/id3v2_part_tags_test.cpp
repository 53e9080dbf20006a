#include "../frame_stream.h"
#include "media/id3v2_part_tags.h"

#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

namespace {

using frame_stream::Bytes;

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

std::string Text(const TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameList frames = tag.frameListMap()[id];
    return frames.isEmpty() ? std::string("<none>") : frames.front()->toString().to8Bit(true);
}

TagLib::ByteVector Picture(const TagLib::ID3v2::Tag& tag) {
    const TagLib::ID3v2::FrameList frames = tag.frameListMap()["APIC"];
    if (frames.isEmpty())
        return {};
    return static_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frames.front())->picture();
}

// A part's tag read back as players read it: in front of audio frames in a file.
TEST(Id3v2PartTags, CarryThePartsUnicodeTextsTrackAndTheSourcesPicture) {
    const PartTagTexts texts{"Caf\u00e9 \u2013 \u00fc \U0001F3B5",
                             "K\u00fcnstler",
                             "\u30a2\u30eb\u30d0\u30e0",
                             "2024",
                             "\u00e9t\u00e9",
                             3,
                             7};
    struct Case {
        const char* Source;
        bool HasPicture;
    };
    for (const Case& c : {Case{"cbr128_id3v2_cover.mp3", true}, Case{"cbr96_id3v1.mp3", false}}) {
        SCOPED_TRACE(c.Source);
        const Bytes tagBytes = Id3v2PartTags(DataPath(c.Source)).Build(texts);
        frame_stream::TempDir dir;
        Bytes part = tagBytes;
        const Bytes audio = frame_stream::ReadFile(DataPath("cbr128_44k_joint.mp3"));
        part.insert(part.end(), audio.begin(), audio.end());
        const std::string path = dir.Write("part.mp3", part);

        TagLib::MPEG::File file(path.c_str(), false);
        ASSERT_TRUE(file.hasID3v2Tag());
        const TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
        EXPECT_EQ(tag.header()->majorVersion(), 4u);
        EXPECT_EQ(tag.header()->completeTagSize(), tagBytes.size());
        EXPECT_EQ(Text(tag, "TIT2"), texts.Title);
        EXPECT_EQ(Text(tag, "TPE1"), texts.Artist);
        EXPECT_EQ(Text(tag, "TALB"), texts.Album);
        EXPECT_EQ(Text(tag, "TDRC"), "2024");
        EXPECT_EQ(Text(tag, "COMM"), texts.Comment);
        EXPECT_EQ(Text(tag, "TRCK"), "3/7");
        EXPECT_EQ(Text(tag, "TLEN"), "<none>"); // the source's length is not the part's
        // Without a title of its own the part keeps the source's.
        PartTagTexts noTitle = texts;
        noTitle.Title.clear();
        const std::string untitledPath =
            dir.Write("untitled.mp3", Id3v2PartTags(DataPath(c.Source)).Build(noTitle));
        TagLib::MPEG::File untitled(untitledPath.c_str(), false);
        EXPECT_EQ(Text(*untitled.ID3v2Tag(true), "TIT2"), c.HasPicture ? "Cover Art" : "<none>");
        TagLib::MPEG::File source(DataPath(c.Source).c_str(), false);
        EXPECT_EQ(Picture(tag), c.HasPicture ? Picture(*source.ID3v2Tag()) : TagLib::ByteVector());
        if (c.HasPicture) {
            EXPECT_FALSE(Picture(tag).isEmpty());
            EXPECT_EQ(Text(tag, "TSSE"), Text(*source.ID3v2Tag(), "TSSE"));
        }
    }
}

} // namespace
