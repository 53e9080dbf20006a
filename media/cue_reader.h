#pragma once

#include "split/cue_sheet.h"

#include <optional>
#include <string>

// A cue sheet read with libcue, with the line numbers libcue does not give.
struct CueReadResult {
    CueSheet Sheet;
    std::optional<CueError> Error; // Line 0: the file could not be read
};

CueReadResult ReadCueText(const std::string& text);
CueReadResult ReadCueFile(const std::string& path);

// "path:line: text", or "path: text" for an error without a line.
std::string CueErrorMessage(const std::string& path, const CueError& error);
// "path:line: warning: text", or "path: warning: text".
std::string CueWarningMessage(const std::string& path, const CueError& warning);
