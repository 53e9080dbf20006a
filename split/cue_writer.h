#pragma once

#include "split/split_list.h"

#include <string>
#include <vector>

// The ticked entries as a cue sheet for other programs: each entry a track
// starting at its start, with its title, performer, REM DATE and REM COMMENT;
// the first entry's album is the disc's title. FILE names the source by its
// file name, as a sheet lying beside it does.
std::string WriteCueSheet(const std::vector<SplitListItem>& entries, const std::string& sourcePath);

// The whole list as a cue sheet other programs still read, with REM lines for
// what cue has no field for (exact times, tick mark, album, genre) and the
// source's full path in FILE, so that ListFromSavedSheet restores it exactly.
std::string WriteSavedList(const std::vector<SplitListItem>& entries,
                           const std::string& sourcePath);
