#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The sources opened lately, most recent first, as the Open button's menu lists them.
inline constexpr std::size_t RecentFilesLimit = 8;

// The list after a source has been opened: its absolute path first, no path
// twice (the same file named two ways counts once), no more than RecentFilesLimit.
std::vector<std::string> WithRecentFile(const std::vector<std::string>& files,
                                        const std::string& path);

// The files of the list that are still there, in order: a menu entry for a
// file moved away would only end in an error.
std::vector<std::string> ExistingRecentFiles(const std::vector<std::string>& files);

// Whether a file named so is offered as a source (the open chooser's "*.mp3",
// in any case); a file dropped on the window must pass it.
bool IsSourceFileName(const std::string& path);
