#include "split/cue_sections.h"

#include "core/text_encoding.h"
#include "state/format_time.h"

#include <sstream>

namespace {

std::string FileNameOf(const std::string& path) {
    // A sheet made on Windows names its file with backslashes.
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string& FirstOf(const std::string& preferred, const std::string& fallback) {
    return preferred.empty() ? fallback : preferred;
}

std::string RemOf(const std::map<std::string, std::string>& rem, const std::string& key) {
    const auto it = rem.find(key);
    return it == rem.end() ? std::string() : it->second;
}

SplitListItem EntryOfTrack(const CueSheet& sheet, const CueTrack& track,
                           const TID3v1Tag& sourceTag) {
    SplitListItem entry;
    entry.Title = track.Title;
    entry.Artist = FirstOf(track.Performer, sheet.Performer);
    entry.Album = sheet.Title;
    entry.Year = FirstOf(track.Date, sheet.Date);
    entry.Comment = FirstOf(RemOf(track.Rem, "COMMENT"), RemOf(sheet.Rem, "COMMENT"));
    entry.Genre = EntryGenreOf(sourceTag);
    return entry;
}

// A FILE line is a claim about the times below it: each one with tracks that
// names another file than the source is said once.
void WarnOfOtherFiles(const CueSheet& sheet, const std::string& sourcePath,
                      std::vector<Error>& warnings) {
    for (std::size_t i = 0; i < sheet.Tracks.size(); ++i) {
        const CueTrack& track = sheet.Tracks[i];
        const bool newFile = i == 0 || track.File != sheet.Tracks[i - 1].File;
        if (newFile && !track.File.empty() && FileNameOf(track.File) != FileNameOf(sourcePath))
            warnings.push_back(SheetError(
                track.FileLine, "the tracks below are for " + CutForMessage(track.File) +
                                    "; their times are applied to " + FileNameOf(sourcePath)));
    }
}

} // namespace

Result<CueSections> SectionsFromCue(const CueSheet& sheet, std::int32_t sourceLengthMs,
                                    const TID3v1Tag& sourceTag, const std::string& sourcePath) {
    CueSections result;
    result.Warnings = sheet.Warnings;
    WarnOfOtherFiles(sheet, sourcePath, result.Warnings);
    for (std::size_t i = 0; i < sheet.Tracks.size(); ++i) {
        const CueTrack& track = sheet.Tracks[i];
        const std::int32_t start = CueFramesToMs(track.Frames);
        if (i > 0 && track.Frames <= sheet.Tracks[i - 1].Frames)
            return SheetError(track.Line, "the track starts at " + CueTimeText(track.Frames) +
                                              ", not after the track before it");
        if (start >= sourceLengthMs)
            return SheetError(track.Line, "the track starts at " + CueTimeText(track.Frames) +
                                              ", past the end of the audio (" +
                                              FormatTime(sourceLengthMs) + ")");
        SplitListItem entry = EntryOfTrack(sheet, track, sourceTag);
        entry.StartMs = start;
        entry.EndMs = i + 1 < sheet.Tracks.size() ? CueFramesToMs(sheet.Tracks[i + 1].Frames)
                                                  : sourceLengthMs;
        result.Entries.push_back(std::move(entry));
    }
    return result;
}

Result<SavedList> ListFromSavedSheet(const CueSheet& sheet) {
    SavedList result;
    result.SourcePath = DecodeCueText(sheet.FileName);
    for (const CueTrack& track : sheet.Tracks) {
        std::istringstream fields(RemOf(track.Rem, kSavedEntryRem));
        SplitListItem entry;
        int checked = 0;
        int genre = 0;
        if (!(fields >> entry.StartMs >> entry.EndMs >> checked >> genre) || genre < 0 ||
            genre > 255) {
            return SheetError(track.Line,
                              "not a list saved by Kerfline: the track has no valid REM " +
                                  std::string(kSavedEntryRem) + " line");
        }
        entry.Checked = checked != 0;
        entry.Genre = static_cast<std::uint8_t>(genre);
        entry.Title = DecodeCueText(track.Title);
        entry.Artist = DecodeCueText(track.Performer);
        entry.Album = DecodeCueText(RemOf(track.Rem, "ALBUM"));
        entry.Year = DecodeCueText(track.Date);
        entry.Comment = DecodeCueText(RemOf(track.Rem, "COMMENT"));
        result.Entries.push_back(std::move(entry));
    }
    return result;
}

bool AppendAllEntries(SplitList& list, const std::vector<SplitListItem>& entries) {
    if (static_cast<std::size_t>(list.SplitCount()) + entries.size() >
        static_cast<std::size_t>(SplitList::MaxParts))
        return false;
    for (const SplitListItem& entry : entries)
        list[list.AddEntry(entry.StartMs, entry.EndMs, TID3v1Tag())] = entry;
    return true;
}
