#include "state/help_document.h"

#include <fstream>
#include <system_error>

Result<std::filesystem::path> FindHelpDocument(const std::filesystem::path& programFolder) {
    const std::filesystem::path path = programFolder / HelpDocumentName;
    std::error_code ignored;
    // A folder of that name is no document; a file we may not read is as good as missing.
    if (std::filesystem::is_regular_file(path, ignored) && std::ifstream(path).good())
        return path;
    return Error{ErrorCategory::Open, -1,
                 "The help file \"" + path.string() + "\" is missing or cannot be read."};
}
