#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Layer III frame pieces that let a part begin in the middle of a source: a
// frame's main_data_begin (how many bytes of its main data lie in the frames
// before it), and frames that decode to silence while holding those bytes.

// Bytes of a Layer III frame's side information.
std::int32_t Layer3SideInfoBytes(std::int32_t versionId, bool mono);

// Where the main data of the frame with this header starts: after the header,
// the CRC (when the header announces one) and the side information.
std::int32_t Layer3MainDataOffset(const std::uint8_t* header, std::int32_t versionId);

// The frame's main_data_begin, or -1 when the bytes do not hold it.
std::int32_t Layer3MainDataBegin(const std::uint8_t* frame, std::size_t available,
                                 std::int32_t versionId);

// A frame with header's version, rate and channel mode, no CRC and all-zero
// side information, so it decodes to silence: at the smallest bitrate index
// from lowestIndex on whose main data holds borrowed, which ends it, for the
// next frame to read as its reservoir. Empty when no bitrate holds it.
std::vector<std::uint8_t> SilentLayer3Frame(const std::uint8_t* header, std::int32_t versionId,
                                            const std::vector<std::uint8_t>& borrowed = {},
                                            std::int32_t lowestIndex = 1);

// The frame of length bytes rebuilt to read nothing from the frames before
// it: borrowed, what it read from them, leads its own main data, and stuffing
// after its main data keeps the bytes the next frames read at the end. No
// CRC, at the smallest bitrate index from lowestIndex on that holds it; empty
// when none does.
std::vector<std::uint8_t> SelfContainedLayer3Frame(const std::uint8_t* frame, std::size_t length,
                                                   std::int32_t versionId,
                                                   const std::vector<std::uint8_t>& borrowed,
                                                   std::int32_t lowestIndex = 1);

// Whether frame is original as SelfContainedLayer3Frame rebuilds it: the same
// side information, with a main_data_begin of 0.
bool HoldsOwnReservoirOf(std::span<const std::uint8_t> frame,
                         std::span<const std::uint8_t> original, std::int32_t versionId);
