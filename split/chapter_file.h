#pragma once

#include "core/engine_error.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// One file with chapter marks: a new ID3v2 tag in front of the source's bytes
// from its first frame on, copied as they stand, so the audio is the source's.
struct ChapterFileRequest {
    std::string SourcePath;
    std::int64_t AudioOffset = 0; // the source's first frame
    std::vector<std::uint8_t> Tag;
    std::int32_t Chapters = 0; // how many the tag marks
    std::string OutPath;
    bool Overwrite = false;
};

struct ChapterFileCallbacks {
    // Bytes of the source copied so far, of total.
    std::function<void(std::int64_t done, std::int64_t total)> Progress;
    std::function<bool()> StopRequested;
};

struct ChapterFileReport {
    std::int32_t Chapters = 0;
    std::int64_t Bytes = 0;
};

// The reason given, at the target's path, when it exists and may not be replaced.
inline constexpr std::string_view kChapterTargetExists = "exists";

// Writes the file into a temporary of the target folder and links it into
// place when complete; on a refusal, failure or stop nothing is left behind.
// A target that is the source is refused; a stop is a Stopped error at the target.
Result<ChapterFileReport> WriteChapterFile(const ChapterFileRequest& request,
                                           const ChapterFileCallbacks& callbacks = {});
