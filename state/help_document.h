#pragma once

#include "core/engine_error.h"

#include <filesystem>

// The help document ships beside the built program, in the folder of its executable;
// installed, it lies in the data folder, InstalledHelpFolder from the program's folder.
inline constexpr const char* HelpDocumentName = "kerflinehelp.html";
extern const char* const InstalledHelpFolder;

// The help document beside the program in programFolder, else in the installed
// data folder; an Open error naming both paths when neither is a readable file.
Result<std::filesystem::path> FindHelpDocument(const std::filesystem::path& programFolder);
