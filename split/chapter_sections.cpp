#include "split/chapter_sections.h"

#include "state/format_time.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// "the chapter "Intro"", or "chapter 3" for one without a title.
std::string ChapterName(const SourceChapter& chapter, std::size_t index) {
    return chapter.Title.empty() ? "chapter " + std::to_string(index + 1)
                                 : "the chapter \"" + chapter.Title + "\"";
}

std::string Seconds(std::int64_t ms) {
    const std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    return std::to_string(ms / 1000) + "." + fraction + " s";
}

std::string TimeText(std::int64_t ms) {
    return FormatTime(static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX)));
}

// Where chapters in time order overlap or leave a gap, a line each, against
// the chapter that reaches furthest so far; the rows keep them as they stand.
std::vector<std::string> JointNotes(std::vector<std::pair<SourceChapter, std::size_t>> kept) {
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return a.first.StartMs < b.first.StartMs;
    });
    std::vector<std::string> notes;
    for (std::size_t i = 1, furthest = 0; i < kept.size(); ++i) {
        const auto& [before, beforeIndex] = kept[furthest];
        const auto& [chapter, index] = kept[i];
        const std::int64_t gap = chapter.StartMs - before.EndMs;
        if (gap > 0)
            notes.push_back("a gap of " + Seconds(gap) + " between " +
                            ChapterName(before, beforeIndex) + " and " +
                            ChapterName(chapter, index) + ": no row holds it");
        else if (gap < 0)
            notes.push_back(ChapterName(before, beforeIndex) + " and " +
                            ChapterName(chapter, index) + " overlap by " +
                            Seconds(std::min(before.EndMs, chapter.EndMs) - chapter.StartMs) +
                            ": both rows hold it");
        if (chapter.EndMs > before.EndMs)
            furthest = i;
    }
    return notes;
}

// The row of a chapter: a section of the source with the chapter's title and
// the tag's artist and album where it has them.
SplitListItem EntryOf(const SourceChapter& chapter, const SourceChapters& chapters,
                      const TID3v1Tag& sourceTag) {
    SplitList row;
    row.AddEntry(static_cast<std::int32_t>(chapter.StartMs),
                 static_cast<std::int32_t>(chapter.EndMs), sourceTag);
    SplitListItem entry = row[0];
    entry.Title = chapter.Title;
    if (!chapters.Artist.empty())
        entry.Artist = chapters.Artist;
    if (!chapters.Album.empty())
        entry.Album = chapters.Album;
    return entry;
}

} // namespace

ChapterSections SectionsFromChapters(const SourceChapters& chapters, std::int32_t sourceLengthMs,
                                     const TID3v1Tag& sourceTag) {
    ChapterSections result;
    std::vector<std::pair<SourceChapter, std::size_t>> kept;
    for (std::size_t i = 0; i < chapters.Chapters.size(); ++i) {
        SourceChapter chapter = chapters.Chapters[i];
        if (chapter.StartMs >= sourceLengthMs) {
            result.Refusals.push_back(ChapterName(chapter, i) + " starts at " +
                                      TimeText(chapter.StartMs) + ", past the end of the audio (" +
                                      TimeText(sourceLengthMs) + "): left out");
            continue;
        }
        if (chapter.EndMs <= chapter.StartMs) {
            result.Refusals.push_back(ChapterName(chapter, i) + " ends at " +
                                      TimeText(chapter.EndMs) + ", not after its start (" +
                                      TimeText(chapter.StartMs) + "): left out");
            continue;
        }
        if (chapter.EndMs > sourceLengthMs) {
            result.Notes.push_back(ChapterName(chapter, i) + " ends at " + TimeText(chapter.EndMs) +
                                   ", past the end of the audio (" + TimeText(sourceLengthMs) +
                                   "): its row ends there");
            chapter.EndMs = sourceLengthMs;
        }
        kept.emplace_back(chapter, i);
        result.Entries.push_back(EntryOf(chapter, chapters, sourceTag));
    }
    for (std::string& note : JointNotes(std::move(kept)))
        result.Notes.push_back(std::move(note));
    return result;
}
