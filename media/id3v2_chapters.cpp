#include "media/id3v2_chapters.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

namespace {

using ChapterFrame = TagLib::ID3v2::ChapterFrame;
using TableOfContentsFrame = TagLib::ID3v2::TableOfContentsFrame;

// A CHAP frame's times say 0xFFFFFFFF for "not given": no such chapter is meant to start there.
SourceChapter ChapterOf(const ChapterFrame& frame) {
    SourceChapter chapter;
    chapter.StartMs = frame.startTime();
    chapter.EndMs = frame.endTime();
    const TagLib::ID3v2::FrameList& titles = frame.embeddedFrameList("TIT2");
    if (!titles.isEmpty())
        chapter.Title = titles.front()->toString().to8Bit(true);
    return chapter;
}

class ChapterOrder {
public:
    explicit ChapterOrder(const TagLib::ID3v2::Tag& tag) {
        for (TagLib::ID3v2::Frame* frame : tag.frameListMap()["CHAP"])
            if (auto* chapter = dynamic_cast<ChapterFrame*>(frame))
                chapters_.emplace(chapter->elementID(), chapter);
        for (TagLib::ID3v2::Frame* frame : tag.frameListMap()["CTOC"])
            if (auto* table = dynamic_cast<TableOfContentsFrame*>(frame))
                tables_.emplace(table->elementID(), table);
    }

    std::vector<SourceChapter> Listed(const TagLib::ID3v2::Tag& tag) {
        const TableOfContentsFrame* top = TableOfContentsFrame::findTopLevel(&tag);
        if (!top && !tables_.empty())
            top = tables_.begin()->second;
        if (top)
            Walk(*top);
        if (listed_.empty())
            return ByStartTime();
        return listed_;
    }

private:
    // A table may name tables; each is walked once, so a loop of them ends.
    void Walk(const TableOfContentsFrame& table) {
        if (!walked_.insert(table.elementID()).second)
            return;
        for (const TagLib::ByteVector& child : table.childElements()) {
            if (const auto chapter = chapters_.find(child); chapter != chapters_.end())
                listed_.push_back(ChapterOf(*chapter->second));
            else if (const auto nested = tables_.find(child); nested != tables_.end())
                Walk(*nested->second);
        }
    }

    std::vector<SourceChapter> ByStartTime() const {
        std::vector<SourceChapter> chapters;
        for (const auto& [id, frame] : chapters_)
            chapters.push_back(ChapterOf(*frame));
        std::stable_sort(
            chapters.begin(), chapters.end(), [](const SourceChapter& a, const SourceChapter& b) {
                return a.StartMs != b.StartMs ? a.StartMs < b.StartMs : a.EndMs < b.EndMs;
            });
        return chapters;
    }

    std::map<TagLib::ByteVector, ChapterFrame*> chapters_;
    std::map<TagLib::ByteVector, TableOfContentsFrame*> tables_;
    std::set<TagLib::ByteVector> walked_;
    std::vector<SourceChapter> listed_;
};

TagLib::ByteVector ElementId(const std::string& id) {
    return TagLib::ByteVector(id.data(), static_cast<unsigned>(id.size()));
}

// Most sources have no chapters, and TagLib inflates every compressed frame
// of a tag it reads: only a leading tag that holds a CHAP frame id is read.
bool MayHoldChapters(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char header[10] = {};
    if (!file.read(header, sizeof header) || std::string_view(header, 3) != "ID3")
        return false;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (static_cast<unsigned char>(header[i]) & 0x7f);
    // Block by block, as a damaged header may claim far more than the file holds.
    std::string window;
    std::vector<char> block(std::size_t{1} << 16);
    while (size > 0 && file) {
        file.read(block.data(), static_cast<std::streamsize>(std::min(size, block.size())));
        const auto got = static_cast<std::size_t>(file.gcount());
        window.append(block.data(), got);
        if (window.find("CHAP") != std::string::npos)
            return true;
        window.erase(0, window.size() - std::min<std::size_t>(window.size(), 3));
        size -= got;
    }
    return false;
}

} // namespace

SourceChapters ReadChapters(const std::string& path) {
    if (!MayHoldChapters(path))
        return {};
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return {};
    const TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
    SourceChapters result;
    result.Chapters = ChapterOrder(tag).Listed(tag);
    if (result.Chapters.empty())
        return {};
    result.Artist = tag.artist().to8Bit(true);
    result.Album = tag.album().to8Bit(true);
    return result;
}

std::vector<std::uint8_t> ChapterTag(const std::string& sourcePath,
                                     const std::vector<SourceChapter>& chapters) {
    TagLib::MPEG::File source(sourcePath.c_str(), false);
    TagLib::ID3v2::Tag empty;
    TagLib::ID3v2::Tag& tag = source.isValid() && source.hasID3v2Tag() ? *source.ID3v2Tag() : empty;
    tag.removeFrames("CHAP");
    tag.removeFrames("CTOC");
    auto table = std::make_unique<TableOfContentsFrame>(ElementId("toc"));
    table->setIsTopLevel(true);
    table->setIsOrdered(true);
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        const TagLib::ByteVector id = ElementId("chp" + std::to_string(i));
        TagLib::ID3v2::FrameList embedded;
        auto title = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
            TagLib::ByteVector("TIT2"), TagLib::String::UTF8);
        // Players show the element id of a chapter without a title: a number reads better.
        const std::string& text = chapters[i].Title;
        title->setText(TagLib::String(text.empty() ? "Chapter " + std::to_string(i + 1) : text,
                                      TagLib::String::UTF8));
        embedded.append(title.release());
        // No byte offsets: players find the times in the audio themselves.
        tag.addFrame(new ChapterFrame(id, static_cast<unsigned>(chapters[i].StartMs),
                                      static_cast<unsigned>(chapters[i].EndMs), 0xFFFFFFFF,
                                      0xFFFFFFFF, embedded));
        table->addChildElement(id);
    }
    tag.addFrame(table.release());
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}
