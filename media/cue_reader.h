#pragma once

#include "core/engine_error.h"
#include "split/cue_sheet.h"

#include <string>

// A cue sheet read with libcue, with the line numbers libcue does not give.
// A fault of the sheet is a Format error at its line; the file's errors
// (Open, Read, or Format for a file too large) have no line, and every error
// of ReadCueFile has the sheet as its Path.
Result<CueSheet> ReadCueText(const std::string& text);
Result<CueSheet> ReadCueFile(const std::string& path);
