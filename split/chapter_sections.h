#pragma once

#include "core/id3v1_tag.h"
#include "split/split_list.h"

#include <cstdint>
#include <string>
#include <vector>

// One chapter of a source's ID3v2 tag (a CHAP frame).
struct SourceChapter {
    std::int64_t StartMs = 0;
    std::int64_t EndMs = 0;
    std::string Title; // UTF-8, empty when the chapter has no TIT2
};

// What a source's ID3v2 tag says of its chapters.
struct SourceChapters {
    // In the order of the top-level table of contents, or by start time without one.
    std::vector<SourceChapter> Chapters;
    std::string Artist; // the tag's artist and album, UTF-8
    std::string Album;
};

// The rows chapters give, with what is said about them.
struct ChapterSections {
    std::vector<SplitListItem> Entries;
    std::vector<std::string> Notes;    // overlaps, gaps, ends past the audio: taken all the same
    std::vector<std::string> Refusals; // chapters left out, each by its title
};

// A row per chapter in the chapters' order: its times and title, the tag's
// artist and album (else the ID3v1 tag's), the rest as a section of the
// source gets them. A chapter that starts past the end of the audio, or
// does not end after it starts, is left out; one that ends past it ends there.
ChapterSections SectionsFromChapters(const SourceChapters& chapters, std::int32_t sourceLengthMs,
                                     const TID3v1Tag& sourceTag);
