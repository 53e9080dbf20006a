#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct LevelScan {
    std::vector<float> LevelsDb; // one per 10 ms window from the first frame
    std::string Error;           // empty on success
    bool Cancelled = false;
    // One line per stretch of bytes that could not be decoded, naming the
    // file, where it lies and the time it comes at; the levels pass over it.
    std::vector<std::string> Warnings;
};

// Decodes the source from its first frame and measures its level in 10 ms
// windows. progress gets the share done (0..1, judged by totalMs) now and
// then, and stops the decoding by returning false. Damage does not end the
// search: the decoding goes on at the next frame and a warning says where.
LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset, double totalMs,
                        const std::function<bool(double)>& progress);
