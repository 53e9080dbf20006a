#include "split/split_list.h"

#include "core/text_encoding.h"

#include <algorithm>

namespace {

// The source tag's Latin-1 bytes, cut to the field's capacity, as UTF-8.
std::string EntryText(const std::string& latin1, std::size_t capacity) {
    return Latin1ToUtf8(std::string_view(latin1).substr(0, capacity));
}

} // namespace

std::uint8_t EntryGenreOf(const TID3v1Tag& sourceTag) {
    return sourceTag.Present ? static_cast<std::uint8_t>(sourceTag.GenreId) : 255;
}

std::int32_t SplitList::AddEntry(std::int32_t startMs, std::int32_t endMs,
                                 const TID3v1Tag& sourceTag) {
    SplitListItem entry;
    entry.StartMs = startMs;
    entry.EndMs = endMs;
    entry.Title = EntryText(sourceTag.Title, 30);
    entry.Artist = EntryText(sourceTag.Artist, 30);
    entry.Album = EntryText(sourceTag.Album, 30);
    entry.Year = EntryText(sourceTag.Year, 4);
    entry.Comment = EntryText(sourceTag.Comment, 30);
    entry.Genre = EntryGenreOf(sourceTag);
    entries_.push_back(std::move(entry));
    return SplitCount() - 1;
}

void SplitList::RemoveEntry(std::int32_t index) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

void SplitList::ClearEntries() {
    entries_.clear();
    kept_.clear();
}

void SplitList::MarkKept(std::int32_t index) {
    kept_.push_back((*this)[index]);
}

void SplitList::MarkAllKept() {
    kept_ = entries_;
}

// Rows are matched by content, not by place: an edit, a tick or a new row makes
// a row unkept, and removing or reordering rows does not.
std::int32_t SplitList::UnkeptCount() const {
    std::vector<SplitListItem> unmatched = kept_;
    std::int32_t unkept = 0;
    for (const SplitListItem& entry : entries_) {
        const auto match = std::find(unmatched.begin(), unmatched.end(), entry);
        if (match == unmatched.end())
            ++unkept;
        else
            unmatched.erase(match);
    }
    return unkept;
}

std::string DiscardQuestion(std::int32_t unkeptRows) {
    return "The split list has " + std::to_string(unkeptRows) +
           " rows that were not split or saved. Discard them?";
}

std::string LimitMessage() {
    return "Sorry! In this program you can add only " + std::to_string(SplitList::MaxParts) +
           " parts!";
}

TagBlockBytes EncodeEntryTag(const SplitListItem& entry) {
    return EncodeTagBlock(Utf8ToLatin1(entry.Title), Utf8ToLatin1(entry.Artist),
                          Utf8ToLatin1(entry.Album), Utf8ToLatin1(entry.Year),
                          Utf8ToLatin1(entry.Comment), entry.Genre);
}
