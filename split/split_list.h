#pragma once

#include "core/id3v1_tag.h"
#include "split/part_volume.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One section of the source to be written as a part file.
struct SplitListItem {
    std::int32_t StartMs = 0;
    std::int32_t EndMs = 0;
    std::string TagId = "TAG";
    // UTF-8 texts; the ID3v1 block gets their Latin-1 form, cut to its fields.
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::uint8_t Genre = 0;
    bool Checked = true; // the row's check mark, kept beside the entry
    // The part's own gain and fades; without them it takes the save options'.
    PartVolume Volume{};

    bool operator==(const SplitListItem&) const = default;
};

// The genre an entry takes from its source's tag: 255 ("no genre") when the source has no tag.
std::uint8_t EntryGenreOf(const TID3v1Tag& sourceTag);

// The split list: entries in insertion order, at most MaxParts of them.
class SplitList {
public:
    static constexpr std::int32_t MaxParts = 999;

    std::int32_t SplitCount() const { return static_cast<std::int32_t>(entries_.size()); }
    bool IsFull() const { return SplitCount() >= MaxParts; }
    SplitListItem& operator[](std::int32_t i) { return entries_.at(static_cast<std::size_t>(i)); }
    const SplitListItem& operator[](std::int32_t i) const {
        return entries_.at(static_cast<std::size_t>(i));
    }
    const std::vector<SplitListItem>& Entries() const { return entries_; }

    // Appends a checked entry with the source tag's fields cut to capacity,
    // as UTF-8; returns its index. The caller has checked IsFull() first.
    std::int32_t AddEntry(std::int32_t startMs, std::int32_t endMs, const TID3v1Tag& sourceTag);
    void RemoveEntry(std::int32_t index);
    // Empties the list, forgetting what was kept too (another source's list).
    void ClearEntries();
    // Removes every row; the kept ones count as removed.
    void RemoveAllEntries() { entries_.clear(); }

    // A row written as a part or saved in a list file is kept until it
    // changes or is removed; emptying the list loses the rows not kept, and
    // the removals.
    void MarkKept(std::int32_t index);
    void MarkAllKept();
    std::int32_t UnkeptCount() const;
    // Kept rows no longer in the list, less those a changed row stands for.
    std::int32_t RemovedCount() const;

private:
    struct KeptDifference {
        std::int32_t Unkept = 0; // rows not among the kept ones
        std::int32_t Gone = 0;   // kept rows not in the list
    };
    KeptDifference CompareWithKept() const;

    std::vector<SplitListItem> entries_;
    std::vector<SplitListItem> kept_; // the rows as they were when last kept
};

// "The split list has N rows that were not split or saved. Discard them?",
// with the rows removed since said too; a count of 1 reads in the singular.
std::string DiscardQuestion(std::int32_t unkeptRows, std::int32_t removedRows = 0);

// "Sorry! In this program you can add only 999 parts!"
std::string LimitMessage();

// The start and end (ms) of sections the list had no room for.
using SectionTimes = std::vector<std::pair<std::int32_t, std::int32_t>>;

// The entry's tag group as a 128-byte ID3v1 block (spaces as padding, no track):
// Latin-1, "?" for a character beyond it, each text cut to its field.
TagBlockBytes EncodeEntryTag(const SplitListItem& entry);
