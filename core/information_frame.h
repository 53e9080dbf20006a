#pragma once

#include <cstdint>
#include <vector>

// CRC-16 as the LAME tag uses it (polynomial 0x8005, reflected, from 0),
// carried on over data.
std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* data, std::size_t count);

// The audio frames that one part holds, in order, as the information frame
// in front of them has to describe them.
struct PartFrameList {
    std::vector<std::uint16_t> Lengths;
    bool FromSourceStart = false; // begins with the source's first audio frame
    bool ToSourceEnd = false;     // ends with the source's last audio frame
    std::uint16_t AudioCrc = 0;   // Crc16 of the part's audio bytes
};

// The source's Xing/Info frame rebuilt for one part: the frame count (audio
// frames only), the byte count (this frame and the audio frames), a seek table
// of the part's own frames; in a LAME tag the encoder delay (kept only from the
// source's start), the padding (kept only to its end), the music length and
// CRC, and the tag's own CRC. Only the fields the frame announces are written;
// a frame without the marker at markerOffset comes back unchanged.
std::vector<std::uint8_t> RebuildInformationFrame(std::vector<std::uint8_t> frame,
                                                  std::int32_t markerOffset,
                                                  const PartFrameList& part);
