#include "media/id3v2_part_tags.h"

#include "split/split_list.h"
#include "split/split_worker.h"

#include <memory>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

namespace {

// The part's own number, and frames about the whole source's timing, bytes or
// loudness that would be wrong in a part (chapters are the source's too).
const char* const kNotCarried[] = {"TRCK", "TLEN", "MLLT", "SEEK", "ASPI", "ETCO", "SYLT",
                                   "SYTC", "POSS", "CHAP", "CTOC", "RVA2", "RVAD", "EQU2"};

// A few hundred bytes of compressed frame may inflate to hundreds of
// megabytes, written again into every part: a carried frame, and all the
// carried frames together, hold at most this much.
constexpr std::size_t kMaxCarriedBytes = std::size_t{16} << 20;

// Comments and user texts that hold the whole source's gapless numbers or loudness.
bool DescribesTheWholeSource(const TagLib::String& description) {
    const std::string text = description.upper().to8Bit(true);
    return text == "ITUNSMPB" || text.starts_with("REPLAYGAIN_");
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

// Leaves out every frame over the limit, then those that would take the
// frames carried so far over it, each with a line saying so.
std::vector<std::string> CapCarriedFrames(TagLib::ID3v2::Tag& tag, const std::string& path) {
    std::vector<std::string> warnings;
    std::size_t carried = 0;
    // Not a copy of the tag's list: that one deletes its frames when it goes.
    const std::vector<TagLib::ID3v2::Frame*> frames(tag.frameList().begin(), tag.frameList().end());
    for (TagLib::ID3v2::Frame* frame : frames) {
        const std::size_t bytes = frame->render().size();
        if (bytes <= kMaxCarriedBytes - carried) {
            carried += bytes;
            continue;
        }
        const std::string id(frame->frameID().data(), frame->frameID().size());
        warnings.push_back(path + ": warning: the ID3v2 frame " + id + " (" + Megabytes(bytes) +
                           ") is left out of the parts: their tags carry at most " +
                           Megabytes(kMaxCarriedBytes) + " of the source's frames");
        tag.removeFrame(frame);
    }
    return warnings;
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
// source's frame stays, as the list's entries take the source's texts.
void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
    if (text.empty())
        return;
    tag.removeFrames(id);
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(TagLib::ByteVector(id),
                                                                          TagLib::String::UTF8);
    frame->setText(Utf8(text));
    tag.addFrame(frame.release());
}

void AddComment(TagLib::ID3v2::Tag& tag, const std::string& text) {
    if (text.empty())
        return;
    tag.removeFrames("COMM");
    auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(TagLib::String::UTF8);
    frame->setLanguage("eng");
    frame->setText(Utf8(text));
    tag.addFrame(frame.release());
}

} // namespace

Id3v2PartTags::Id3v2PartTags(const std::string& sourcePath) {
    TagLib::MPEG::File source(sourcePath.c_str(), false);
    if (!source.isValid() || !source.hasID3v2Tag())
        return;
    TagLib::ID3v2::Tag& tag = *source.ID3v2Tag();
    RemoveWholeSourceFrames(tag);
    warnings_ = CapCarriedFrames(tag, sourcePath);
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    sourceTag_.assign(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> Id3v2PartTags::Build(const PartTagTexts& texts) const {
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char*>(sourceTag_.data()),
                           static_cast<unsigned>(sourceTag_.size())));
    MemoryTagFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0);
    AddText(tag, "TIT2", texts.Title);
    AddText(tag, "TPE1", texts.Artist);
    AddText(tag, "TALB", texts.Album);
    AddText(tag, "TDRC", texts.Year);
    AddComment(tag, texts.Comment);
    AddText(tag, "TRCK", std::to_string(texts.Track) + "/" + std::to_string(texts.TrackCount));
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::string> AddId3v2Tags(SplitJob& job, const SplitList& list) {
    std::vector<PartTagTexts> texts;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i) {
        const SplitListItem& entry = list[i];
        texts.push_back({entry.Title, entry.Artist, entry.Album, entry.Year, entry.Comment, i + 1,
                         list.SplitCount()});
    }
    auto tags = std::make_shared<const Id3v2PartTags>(job.SourcePath);
    job.PartPrefix = [tags, texts = std::move(texts)](std::size_t row) {
        return row < texts.size() ? tags->Build(texts[row]) : std::vector<std::uint8_t>();
    };
    return tags->Warnings();
}
