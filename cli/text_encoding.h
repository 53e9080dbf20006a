#pragma once

#include "core/text_encoding.h"

#include <string>
#include <string_view>

// A file name as UTF-8: kept when it already is valid UTF-8, else read as Latin-1.
std::string FileNameToUtf8(std::string_view name);

// Latin-1 text for a terminal: control characters (C0, DEL, C1) become "?",
// so a tag cannot move the cursor, clear the screen or retitle the window.
std::string Latin1ToPrintableUtf8(std::string_view latin1);
