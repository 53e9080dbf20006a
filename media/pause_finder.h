#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct LevelScan {
    std::vector<float> LevelsDb; // one per 10 ms window from the first frame
    std::string Error;           // empty on success
    bool Cancelled = false;
};

// Decodes the source from its first frame and measures its level in 10 ms
// windows. progress gets the share done (0..1, judged by totalMs) now and
// then, and stops the decoding by returning false.
LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset, double totalMs,
                        const std::function<bool(double)>& progress);
