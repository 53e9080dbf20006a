#pragma once

#include "core/engine_error.h"
#include "core/preload_scan.h"

#include <cstdint>
#include <vector>

// How loud a stretch of a source plays, decoded with libmpg123 and measured
// with libebur128 (EBU R128).
struct PartLevel {
    double IntegratedLufs = -70.0; // the gate's floor for a stretch of silence
    double PeakDbfs = -200.0;      // the largest decoded sample
    double TruePeakDbfs = -200.0;  // between the samples too (4 times oversampled)
};

struct LevelSpan {
    std::int32_t StartMs = 0;
    std::int32_t EndMs = 0;
};

// The level of each span of the source, in one decode from its first frame
// to the last span's end. With truePeak the slower true peak is measured too.
Result<std::vector<PartLevel>>
MeasureLevels(const ScanSource& source, const std::vector<LevelSpan>& spans, bool truePeak = false);
