#pragma once

#include "core/engine_error.h"
#include "core/layer3_gain_shift.h"
#include "core/preload_scan.h"
#include "media/part_levels.h"
#include "session/save_options.h"
#include "split/split_worker.h"

#include <cstdint>
#include <string>
#include <vector>

// The gain step that brings a part of this level nearest targetLufs, held
// where its decoded peak stays at or under full scale, within the steps a
// part may take.
std::int32_t NormalizeSteps(const PartLevel& level, double targetLufs);

// The peak a part of this level reaches with steps added, in dBFS.
double PeakWith(const PartLevel& level, std::int32_t steps);

// With normalize, each row's gain as its part's measured loudness asks. A line for each
// part whose gain would clip, with the peak it would reach (the parts are
// decoded for this only when a gain goes up).
Result<std::vector<std::string>> SettleVolume(SplitJob& job, const SaveOptions& options,
                                              const ScanSource& source);
