#include "split/split_list.h"

#include <algorithm>

namespace {

std::string CutTo(const std::string& text, std::size_t capacity) {
    return text.substr(0, std::min(text.size(), capacity));
}

} // namespace

std::int32_t SplitList::AddEntry(std::int32_t startMs, std::int32_t endMs,
                                 const TID3v1Tag& sourceTag) {
    SplitListItem entry;
    entry.StartMs = startMs;
    entry.EndMs = endMs;
    entry.Title = CutTo(sourceTag.Title, 30);
    entry.Artist = CutTo(sourceTag.Artist, 30);
    entry.Album = CutTo(sourceTag.Album, 30);
    entry.Year = CutTo(sourceTag.Year, 4);
    entry.Comment = CutTo(sourceTag.Comment, 30);
    entry.Genre = static_cast<std::uint8_t>(sourceTag.GenreId);
    entries_.push_back(std::move(entry));
    return SplitCount() - 1;
}

void SplitList::RemoveEntry(std::int32_t index) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

void SplitList::ClearEntries() {
    entries_.clear();
}

std::string LimitMessage() {
    return "Sorry! In this program you can add only " + std::to_string(SplitList::MaxParts) +
           " parts!";
}

TagBlockBytes EncodeEntryTag(const SplitListItem& entry) {
    return EncodeTagBlock(entry.Title, entry.Artist, entry.Album, entry.Year, entry.Comment,
                          entry.Genre);
}
