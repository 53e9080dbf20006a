#pragma once

#include "split/part_volume.h"

#include <optional>

// How Save writes the parts, as the options dialog and the CLI's flags set it.
struct SaveOptions {
    bool SaveInfoFrame = true;     // the source's information frame in front of each part
    bool RebuildInfoFrame = false; // ... describing the part instead of the source
    bool Id3v2 = false;            // each part begins with an ID3v2.3 tag
    bool ExactCuts = false;        // each part holds exactly the samples between its times
    bool Id3v24 = false;           // ... an ID3v2.4 tag instead
    PartVolume Volume{};           // every part's gain and fades
    // Each part's gain chosen to bring its integrated loudness nearest this, in LUFS.
    std::optional<double> NormalizeLufs;
};
