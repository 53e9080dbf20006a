#include "state/recent_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path Normal(const std::string& path) {
    return std::filesystem::path(path).lexically_normal();
}

} // namespace

std::vector<std::string> WithRecentFile(const std::vector<std::string>& files,
                                        const std::string& path) {
    // Kept absolute, so that an entry opens the same file from any folder; as
    // given when the current folder cannot be known (it was removed, say).
    std::error_code unknown;
    std::filesystem::path absolute = std::filesystem::absolute(path, unknown);
    if (unknown)
        absolute = path;
    std::vector<std::string> list{absolute.lexically_normal().string()};
    const auto listed = [&list](const std::string& file) {
        return std::any_of(list.begin(), list.end(), [&file](const std::string& entry) {
            return Normal(entry) == Normal(file);
        });
    };
    for (const std::string& file : files) {
        if (list.size() == RecentFilesLimit)
            break;
        if (!file.empty() && !listed(file))
            list.push_back(file);
    }
    return list;
}

std::vector<std::string> ExistingRecentFiles(const std::vector<std::string>& files) {
    std::vector<std::string> existing;
    for (const std::string& file : files) {
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error))
            existing.push_back(file);
    }
    return existing;
}

bool IsSourceFileName(const std::string& path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    return extension.size() == 4 &&
           std::equal(extension.begin(), extension.end(), ".mp3", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}
