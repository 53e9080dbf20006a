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

// The part's own number, and frames about the whole source's timing or bytes
// that would be wrong in a part.
const char* const kNotCarried[] = {"TRCK", "TLEN", "MLLT", "SEEK", "ASPI",
                                   "ETCO", "SYLT", "SYTC", "POSS"};

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
    const TagLib::ByteVector bytes = source.ID3v2Tag()->render(TagLib::ID3v2::v4);
    sourceTag_.assign(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> Id3v2PartTags::Build(const PartTagTexts& texts) const {
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char*>(sourceTag_.data()),
                           static_cast<unsigned>(sourceTag_.size())));
    MemoryTagFile file(&stream);
    TagLib::ID3v2::Tag tag(&file, 0);
    for (const char* id : kNotCarried)
        tag.removeFrames(id);
    // iTunes' gapless numbers are the whole source's.
    const TagLib::ID3v2::FrameList comments = tag.frameListMap()["COMM"];
    for (TagLib::ID3v2::Frame* comment : comments) {
        if (static_cast<TagLib::ID3v2::CommentsFrame*>(comment)->description() == "iTunSMPB")
            tag.removeFrame(comment);
    }
    AddText(tag, "TIT2", texts.Title);
    AddText(tag, "TPE1", texts.Artist);
    AddText(tag, "TALB", texts.Album);
    AddText(tag, "TDRC", texts.Year);
    AddComment(tag, texts.Comment);
    AddText(tag, "TRCK", std::to_string(texts.Track) + "/" + std::to_string(texts.TrackCount));
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void AddId3v2Tags(SplitJob& job, const SplitList& list) {
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
}
