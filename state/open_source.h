#pragma once

#include "core/audio_info.h"
#include "core/engine_error.h"
#include "core/preload_scan.h"
#include "core/source_walk.h"
#include "state/session_state.h"

#include <memory>
#include <optional>
#include <string>

struct OpenOptions {
    bool Preload = false;  // walk every frame for the exact count and length
    ScanProgress Progress; // the walk's progress, when one runs
};

// An opened source: its analysis (with the ID3v1 tag), the format every walk
// reads it by, and its durations, position step and estimated ms per frame.
// Koef waits for the player's length.
struct SourceSession {
    TAudioInfo Info;
    SourceFormat Format;
    // The one walk over the source, shared by the scan, the overview and the preview.
    std::shared_ptr<SourceWalk> Walk;
    SessionState State;
    // A walk that failed: the analysis's length stays in effect and the frame
    // count unknown, so the source is still usable.
    std::optional<Error> ScanProblem;
};

// Analyses the file, walks it when asked, and sets every duration. Touches no
// shared state: a refused file leaves whatever source the caller had in place.
// A file that cannot be opened gives an Open error naming it in its text; no
// frame gives NoFrame, naming it so too; any other refusal (a file without a
// usable length gives TAudioInfo::FailureMessage) has the file as its Path.
Result<SourceSession> OpenSource(const std::string& path, const OpenOptions& options = {});

// Walks every frame of an opened source for the exact frame count and length
// (or takes the result of its walk where that has run), and sets the
// durations again. A failed walk is kept in ScanProblem.
void WalkSource(SourceSession& session, const ScanProgress& progress = {});
