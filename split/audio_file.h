#pragma once

#include "core/audio_info.h"
#include "core/frame_walk.h"
#include "core/information_frame.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// An MPEG file as the join and the check of parts read it: its format, its
// information frame with the gapless trim of its LAME tag, and its audio
// frames one by one.

struct AudioFormat {
    std::int32_t VersionId = 0; // 1 MPEG 1, 2 MPEG 2, 3 MPEG 2.5
    std::int32_t Layer = 0;
    std::int32_t SampleRateHz = 0;
    std::int32_t Channels = 0;

    std::int32_t SamplesPerFrame() const;
};

struct AudioFile {
    std::string Path;
    TAudioInfo Info;
    AudioFormat Format;
    std::int64_t DurationMs = 0;
    std::vector<std::uint8_t> InformationFrame; // empty when it has none
    std::int32_t MarkerOffset = 0;
    std::optional<GaplessTrim> Trim; // from a LAME tag
    std::int64_t AudioEnd = 0;       // where the ID3v1 tag begins, or the end
};

// The file analysed, or an error naming it (in its text or its Path).
Result<AudioFile> OpenAudioFile(const std::string& path);

// The count bytes at offset of path; false when they cannot all be read.
bool ReadFileBytes(const std::string& path, std::int64_t offset, std::vector<std::uint8_t>& bytes);

// A Layer III frame whose side information is all zero decodes to silence:
// the bridge and lead-in frames of exact parts are such frames.
bool IsSilentFrame(std::span<const std::uint8_t> frame, const AudioFormat& format);

// The audio frames of a file in order, the information frame and the ID3v1 tag left out.
class AudioFrameReader {
public:
    Result<void> Open(const AudioFile& file);
    // The next whole frame, valid until the next call; empty at the end.
    std::span<const std::uint8_t> Next();
    std::int64_t Position() const { return at_.Position; }
    // Where the frame Next gave last begins in the file.
    std::int64_t FrameOffset() const { return frameOffset_; }

private:
    FrameWalk walk_;
    WalkPoint at_;
    std::int64_t audioEnd_ = 0;
    std::int64_t frameOffset_ = 0;
};
