#pragma once

#include "core/id3v1_tag.h"
#include "split/cue_sheet.h"
#include "split/split_list.h"

#include <cstdint>
#include <string>
#include <vector>

// The sections a sheet gives for one source.
struct CueSections {
    std::vector<SplitListItem> Entries;
    // The sheet's own, and one for each FILE that names another file, whose
    // tracks are applied to the source all the same.
    std::vector<Error> Warnings;
};

// Each track's INDEX 01 starts a section that ends at the next track's; the
// last runs to the end of the source. Title from the track, artist from the
// track or else the disc, album from the disc, year and comment from REM DATE
// and REM COMMENT (the track's, else the disc's); the genre is the source's.
// A track out of order or past the end is an error at its line: no sections.
Result<CueSections> SectionsFromCue(const CueSheet& sheet, std::int32_t sourceLengthMs,
                                    const TID3v1Tag& sourceTag, const std::string& sourcePath);

// A list written by WriteSavedList, restored exactly, and the source it was made for.
struct SavedList {
    std::string SourcePath;
    std::vector<SplitListItem> Entries;
};
Result<SavedList> ListFromSavedSheet(const CueSheet& sheet);

// Appends every entry, or none when they do not all fit below MaxParts.
bool AppendAllEntries(SplitList& list, const std::vector<SplitListItem>& entries);
