#pragma once

#include "core/id3v1_tag.h"
#include "split/part_volume.h"

#include <cstdint>
#include <string>
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
    void ClearEntries();

    // A row written as a part or saved in a list file is kept until it
    // changes; emptying the list loses only the rows not kept.
    void MarkKept(std::int32_t index);
    void MarkAllKept();
    std::int32_t UnkeptCount() const;

private:
    std::vector<SplitListItem> entries_;
    std::vector<SplitListItem> kept_; // the rows as they were when last kept
};

// "The split list has N rows that were not split or saved. Discard them?"
std::string DiscardQuestion(std::int32_t unkeptRows);

// "Sorry! In this program you can add only 999 parts!"
std::string LimitMessage();

// The entry's tag group as a 128-byte ID3v1 block (spaces as padding, no track):
// Latin-1, "?" for a character beyond it, each text cut to its field.
TagBlockBytes EncodeEntryTag(const SplitListItem& entry);
