#pragma once

#include "core/engine_error.h"
#include "split/audio_file.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Joins MPEG files of one format into one file of their audio frames, in the
// order given: the first file's ID3v2 tag, an information frame describing the
// whole, the frames, the first file's ID3v1 tag. Parts cut from one source
// join back into the source's frames: where a file begins with the frames the
// one before it ends with (the warm-up and tail of exact parts), those frames
// are kept once and the later file's silent lead-in is dropped.

// One file as the join sees it before reading its frames.
struct JoinFileFacts {
    std::string Path;
    std::optional<Error> Problem; // why it cannot be joined at all
    AudioFormat Format;
    std::int64_t DurationMs = 0;
    std::int64_t Bytes = 0;
};

JoinFileFacts InspectJoinFile(const std::string& path);

// Why other cannot join a file of format first ("48000 Hz where ... has 44100 Hz"),
// empty when it can.
std::string FormatDifference(const AudioFormat& first, const AudioFormat& other,
                             const std::string& firstPath);

// The first reason the files cannot be joined, at the file it concerns.
std::optional<Error> JoinRefusal(const std::vector<JoinFileFacts>& files);

struct JoinRequest {
    std::vector<std::string> Files;
    std::string OutPath;
    bool Overwrite = false;
};

struct JoinCallbacks {
    // Bytes of the files read so far, of total.
    std::function<void(std::int64_t done, std::int64_t total)> Progress;
    std::function<bool()> StopRequested;
};

// What a written join holds.
struct JoinReport {
    std::int64_t Frames = 0; // audio frames, the information frame not counted
    std::int64_t Bytes = 0;
};

// The reason a join gives, at the target's path, when the target exists and
// may not be replaced.
inline constexpr std::string_view kJoinTargetExists = "exists";

// A target that is one of the files being joined, refused whether or not it
// may be replaced: its error at the target's path.
std::optional<Error> TargetAmongInputs(const JoinRequest& request);

// Writes the joined file whole into a temporary of the target folder and links
// it into place; on any refusal, failure or stop nothing is left behind. A
// source's error names the source, the target's has the target as its path,
// and a stop is a Stopped error at the target.
Result<JoinReport> JoinFiles(const JoinRequest& request, const JoinCallbacks& callbacks = {});
