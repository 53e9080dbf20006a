#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Folds count bytes of data (a multiple of 64), begun from crc, into 16 bytes
// whose CRC-16 (polynomial 0x8005, reflected, from 0) is that of the data, by
// carry-less multiplication: far faster than tables over the megabytes of an
// exact part. False, with nothing done, where the processor has no such
// multiplication or count is too short.
bool FoldCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t count,
               std::array<std::uint8_t, 16>& folded);
