#pragma once

#include "core/information_frame.h"

#include <cstdint>
#include <optional>

class TAudioInfo;

// What every walk over a source needs to know of it, from the analysis: where
// the first frame lies, its format, and whether it is an information frame.
// The scan and the split take it alike, so they read the source the same way.
struct SourceFormat {
    std::int64_t FirstFrameOffset = 0;
    bool IsVbr = false;        // "Xing" source
    bool HasInfoFrame = false; // "Xing" or "Info": the first frame is an information frame
    std::int32_t VersionId = 1;
    std::int32_t Layer = 3; // the first frame's layer
    std::int32_t ChannelMode = 0;
    std::int32_t FirstFrameBytes = 0; // the first frame's length: where the scan's walk stops
    std::int32_t SampleRateHz = 0;
    std::optional<GaplessTrim> Trim;  // the LAME tag's, when the information frame has one
    std::uint32_t InfoFrameCount = 0; // the audio frames the information frame counts, or 0

    static SourceFormat Of(const TAudioInfo& info);
};
