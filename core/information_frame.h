#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// CRC-16 as the LAME tag uses it (polynomial 0x8005, reflected, from 0),
// carried on over data.
std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* data, std::size_t count);

// What a gapless player drops at the two ends of a stream, as a LAME tag
// says: the samples after the decoder's own delay of 529 at the start, and
// those before the end, counted from 529 samples before it.
struct GaplessTrim {
    std::int32_t Delay = 0;
    std::int32_t Padding = 0;
};

// The audio frames that one part holds, in order, as the information frame
// in front of them has to describe them.
struct PartFrameList {
    std::vector<std::uint16_t> Lengths;
    bool FromSourceStart = false; // begins with the source's first audio frame
    bool ToSourceEnd = false;     // ends with the source's last audio frame
    std::uint16_t AudioCrc = 0;   // Crc16 of the part's audio bytes
    // An exact part's own encoder delay and padding, in place of the source's.
    std::optional<GaplessTrim> Trim;
    bool MixedBitrates = false; // an exact part's frames have more than one bit rate
    bool CountsItself = false;  // the frame count holds the information frame too
};

// The source's Xing/Info frame rebuilt for one part: the frame count (audio
// frames, and the information frame where the part says so), the byte count (this frame and the
// audio frames), a seek table of the part's own frames; in a LAME tag the encoder delay (kept only
// from the source's start), the padding (kept only to its end), the music length and CRC, and the
// tag's own CRC. Only the fields the frame announces are written; a frame without the marker at
// markerOffset comes back unchanged. An "Info" frame in front of frames of mixed bit rates becomes
// "Xing", its LAME tag's method VBR: readers take the length of an "Info" stream from its bit rate.
std::vector<std::uint8_t> RebuildInformationFrame(std::vector<std::uint8_t> frame,
                                                  std::int32_t markerOffset,
                                                  const PartFrameList& part);

// The delay and padding of the LAME tag in a source's information frame, when
// it has one.
std::optional<GaplessTrim> ReadGaplessTrim(const std::vector<std::uint8_t>& frame,
                                           std::int32_t markerOffset);

// The information frame in front of exact parts, its fields to be filled by
// RebuildInformationFrame: a Layer III frame like audioHeader's ("Xing" when
// vbr, else "Info") that announces every field, with the LAME tag of the
// source's frame, or one of its own whose encoder string is kOwnEncoder.
// Readers take delay and padding only after "LAME" (ffmpeg, GStreamer) and a
// version of 3.90 or later, the first with this tag (mutagen); "K" is Kerfline.
inline constexpr char kOwnEncoder[] = "LAME3.90K";
std::vector<std::uint8_t> ExactInformationFrame(const std::vector<std::uint8_t>& sourceFrame,
                                                std::int32_t sourceMarkerOffset,
                                                const std::uint8_t* audioHeader,
                                                std::int32_t versionId, bool vbr);

// The frame for a part whose level was changed: the LAME tag's peak and
// ReplayGain fields, which tell the source's level, cleared (players then
// measure or leave the part alone), and the tag's CRC. A frame without a
// LAME tag comes back unchanged.
std::vector<std::uint8_t> ClearLevelFields(std::vector<std::uint8_t> frame,
                                           std::int32_t markerOffset);
