#pragma once

#include "core/engine_error.h"

#include <filesystem>

// The help document ships beside the program, in the folder of its executable.
inline constexpr const char* HelpDocumentName = "kerflinehelp.html";

// The help document in programFolder, or an Open error naming the path when it
// is missing or not a readable file.
Result<std::filesystem::path> FindHelpDocument(const std::filesystem::path& programFolder);
