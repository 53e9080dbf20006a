#pragma once

// Sources with chapters, tagged by TagLib as another tagger would: a copy of
// a fixture with CHAP frames (a title and a picture each, when given) and,
// when asked, a CTOC naming them in its own order.

#include <filesystem>
#include <memory>
#include <string>
#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>
#include <vector>

namespace chapter_source {

struct Chapter {
    const char* Id;
    unsigned StartMs;
    unsigned EndMs;
    const char* Title = nullptr;   // no TIT2 when null
    const char* Picture = nullptr; // the bytes of an APIC, when given
};

inline std::string Make(const std::string& fixture, const std::filesystem::path& target,
                        const std::vector<Chapter>& chapters,
                        const std::vector<const char*>& tableOfContents) {
    std::filesystem::copy_file(fixture, target, std::filesystem::copy_options::overwrite_existing);
    TagLib::MPEG::File file(target.c_str(), false);
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    for (const Chapter& chapter : chapters) {
        TagLib::ID3v2::FrameList embedded;
        if (chapter.Title) {
            auto title = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
                TagLib::ByteVector("TIT2"), TagLib::String::UTF8);
            title->setText(TagLib::String(chapter.Title, TagLib::String::UTF8));
            embedded.append(title.release());
        }
        if (chapter.Picture) {
            auto picture = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
            picture->setMimeType("image/png");
            picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
            picture->setPicture(TagLib::ByteVector(chapter.Picture));
            embedded.append(picture.release());
        }
        tag->addFrame(new TagLib::ID3v2::ChapterFrame(chapter.Id, chapter.StartMs, chapter.EndMs,
                                                      0xFFFFFFFF, 0xFFFFFFFF, embedded));
    }
    if (!tableOfContents.empty()) {
        auto table = std::make_unique<TagLib::ID3v2::TableOfContentsFrame>("toc");
        table->setIsTopLevel(true);
        table->setIsOrdered(true);
        for (const char* id : tableOfContents)
            table->addChildElement(id);
        tag->addFrame(table.release());
    }
    file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4);
    return target.string();
}

} // namespace chapter_source
