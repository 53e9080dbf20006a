#pragma once

#include "core/engine_error.h"
#include "core/loudness_overview.h"
#include "core/source_walk.h"

#include <functional>

// The levels measured so far, now and then while the overview is measured,
// on the caller's thread: a copy whose MeasuredFrames is short of FrameCount.
using LoudnessSoFar = std::function<void(const LoudnessOverview&)>;

// The loudness of a whole source for its overview, a level for every audio
// frame, decoded: a Layer III frame's gains alone cannot tell a loud sweep
// from a quiet tone, nor dither from sound. The frame count is the source's
// one walk's (waited for, or begun, if it has not run); the decoding starts
// at its checkpoints, on up to four threads, from the start of the file on.
// stop is asked now and then and ends the work early with what was found so far.
Result<LoudnessOverview> SourceLoudness(SourceWalk& walk, const std::function<bool()>& stop = {},
                                        const LoudnessSoFar& soFar = {});
// The same for a source without a walk of its own yet.
Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop = {});
