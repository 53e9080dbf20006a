#pragma once

#include "core/engine_error.h"
#include "core/loudness_overview.h"

#include <functional>

// The loudness of a whole source for its overview, a level for every audio
// frame, decoded: a Layer III frame's gains alone cannot tell a loud sweep
// from a quiet tone, nor dither from sound. stop is asked now and then and ends the work
// early with what was found so far.
Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop = {});
