#include "../frame_stream.h"
#include "media/id3v2_part_tags.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <unistd.h>
#include <zlib.h>

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

// The encoding byte of the tag's first frame of kind id.
int EncodingOf(const TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameList frames = tag.frameListMap()[id];
    return frames.isEmpty() ? -1 : static_cast<unsigned char>(frames.front()->render()[10]);
}

// A part's tag read back as players read it: in front of audio frames in a
// file. ID3v2.3 by default, its texts Latin-1 where they fit, else UTF-16;
// ID3v2.4 on request, UTF-8.
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
        bool Version24;
    };
    for (const Case& c :
         {Case{"cbr128_id3v2_cover.mp3", true, false}, Case{"cbr96_id3v1.mp3", false, false},
          Case{"cbr128_id3v2_cover.mp3", true, true}}) {
        SCOPED_TRACE(std::string(c.Source) + (c.Version24 ? " 2.4" : " 2.3"));
        const Bytes tagBytes = Id3v2PartTags(DataPath(c.Source), c.Version24).Build(texts);
        frame_stream::TempDir dir;
        Bytes part = tagBytes;
        const Bytes audio = frame_stream::ReadFile(DataPath("cbr128_44k_joint.mp3"));
        part.insert(part.end(), audio.begin(), audio.end());
        const std::string path = dir.Write("part.mp3", part);

        TagLib::MPEG::File file(path.c_str(), false);
        ASSERT_TRUE(file.hasID3v2Tag());
        const TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
        EXPECT_EQ(tag.header()->majorVersion(), c.Version24 ? 4u : 3u);
        EXPECT_EQ(tag.header()->completeTagSize(), tagBytes.size());
        EXPECT_EQ(Text(tag, "TIT2"), texts.Title);
        EXPECT_EQ(Text(tag, "TPE1"), texts.Artist);
        EXPECT_EQ(Text(tag, "TALB"), texts.Album);
        EXPECT_EQ(Text(tag, "TDRC"), "2024"); // TagLib reads ID3v2.3's TYER as TDRC
        EXPECT_EQ(Text(tag, "COMM"), texts.Comment);
        EXPECT_EQ(Text(tag, "TRCK"), "3/7");
        EXPECT_EQ(Text(tag, "TLEN"), "<none>"); // the source's length is not the part's
        // 0 Latin-1, 1 UTF-16, 3 UTF-8
        EXPECT_EQ(EncodingOf(tag, "TIT2"), c.Version24 ? 3 : 1);
        EXPECT_EQ(EncodingOf(tag, "TPE1"), c.Version24 ? 3 : 0);
        EXPECT_EQ(EncodingOf(tag, "TRCK"), c.Version24 ? 3 : 0);
        // Without a title of its own the part keeps the source's.
        PartTagTexts noTitle = texts;
        noTitle.Title.clear();
        const std::string untitledPath = dir.Write(
            "untitled.mp3", Id3v2PartTags(DataPath(c.Source), c.Version24).Build(noTitle));
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

// The source's chapters, gapless numbers, loudness and frames that inflate
// past the limit stay out of every part; its other frames, however spelt, stay.
TEST(Id3v2PartTags, WholeSourceFramesAndOversizedOnesAreLeftOut) {
    const std::string source = DataPath("id3v2_whole_source_frames.mp3");
    SplitList list;
    for (int i = 0; i < 3; ++i)
        list.AddEntry(i * 100, i * 100 + 100, {});
    SplitJob job;
    job.SourcePath = source;
    const std::vector<std::string> warnings = AddId3v2Tags(job, list);
    ASSERT_EQ(warnings.size(), 2u);
    for (const std::string& warning : warnings)
        EXPECT_EQ(warning.rfind(source + ": warning: the ID3v2 frame PRIV (", 0), 0u) << warning;
    frame_stream::TempDir dir;
    for (std::size_t row = 0; row < 3; ++row) {
        const Bytes tagBytes = job.PartPrefix(row);
        EXPECT_LT(tagBytes.size(), std::size_t{16} << 20);
        TagLib::MPEG::File file(dir.Write("part.mp3", tagBytes).c_str(), false);
        const TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
        EXPECT_EQ(Text(tag, "TRCK"), std::to_string(row + 1) + "/3");
        for (const char* id : {"CHAP", "CTOC", "RVA2"})
            EXPECT_EQ(Text(tag, id), "<none>") << id;
        std::vector<std::string> userTexts;
        for (const TagLib::ID3v2::Frame* frame : tag.frameListMap()["TXXX"])
            userTexts.push_back(frame->toString().to8Bit(true));
        EXPECT_EQ(userTexts, std::vector<std::string>{"[MOOD] calm"});
        std::vector<std::size_t> privateSizes;
        for (const TagLib::ID3v2::Frame* frame : tag.frameListMap()["PRIV"])
            privateSizes.push_back(frame->size());
        EXPECT_EQ(privateSizes, (std::vector<std::size_t>{15 + (9u << 20), 19}));
        EXPECT_EQ(Text(tag, "TSSE"), "LAME3.100");
    }
}

// A few compressed bytes that claim to inflate to 200 MB are left out before
// TagLib reads them, which would inflate a frame in full; the frames after stay.
TEST(Id3v2PartTags, FramesDeclaredToInflatePastTheLimitAreLeftOut) {
    const std::string deflated("\x78\xda\xab\x60\x48\x4c\x4a\x06\x00\x04\xa7\x01\x9f", 13);
    struct Case {
        char Version;
        char Flags;
        std::string BeforeData; // ID3v2.3: the size; ID3v2.4: a group, then the size synchsafe
    };
    for (const Case& c : {Case{3, '\x80', std::string("\x0c\x80\x00\x00", 4)},
                          Case{4, '\x49', std::string("\x07\x64\x00\x00\x00", 5)}}) {
        SCOPED_TRACE(int(c.Version));
        const auto frame = [](const std::string& id, char flags, const std::string& data) {
            return id + std::string{0, 0, 0, char(data.size()), 0, flags} + data;
        };
        const std::string body = frame("TIT2", 0, std::string("\0Title", 6)) +
                                 frame("PRIV", c.Flags, c.BeforeData + deflated) +
                                 frame("TPE1", 0, std::string("\0Artist", 7)) + std::string(64, 0);
        const std::string tag =
            std::string{'I', 'D', '3', c.Version, 0, 0, 0, 0, 0, char(body.size())} + body;
        Bytes source(tag.begin(), tag.end());
        const Bytes audio = frame_stream::ReadFile(DataPath("cbr128_44k_joint.mp3"));
        source.insert(source.end(), audio.begin(), audio.end());
        frame_stream::TempDir dir;
        const std::string path = dir.Write("source.mp3", source);
        const Id3v2PartTags tags(path);
        ASSERT_EQ(tags.Warnings().size(), 1u);
        EXPECT_EQ(tags.Warnings()[0].rfind(path + ": warning: the ID3v2 frame PRIV (200 MB)", 0),
                  0u);
        TagLib::MPEG::File part(dir.Write("part.mp3", tags.Build({})).c_str(), false);
        const TagLib::ID3v2::Tag& partTag = *part.ID3v2Tag(true);
        EXPECT_EQ(Text(partTag, "PRIV") + Text(partTag, "TIT2") + Text(partTag, "TPE1"),
                  "<none>TitleArtist");
    }
}

} // namespace

namespace {

// Deflated: the bytes, then zeros up to inflatedBytes, fed a block at a time.
std::string Deflated(const std::string& bytes, std::size_t inflatedBytes) {
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    const std::string zeros(std::size_t{1} << 20, '\0');
    std::string out;
    std::vector<char> buffer(std::size_t{1} << 16);
    std::size_t fed = 0;
    for (int flush = Z_NO_FLUSH; flush != Z_FINISH;) {
        const std::string& block = fed == 0 ? bytes : zeros;
        const std::size_t length = std::min(block.size(), inflatedBytes - fed);
        fed += length;
        flush = fed == inflatedBytes ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
        stream.avail_in = static_cast<uInt>(length);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.data(), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

std::string Size(std::size_t n, bool synchsafe) {
    const int shift = synchsafe ? 7 : 8;
    const int mask = synchsafe ? 0x7f : 0xff;
    return {char(n >> 3 * shift & mask), char(n >> 2 * shift & mask), char(n >> shift & mask),
            char(n & mask)};
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages >> pages;
    return pages * (sysconf(_SC_PAGESIZE) / 1024);
}

// How much more memory than the test already holds reading the source's tag takes, in KiB.
long PeakGrowthKiB(const std::string& source) {
    const long before = ResidentKiB();
    const pid_t child = fork();
    if (child == 0) {
        const Id3v2PartTags tags(source);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss - before;
}

} // namespace

// A compressed frame that says it inflates to 100 bytes but inflates to
// 64 MB (or whose data runs on past its end) is left out by inflating no
// more than the limit; a compressed frame that keeps its word stays.
TEST(Id3v2PartTags, CompressedFramesAreInflatedOnlyUpToTheLimit) {
    const std::string bomb = Deflated(std::string("owner\0", 6), std::size_t{64} << 20);
    const std::string small = Deflated(std::string("\0Artist", 7), 7);
    struct Case {
        char Version;
        char Flags; // compression, and in ID3v2.4 with or without a data length indicator
        std::string Data;
        const char* Warning;
    };
    const Case cases[] = {
        {4, '\x09', Size(100, true) + bomb, "PRIV (more than 16 MB inflated) is left out"},
        {4, '\x08', Size(100, true) + bomb, "PRIV (more than 16 MB inflated) is left out"},
        {3, '\x80', Size(100, false) + bomb, "PRIV (more than 16 MB inflated) is left out"},
        {4, '\x09', Size(100, true) + bomb.substr(0, 1000),
         "PRIV is left out of the parts: its compressed data does not end inside it"},
    };
    const Bytes audio = frame_stream::ReadFile(DataPath("cbr128_44k_joint.mp3"));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, char('0' + c.Version)) + " " + c.Warning);
        const bool synchsafe = c.Version == 4;
        const auto frame = [synchsafe](const std::string& id, char flags, const std::string& data) {
            return id + Size(data.size(), synchsafe) + std::string{0, flags} + data;
        };
        const std::string body = frame("PRIV", c.Flags, c.Data) +
                                 frame("TPE1", c.Flags, Size(7, synchsafe) + small) +
                                 std::string(64, 0);
        const std::string tag =
            std::string{'I', 'D', '3', c.Version, 0, 0} + Size(body.size(), true) + body;
        Bytes source(tag.begin(), tag.end());
        source.insert(source.end(), audio.begin(), audio.end());
        frame_stream::TempDir dir;
        const std::string path = dir.Write("source.mp3", source);
        EXPECT_LT(PeakGrowthKiB(path), 32 << 10);
        const Id3v2PartTags tags(path);
        ASSERT_EQ(tags.Warnings().size(), 1u);
        EXPECT_EQ(tags.Warnings()[0].find(std::string("warning: the ID3v2 frame ") + c.Warning),
                  path.size() + 2)
            << tags.Warnings()[0];
        TagLib::MPEG::File part(dir.Write("part.mp3", tags.Build({})).c_str(), false);
        const TagLib::ID3v2::Tag& partTag = *part.ID3v2Tag(true);
        EXPECT_EQ(Text(partTag, "PRIV") + Text(partTag, "TPE1"), "<none>Artist");
    }
}

// Loudness and gapless numbers of the whole source, however a tagger names
// them, stay out of the parts; other comments and user texts stay.
TEST(Id3v2PartTags, EveryWholeSourceLoudnessTextIsLeftOut) {
    frame_stream::TempDir dir;
    const std::string path =
        dir.Write("source.mp3", frame_stream::ReadFile(DataPath("cbr128_44k_joint.mp3")));
    {
        TagLib::MPEG::File file(path.c_str(), false);
        TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
        for (const char* description :
             {"R128_TRACK_GAIN", "R128_ALBUM_GAIN", "MP3GAIN_MINMAX", "MP3GAIN_ALBUM_MINMAX",
              "MP3GAIN_UNDO", "replaygain_track_gain", "iTunSMPB", "MOOD"}) {
            auto frame = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>();
            frame->setDescription(description);
            frame->setText("1");
            tag.addFrame(frame.release());
        }
        for (const char* description : {"iTunNORM", "iTunes_CDDB_IDs", ""}) {
            auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>();
            frame->setDescription(description);
            frame->setText("1");
            tag.addFrame(frame.release());
        }
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2));
    }
    TagLib::MPEG::File part(dir.Write("part.mp3", Id3v2PartTags(path).Build({})).c_str(), false);
    std::vector<std::string> kept;
    for (const TagLib::ID3v2::Frame* frame : part.ID3v2Tag(true)->frameList()) {
        if (const auto* text =
                dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(frame))
            kept.push_back("TXXX:" + text->description().to8Bit(true));
        if (const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame))
            kept.push_back("COMM:" + comment->description().to8Bit(true));
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"TXXX:MOOD", "COMM:iTunes_CDDB_IDs", "COMM:"}));
}
