#pragma once

#include "core/id3v1_tag.h"
#include "core/source_format.h"
#include "split/part_volume.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One row as the worker sees it.
struct SplitJobRow {
    bool Checked = false;
    bool DoWrite = false;
    std::string OutPath;
    std::int32_t StartMs = 0;
    std::int32_t EndMs = 0;
    TagBlockBytes Tag{};     // the entry's tag group, already encoded
    bool MayReplace = false; // else a file of that name, even one that appears meanwhile, stays
    PartVolume Volume{};     // the gains of the part's frames (Layer III only)

    // The one rule for a row the run writes: ticked, and the plan said write.
    bool ToWrite() const { return Checked && DoWrite; }
};

// Everything a split needs, copied, so nothing the UI changes can reach a running split.
struct SplitJob {
    std::string SourcePath;
    SourceFormat Format;
    // Audio frames by the scan's count; 0 while unknown, in which case the
    // worker counts them by the scan's rule in its own walk.
    std::int32_t FrameCount = 0;
    bool SaveFrameOption = true;
    // The carried information frame always describes the part's own bytes,
    // seek table, LAME delay, padding and CRCs; rebuilt, its frame count is
    // the audio frames, else as it always was: they and the information frame.
    bool RebuildInfoFrame = false;
    // Each part holds exactly the source's samples between its two times, as
    // a gapless player plays them: warm-up and tail frames around them, a
    // frame that carries the first frame's reservoir, and an information
    // frame whose LAME tag trims the extra samples. Layer III only.
    bool ExactCuts = false;
    // The bytes that begin row's part file (its ID3v2 tag), asked for as the
    // part is begun; no bytes without it.
    std::function<std::vector<std::uint8_t>(std::size_t row)> PartPrefix;
    std::vector<SplitJobRow> Rows;

    // Rows that will be written: checked with DoWrite set.
    std::int32_t PartsToWrite() const;
    // Every part begins with an information frame.
    bool CarriesInformationFrame() const {
        return ExactCuts || (Format.HasInfoFrame && SaveFrameOption);
    }
};

struct SplitCallbacks {
    std::function<void()> StepProgress;                 // a part is begun
    std::function<void(const std::string&)> SplitError; // a part failed: path and reason
    std::function<bool()> StopRequested;                // read after each row
};

// A part put in place under its name.
struct WrittenPart {
    std::size_t Row = 0;
    std::int64_t Frames = 0; // audio frames, the information frame not counted
    std::int64_t Bytes = 0;  // the whole file: tags and information frame included
};

struct SplitOutcome {
    bool Success = false; // every part to write was written
    std::int32_t PartsWritten = 0;
    std::vector<WrittenPart> Written; // in row order
    bool Stopped = false;             // a stop request ended the run early
    std::vector<std::string> Errors;  // one line per problem: a failure, or a part skipped
    std::int64_t HeadersExamined = 0; // frame candidates looked at in this run's walk
};

// Writes every checked row with DoWrite set, in row order, each part exactly as
// a walk from the first frame would find it, in one forward pass over the source:
// each part continues from the walk's state where its skip would end. The end of
// the run is always reported through the outcome.
SplitOutcome WriteAllParts(const SplitJob& job, const SplitCallbacks& callbacks);
