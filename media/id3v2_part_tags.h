#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SplitList;
struct SplitJob;

// The texts of one part's ID3v2 tag, UTF-8.
struct PartTagTexts {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::int32_t Track = 0;
    std::int32_t TrackCount = 0;
    // The part's times: a part cut at one of the source's chapters takes its picture.
    std::int64_t StartMs = -1;
    std::int64_t EndMs = -1;
};

// ID3v2.3 (or ID3v2.4) tags for the parts of one source: the part's own texts
// (an empty one keeps the source's) and track "n/N", and the source's other
// ID3v2 frames (pictures, lyrics, ...) carried over, except those that describe
// the whole source's timing, bytes, chapters or loudness, and frames beyond a
// size limit. ID3v2.3 is the version every reader reads: its texts are Latin-1
// where they can be, else UTF-16; ID3v2.4's are UTF-8. A part whose times are a
// chapter's takes the chapter's pictures in place of the source's, and its
// title when it has none of its own.
class Id3v2PartTags {
public:
    // Reads the source's ID3v2 tag, if it has one; the source is not changed.
    explicit Id3v2PartTags(const std::string& sourcePath, bool version24 = false);

    std::vector<std::uint8_t> Build(const PartTagTexts& texts) const;
    // One line for each frame left out for its size, naming the source.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // What a part cut at a chapter takes of it.
    struct ChapterArt {
        std::int64_t StartMs = 0;
        std::int64_t EndMs = 0;
        std::string Title;
        std::vector<std::vector<std::uint8_t>> Pictures; // APIC frames as ID3v2.4 renders them
    };

private:
    std::vector<std::uint8_t> sourceTag_; // the source's tag as ID3v2.4, or nothing
    std::vector<ChapterArt> chapters_;
    std::vector<std::string> warnings_;
    bool version24_ = false;
};

// Lets every part of the job begin with its ID3v2 tag: row i is track i + 1 of
// the list's rows, as "$N" numbers it. The tags are built as the parts are
// begun. Returns the source's frames left out for their size, a line each.
std::vector<std::string> AddId3v2Tags(SplitJob& job, const SplitList& list, bool version24 = false);
