#pragma once

#include "core/engine_error.h"
#include "core/loudness_overview.h"
#include "core/source_walk.h"

#include <functional>

// The loudness of a whole source for its overview, a level for every audio
// frame, decoded: a Layer III frame's gains alone cannot tell a loud sweep
// from a quiet tone, nor dither from sound. The frame count is the source's
// one walk's (waited for, or begun, if it has not run); the decoding is a
// pass of its own, on the caller's thread. stop is asked now and then and
// ends the work early with what was found so far.
Result<LoudnessOverview> SourceLoudness(SourceWalk& walk, const std::function<bool()>& stop = {});
// The same for a source without a walk of its own yet.
Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop = {});
