#pragma once

#include "split/pause_cuts.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct LevelScan {
    // One per 10 ms window from the first frame: exactly a whole decode's level
    // wherever the window could belong to a stretch quieter than the threshold
    // measured for, kUnmeasuredDb elsewhere. Windows the side information or
    // the spectral estimate shows to be quieter than the threshold hold that
    // bound or estimate instead.
    std::vector<float> LevelsDb;
    // The highest of those bounds: any threshold above it sees these windows as quiet.
    std::optional<float> HighestBoundDb;
    std::string Error; // the reason, empty on success; the caller names the file
    bool Cancelled = false;
    // One line per stretch of bytes that could not be decoded, naming the
    // file, where it lies and the time it comes at; the levels pass over it.
    std::vector<std::string> Warnings;
    double DecodedShare = 0.0; // frames decoded over frames in the source
};

// Measures the source's level in 10 ms windows, as decoded from its first
// frame, but decodes only the windows nothing else settles: a first walk
// reads each Layer III frame's side information, whose Huffman tables and
// gains bound the energy a frame can decode to, and decodes its Huffman codes
// into each granule's spectral energy, which estimates the level within a
// measured margin. A window bounded or estimated under the threshold is
// quiet, one whose every stretch as long as a pause is estimated over it is
// in no pause; the blocks of every other window are decoded. Layer I and II
// sources are decoded throughout.
//
// progress gets the share done (0..1, judged by the frames walked) now and
// then, and stops the search by returning false. Damage does not end the
// search: the walk goes on at the next frame and a warning says where.
//
// Windows shown quiet under boundsBelowDb (the cover's
// threshold when not given, never above it) are not decoded: the levels then
// hold every pause of a threshold between the highest bound and the cover's.
LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset,
                        const PauseSettings& cover, const std::function<bool(double)>& progress,
                        std::optional<double> boundsBelowDb = {});
