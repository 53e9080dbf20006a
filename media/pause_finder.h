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
    // measured for, kUnmeasuredDb elsewhere. Windows the side information
    // shows to be quieter than the threshold hold that bound instead.
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
// frame, but decodes only where a pause of the cover settings (or a shorter
// threshold, a longer minimum) can be: a first walk reads each Layer III
// frame's side information. Its Huffman tables and gains bound the energy a
// frame can decode to, so the inside of a pause is known to be quiet without
// decoding it; its global gain rises and falls with the loudness it codes,
// so the stretches whose gain is as low as that of the pauses found so far
// are decoded, and each is widened until loud windows bound it: every
// stretch under the threshold is measured whole. Layer I and II sources are
// decoded throughout.
//
// progress gets the share done (0..1, judged by the frames walked) now and
// then, and stops the search by returning false. Damage does not end the
// search: the walk goes on at the next frame and a warning says where.
//
// Windows that the side information bounds under boundsBelowDb (the cover's
// threshold when not given, never above it) are not decoded: the levels then
// hold every pause of a threshold between the highest bound and the cover's.
LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset,
                        const PauseSettings& cover, const std::function<bool(double)>& progress,
                        std::optional<double> boundsBelowDb = {});
