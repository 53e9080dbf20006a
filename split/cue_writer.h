#pragma once

#include "core/preload_scan.h"
#include "split/split_list.h"

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

// Where the split's walk has frames start around a time: the last frame that
// starts before it and the first that starts at or after it.
struct FramesAround {
    double Before = -std::numeric_limits<double>::infinity();
    double AtOrAfter = std::numeric_limits<double>::infinity();
};

struct SourceFrames {
    std::map<std::int32_t, FramesAround> Around; // by time; a time not in it is taken as it is
    // The first frame after the last entry's end, and where a sheet's last track ends.
    double FirstStartAfterEndMs = std::numeric_limits<double>::infinity();
    std::int32_t LengthMs = 0;
};

// One walk over the source for the frames around each of the times and the
// first frame after endMs; an error when the source cannot be opened.
Result<SourceFrames> FindFramesAround(const ScanSource& source,
                                      const std::vector<std::int32_t>& times, std::int32_t endMs);

struct CueExport {
    std::string Text;
    std::vector<std::string> Warnings; // what the sheet cannot hold of the list
};

// The ticked entries as a cue sheet for other programs, in time order: each
// entry a track whose INDEX 01 falls between the frame before its part and the
// part's first frame, so that the sheet read back cuts the same parts; with its
// title, performer, REM DATE and REM COMMENT. The first entry's album is the
// disc's title. FILE names the source by its file name, as a sheet lying beside
// it does. A cue track runs to the next one, so a gap or an overlap between the
// entries, or a last entry that ends before the audio does, is a warning.
CueExport WriteCueSheet(const std::vector<SplitListItem>& entries, const std::string& sourcePath,
                        const SourceFrames& frames = {});

// WriteCueSheet with the frames of the source, whose last track an importer
// ends at lengthMs; the error says why the source could not be walked.
Result<CueExport> ExportCueSheet(const std::vector<SplitListItem>& entries,
                                 const ScanSource& source, std::int32_t lengthMs);

// The whole list as a cue sheet other programs still read, with REM lines for
// what cue has no field for (exact times, tick mark, album, genre) and the
// source's full path in FILE, so that ListFromSavedSheet restores it exactly.
std::string WriteSavedList(const std::vector<SplitListItem>& entries,
                           const std::string& sourcePath);
