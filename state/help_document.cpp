#include "state/help_document.h"

#include <fstream>
#include <system_error>

const char* const InstalledHelpFolder = KERFLINE_HELP_FROM_PROGRAM;

namespace {

// A folder of that name is no document; a file we may not read is as good as missing.
bool IsReadableFile(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored) && std::ifstream(path).good();
}

} // namespace

Result<std::filesystem::path> FindHelpDocument(const std::filesystem::path& programFolder) {
    const std::filesystem::path beside = programFolder / HelpDocumentName;
    const std::filesystem::path installed =
        (programFolder / InstalledHelpFolder / HelpDocumentName).lexically_normal();
    for (const std::filesystem::path& path : {beside, installed})
        if (IsReadableFile(path))
            return path;
    return Error{ErrorCategory::Open, -1,
                 "The help file \"" + beside.string() +
                     "\" is missing or cannot be read (nor is it in \"" +
                     installed.parent_path().string() + "\")."};
}
