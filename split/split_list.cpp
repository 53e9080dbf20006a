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
// a row unkept, and reordering rows does not.
SplitList::KeptDifference SplitList::CompareWithKept() const {
    std::vector<SplitListItem> unmatched = kept_;
    KeptDifference difference;
    for (const SplitListItem& entry : entries_) {
        const auto match = std::find(unmatched.begin(), unmatched.end(), entry);
        if (match == unmatched.end())
            ++difference.Unkept;
        else
            unmatched.erase(match);
    }
    difference.Gone = static_cast<std::int32_t>(unmatched.size());
    return difference;
}

std::int32_t SplitList::UnkeptCount() const {
    return CompareWithKept().Unkept;
}

// An edited row leaves its kept form unmatched: only kept rows beyond the
// changed ones were removed.
std::int32_t SplitList::RemovedCount() const {
    const KeptDifference difference = CompareWithKept();
    return std::max(difference.Gone - difference.Unkept, 0);
}

namespace {

std::string Rows(std::int32_t count) {
    return std::to_string(count) + (count == 1 ? " row" : " rows");
}

std::string Were(std::int32_t count) {
    return count == 1 ? " was" : " were";
}

} // namespace

std::string DiscardQuestion(std::int32_t unkeptRows, std::int32_t removedRows) {
    const std::string removal = Rows(removedRows) + Were(removedRows) + " removed";
    if (unkeptRows == 0)
        return "Since the split list was last split or saved, " + removal +
               " from it. Discard this change?";
    const std::string unkept = "The split list has " + Rows(unkeptRows) + " that" +
                               Were(unkeptRows) + " not split or saved";
    if (removedRows > 0)
        return unkept + ", and " + removal + ". Discard these changes?";
    return unkept + (unkeptRows == 1 ? ". Discard it?" : ". Discard them?");
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
