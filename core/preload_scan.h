#pragma once

#include "core/engine_error.h"
#include "core/source_format.h"

#include <cstdint>
#include <functional>
#include <string>

class ByteSource;
class FrameCheckpoints;
class TAudioInfo;

// What the scan needs of the source's analysis.
struct ScanSource {
    std::string Path;
    SourceFormat Format;

    static ScanSource From(const std::string& path, const TAudioInfo& info);
};

struct ScanResult {
    std::int32_t FrameCount = 0; // audio frames, the information frame not counted
    std::int64_t ErrorCount = 0; // byte positions at which no usable frame started
    double DurationMsExact = 0.0;
};

// Called now and then with the absolute file position and the bar's maximum
// (file size - first frame offset - 128).
using ScanProgress = std::function<void(std::int64_t position, std::int64_t maximum)>;

// Walks every frame from the first one. When the file cannot be opened or
// read there is no result, but the error (naming the file and the reason).
Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress = {});
// The same walk over bytes already opened; source.Path only names them in errors.
Result<ScanResult> PreloadScan(const ScanSource& source, ByteSource& bytes,
                               const ScanProgress& progress = {});
// The same walk, keeping the state before every FrameCheckpoints::kStride-th
// audio frame in checkpoints; stop, asked at each, ends the walk with a
// Stopped error.
Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress,
                               FrameCheckpoints& checkpoints, const std::function<bool()>& stop);
