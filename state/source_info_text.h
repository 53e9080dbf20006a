#pragma once

#include <array>
#include <cstdint>
#include <string>

class TAudioInfo;
struct SessionState;

// The lines of the main window's "ID3v1 Tag" and "MPEG info" groups for an
// opened source, in Latin-1 as the tag's texts stand in the file.
struct SourceInfoLines {
    std::array<std::string, 6> Tag;  // Title, Artist, Album, Year, Genre, Comment
    std::array<std::string, 6> Mpeg; // Time, Filesize, Version, BitRate, SampleRate, Frames
};

// The Frames line is empty until a walk has counted the frames; a VBR source
// shows its average bitrate beside the information frame's.
SourceInfoLines DescribeSource(const TAudioInfo& info, const SessionState& state);

// kbit/s over the audio frames: their bytes (without the information frame,
// the ID3v1 tag and the bytes that started no frame) over the exact length,
// rounded; 0 when there is no length.
std::int32_t AverageBitrateKbps(const TAudioInfo& info, const SessionState& state);
