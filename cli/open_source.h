#pragma once

#include "core/audio_info.h"
#include "state/session_state.h"

#include <ostream>
#include <string>

// A source opened the way the main window opens it.
struct OpenSource {
    TAudioInfo Info;
    SessionState State;
};

// Analyses the file and sets its durations. A refused file gets one line on
// err naming the file and the reason, and false.
bool AnalyseSource(const std::string& path, OpenSource& source, std::ostream& err);

// Walks every frame for the exact frame count and length. A failed scan gets
// one line on err and false.
bool ScanWholeSource(OpenSource& source, std::ostream& err);
