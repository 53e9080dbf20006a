#pragma once

#include "core/text_encoding.h"

#include <string>
#include <string_view>

// A file name as UTF-8: kept when it already is valid UTF-8, else read as Latin-1.
std::string FileNameToUtf8(std::string_view name);
