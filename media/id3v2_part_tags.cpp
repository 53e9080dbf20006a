#include "media/id3v2_part_tags.h"

#include "split/split_list.h"
#include "split/split_worker.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2extendedheader.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <zlib.h>

namespace {

// The part's own number, and frames about the whole source's timing, bytes or
// loudness that would be wrong in a part (chapters are the source's too).
const char* const kNotCarried[] = {"TRCK", "TLEN", "MLLT", "SEEK", "ASPI", "ETCO", "SYLT",
                                   "SYTC", "POSS", "CHAP", "CTOC", "RVA2", "RVAD", "EQU2"};

// A few hundred bytes of compressed frame may inflate to hundreds of
// megabytes, written again into every part: a carried frame, and all the
// carried frames together, hold at most this much.
constexpr std::size_t kMaxCarriedBytes = std::size_t{16} << 20;

// Comments and user texts that hold the whole source's gapless numbers or
// loudness, as their descriptions begin (upper case): iTunes, ReplayGain,
// EBU R 128 and MP3Gain write them.
const char* const kWholeSourceDescriptions[] = {"ITUNSMPB", "ITUNNORM", "REPLAYGAIN_", "R128_",
                                                "MP3GAIN_"};

bool DescribesTheWholeSource(const TagLib::String& description) {
    const std::string text = description.upper().to8Bit(true);
    return std::any_of(std::begin(kWholeSourceDescriptions), std::end(kWholeSourceDescriptions),
                       [&text](const char* name) { return text.starts_with(name); });
}

void RemoveWholeSourceFrames(TagLib::ID3v2::Tag& tag) {
    for (const char* id : kNotCarried)
        tag.removeFrames(id);
    const TagLib::ID3v2::FrameList comments = tag.frameListMap()["COMM"];
    for (TagLib::ID3v2::Frame* frame : comments) {
        if (DescribesTheWholeSource(
                static_cast<TagLib::ID3v2::CommentsFrame*>(frame)->description()))
            tag.removeFrame(frame);
    }
    const TagLib::ID3v2::FrameList userTexts = tag.frameListMap()["TXXX"];
    for (TagLib::ID3v2::Frame* frame : userTexts) {
        if (DescribesTheWholeSource(
                static_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame)->description()))
            tag.removeFrame(frame);
    }
}

std::string Megabytes(std::size_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

std::string FrameName(const TagLib::ByteVector& id) {
    return std::string(id.data(), id.size());
}

std::string LeftOutWarning(const std::string& path, const TagLib::ByteVector& id,
                           const std::string& size) {
    return path + ": warning: the ID3v2 frame " + FrameName(id) + " (" + size +
           ") is left out of the parts: their tags carry at most " + Megabytes(kMaxCarriedBytes) +
           " of the source's frames";
}

std::string LeftOutWarning(const std::string& path, const TagLib::ByteVector& id,
                           std::size_t bytes) {
    return LeftOutWarning(path, id, Megabytes(bytes));
}

// TagLib's reading of a frame header, so the frames walked here are the ones it reads.
struct FrameHeaderReader : TagLib::ID3v2::Frame {
    using TagLib::ID3v2::Frame::Header;
};
using FrameHeader = FrameHeaderReader::Header;

// The size a compressed frame says it inflates to: ID3v2.3 puts it right
// after the frame header, ID3v2.4 after the grouping and encryption bytes.
std::size_t DeclaredInflatedSize(const TagLib::ByteVector& frame, const FrameHeader& header,
                                 unsigned version) {
    if (!header.compression())
        return 0;
    if (version == 3)
        return frame.size() >= 14 ? frame.toUInt(10U) : 0;
    if (!header.dataLengthIndicator())
        return 0;
    const unsigned offset = 10 + ((frame[9] & 0x40) != 0) + ((frame[9] & 0x04) != 0);
    return frame.size() >= offset + 4 ? TagLib::ID3v2::SynchData::toUInt(frame.mid(offset, 4)) : 0;
}

// What TagLib would inflate a frame's compressed data to, counted without
// keeping it and only up to a limit: the size a frame declares may be a lie.
struct Inflation {
    std::size_t Bytes = 0;
    bool PastLimit = false;
    // The data does not end inside the frame: TagLib would inflate on into the
    // bytes after it, the next frames and the padding.
    bool RunsOn = false;
};

Inflation InflatedSize(const TagLib::ByteVector& compressed, std::size_t limit) {
    Inflation inflation;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return inflation;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = compressed.size();
    std::vector<Bytef> out(std::size_t{64} << 10);
    for (;;) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        inflation.Bytes += out.size() - stream.avail_out;
        if (inflation.Bytes > limit) {
            inflation.PastLimit = true;
            break;
        }
        // On an error in the data TagLib keeps nothing of the frame.
        if (result != Z_OK) {
            inflation.RunsOn = result == Z_BUF_ERROR && stream.avail_in == 0;
            break;
        }
    }
    inflateEnd(&stream);
    return inflation;
}

// The compressed data of a frame as TagLib inflates it: after the frame
// header and four bytes, ID3v2.4's unsynchronisation undone first.
TagLib::ByteVector CompressedData(const TagLib::ByteVector& frame, const FrameHeader& header,
                                  unsigned version, bool tagUnsynchronised) {
    TagLib::ByteVector data = frame.mid(10, header.frameSize());
    if (version == 4 && (tagUnsynchronised || header.unsynchronisation()))
        data = TagLib::ID3v2::SynchData::decode(data);
    return data.size() > 4 ? data.mid(4) : TagLib::ByteVector();
}

// The line saying why a frame is left out of the parts, or nothing. inflated
// counts what the compressed frames kept so far inflate to, so that all of
// them together stay within the limit, and so does the work of inflating them.
std::optional<std::string> WhyLeftOut(const std::string& path, const TagLib::ByteVector& frame,
                                      const FrameHeader& header, unsigned version,
                                      bool tagUnsynchronised, std::size_t& inflated) {
    const std::size_t declared =
        std::max<std::size_t>(header.frameSize(), DeclaredInflatedSize(frame, header, version));
    if (declared > kMaxCarriedBytes)
        return LeftOutWarning(path, header.frameID(), declared);
    if (!header.compression() || header.encryption())
        return std::nullopt;
    const std::size_t budget = kMaxCarriedBytes - inflated;
    const Inflation inflation =
        InflatedSize(CompressedData(frame, header, version, tagUnsynchronised), budget);
    if (inflation.PastLimit)
        return LeftOutWarning(path, header.frameID(),
                              "more than " + Megabytes(budget) + " inflated");
    if (inflation.RunsOn)
        return path + ": warning: the ID3v2 frame " + FrameName(header.frameID()) +
               " is left out of the parts: its compressed data does not end inside it";
    inflated += inflation.Bytes;
    return std::nullopt;
}

// The source's tag at the file's start with every frame over the limit, as
// stored, as it says it inflates or as it inflates, left out: TagLib would
// inflate such a frame in full just to read the tag. The kept frames move up and zeros fill
// the tag to its size. Nothing when no frame is left out or the tag is not one
// walked here (ID3v2.2 has no compression).
std::optional<TagLib::ByteVector> TagWithoutOversizedFrames(TagLib::IOStream& file,
                                                            const std::string& path,
                                                            std::vector<std::string>& warnings) {
    file.seek(0);
    TagLib::ByteVector header = file.readBlock(10);
    if (header.size() != 10 || !header.startsWith("ID3") || (header[3] != 3 && header[3] != 4))
        return std::nullopt;
    for (int i = 6; i < 10; ++i) {
        if (header[i] & 0x80)
            return std::nullopt;
    }
    const unsigned version = header[3];
    const unsigned tagSize = TagLib::ID3v2::SynchData::toUInt(header.mid(6, 4));
    TagLib::ByteVector body = file.readBlock(tagSize);
    if (body.size() != tagSize)
        return std::nullopt;
    // ID3v2.3 unsynchronises the whole tag: walk, and hand over, its frames decoded.
    if (version == 3 && (header[5] & 0x80)) {
        body = TagLib::ID3v2::SynchData::decode(body);
        header[5] = static_cast<char>(header[5] & 0x7f);
    }
    unsigned position = 0;
    if (header[5] & 0x40) {
        TagLib::ID3v2::ExtendedHeader extended;
        extended.setData(body);
        position = extended.size();
    }
    const unsigned framesEnd = body.size() - (version == 4 && (header[5] & 0x10) ? 10 : 0);
    if (framesEnd > body.size() || position > framesEnd)
        return std::nullopt;
    TagLib::ByteVector kept = body.mid(0, position);
    const std::size_t warningsBefore = warnings.size();
    const bool unsynchronised = (header[5] & 0x80) != 0;
    std::size_t inflated = 0;
    // Stops where TagLib would: at the padding or a frame it would not read.
    while (framesEnd - position > 10 && body[position] != 0) {
        const TagLib::ByteVector frame = body.mid(position, framesEnd - position);
        const FrameHeader frameHeader(frame, version);
        const TagLib::ByteVector id = frameHeader.frameID();
        if (!std::all_of(id.begin(), id.end(),
                         [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }) ||
            frameHeader.frameSize() == 0 || frameHeader.frameSize() > frame.size() - 10)
            break;
        if (std::optional<std::string> warning =
                WhyLeftOut(path, frame, frameHeader, version, unsynchronised, inflated))
            warnings.push_back(std::move(*warning));
        else
            kept.append(frame.mid(0, 10 + frameHeader.frameSize()));
        position += 10 + frameHeader.frameSize();
    }
    if (warnings.size() == warningsBefore)
        return std::nullopt;
    kept.append(body.mid(position));
    kept.resize(tagSize, '\0');
    return header + kept;
}

// The source as TagLib reads it, its first bytes replaced by a tag.
class TagReplacedStream : public TagLib::FileStream {
public:
    explicit TagReplacedStream(const std::string& path) : TagLib::FileStream(path.c_str(), true) {}
    void ReplaceTag(TagLib::ByteVector tag) { tag_ = std::move(tag); }

    TagLib::ByteVector readBlock(unsigned long length) override {
        const unsigned long start = static_cast<unsigned long>(tell());
        TagLib::ByteVector bytes = TagLib::FileStream::readBlock(length);
        for (unsigned long i = 0; i < bytes.size() && start + i < tag_.size(); ++i)
            bytes[static_cast<unsigned>(i)] = tag_[static_cast<unsigned>(start + i)];
        return bytes;
    }

private:
    TagLib::ByteVector tag_;
};

// Leaves out every frame over the limit, then those that would take the
// frames carried so far over it, each with a line saying so.
void CapCarriedFrames(TagLib::ID3v2::Tag& tag, const std::string& path,
                      std::vector<std::string>& warnings) {
    std::size_t carried = 0;
    // Not a copy of the tag's list: that one deletes its frames when it goes.
    const std::vector<TagLib::ID3v2::Frame*> frames(tag.frameList().begin(), tag.frameList().end());
    for (TagLib::ID3v2::Frame* frame : frames) {
        const std::size_t bytes = frame->render().size();
        if (bytes <= kMaxCarriedBytes - carried) {
            carried += bytes;
            continue;
        }
        warnings.push_back(LeftOutWarning(path, frame->frameID(), bytes));
        tag.removeFrame(frame);
    }
}

// A tag held in memory, so TagLib can parse it as it would at a file's start.
class MemoryTagFile : public TagLib::File {
public:
    explicit MemoryTagFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

TagLib::String Utf8(const std::string& text) {
    return TagLib::String(text, TagLib::String::UTF8);
}

// A part's text replaces the source's frame of its kind; without one the
// source's frame stays, as the list's entries take the source's texts. TagLib
// renders Latin-1 text that the characters do not fit in as UTF-16 in ID3v2.3.
void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text,
             TagLib::String::Type encoding) {
    if (text.empty())
        return;
    tag.removeFrames(id);
    auto frame =
        std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(TagLib::ByteVector(id), encoding);
    frame->setText(Utf8(text));
    tag.addFrame(frame.release());
}

void AddComment(TagLib::ID3v2::Tag& tag, const std::string& text, TagLib::String::Type encoding) {
    if (text.empty())
        return;
    tag.removeFrames("COMM");
    auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(encoding);
    frame->setLanguage("eng");
    frame->setText(Utf8(text));
    tag.addFrame(frame.release());
}

// A picture of a chapter as a frame of its own, whatever tag version it came in.
TagLib::ByteVector PictureFrame(const TagLib::ID3v2::AttachedPictureFrame& picture) {
    TagLib::ID3v2::AttachedPictureFrame copy;
    copy.setTextEncoding(picture.textEncoding());
    copy.setMimeType(picture.mimeType());
    copy.setType(picture.type());
    copy.setDescription(picture.description());
    copy.setPicture(picture.picture());
    return copy.render();
}

// A chapter's pictures are the part's own: they replace the source's.
void AddChapterPictures(TagLib::ID3v2::Tag& tag,
                        const std::vector<std::vector<std::uint8_t>>& pictures) {
    if (pictures.empty())
        return;
    tag.removeFrames("APIC");
    for (const std::vector<std::uint8_t>& bytes : pictures)
        tag.addFrame(new TagLib::ID3v2::AttachedPictureFrame(TagLib::ByteVector(
            reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned>(bytes.size()))));
}

std::vector<Id3v2PartTags::ChapterArt> ChapterArtOf(const TagLib::ID3v2::Tag& tag) {
    std::vector<Id3v2PartTags::ChapterArt> chapters;
    for (TagLib::ID3v2::Frame* frame : tag.frameListMap()["CHAP"]) {
        const auto* chapter = dynamic_cast<const TagLib::ID3v2::ChapterFrame*>(frame);
        if (!chapter)
            continue;
        Id3v2PartTags::ChapterArt art{chapter->startTime(), chapter->endTime(), {}, {}};
        const TagLib::ID3v2::FrameList& titles = chapter->embeddedFrameList("TIT2");
        if (!titles.isEmpty())
            art.Title = titles.front()->toString().to8Bit(true);
        for (const TagLib::ID3v2::Frame* embedded : chapter->embeddedFrameList("APIC")) {
            const TagLib::ByteVector bytes =
                PictureFrame(*static_cast<const TagLib::ID3v2::AttachedPictureFrame*>(embedded));
            if (bytes.size() <= kMaxCarriedBytes)
                art.Pictures.emplace_back(bytes.begin(), bytes.end());
        }
        chapters.push_back(std::move(art));
    }
    return chapters;
}

} // namespace

Id3v2PartTags::Id3v2PartTags(const std::string& sourcePath, bool version24)
    : version24_(version24) {
    TagReplacedStream stream(sourcePath);
    if (!stream.isOpen())
        return;
    if (std::optional<TagLib::ByteVector> tag =
            TagWithoutOversizedFrames(stream, sourcePath, warnings_))
        stream.ReplaceTag(std::move(*tag));
    TagLib::MPEG::File source(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!source.isValid() || !source.hasID3v2Tag())
        return;
    TagLib::ID3v2::Tag& tag = *source.ID3v2Tag();
    chapters_ = ChapterArtOf(tag);
    RemoveWholeSourceFrames(tag);
    CapCarriedFrames(tag, sourcePath, warnings_);
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    sourceTag_.assign(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> Id3v2PartTags::Build(const PartTagTexts& texts) const {
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char*>(sourceTag_.data()),
                           static_cast<unsigned>(sourceTag_.size())));
    MemoryTagFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0);
    const TagLib::String::Type encoding =
        version24_ ? TagLib::String::UTF8 : TagLib::String::Latin1;
    const auto chapter =
        std::find_if(chapters_.begin(), chapters_.end(), [&](const ChapterArt& art) {
            return art.StartMs == texts.StartMs && art.EndMs == texts.EndMs;
        });
    if (chapter != chapters_.end()) {
        AddChapterPictures(tag, chapter->Pictures);
        AddText(tag, "TIT2", chapter->Title, encoding);
    }
    AddText(tag, "TIT2", texts.Title, encoding);
    AddText(tag, "TPE1", texts.Artist, encoding);
    AddText(tag, "TALB", texts.Album, encoding);
    AddText(tag, "TDRC", texts.Year, encoding);
    AddComment(tag, texts.Comment, encoding);
    AddText(tag, "TRCK", std::to_string(texts.Track) + "/" + std::to_string(texts.TrackCount),
            encoding);
    // In ID3v2.3 TagLib writes the year as TYER and leaves out frames it lacks.
    const TagLib::ByteVector bytes = tag.render(version24_ ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::string> AddId3v2Tags(SplitJob& job, const SplitList& list, bool version24) {
    std::vector<PartTagTexts> texts;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i) {
        const SplitListItem& entry = list[i];
        texts.push_back({entry.Title, entry.Artist, entry.Album, entry.Year, entry.Comment, i + 1,
                         list.SplitCount(), entry.StartMs, entry.EndMs});
    }
    auto tags = std::make_shared<const Id3v2PartTags>(job.SourcePath, version24);
    job.PartPrefix = [tags, texts = std::move(texts)](std::size_t row) {
        return row < texts.size() ? tags->Build(texts[row]) : std::vector<std::uint8_t>();
    };
    return tags->Warnings();
}
