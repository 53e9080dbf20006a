#pragma once

#include "core/engine_error.h"
#include "core/loudness_overview.h"

#include <functional>

// The loudness of a whole source for its overview, a level for every audio
// frame: read from the frames for Layer III, decoded for Layer I and II, whose
// frames carry no gains to read. stop is asked now and then and ends the work
// early with what was found so far.
Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop = {});
