#include "session/join_session.h"

#include <filesystem>
#include <numeric>
#include <utility>

void JoinSession::Add(const std::string& path) {
    files_.push_back(InspectJoinFile(path));
}

void JoinSession::Remove(std::size_t index) {
    if (index < files_.size())
        files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool JoinSession::Move(std::size_t index, int step) {
    const std::ptrdiff_t to = static_cast<std::ptrdiff_t>(index) + step;
    if (index >= files_.size() || to < 0 || to >= static_cast<std::ptrdiff_t>(files_.size()))
        return false;
    std::swap(files_[index], files_[static_cast<std::size_t>(to)]);
    return true;
}

std::int64_t JoinSession::TotalMs() const {
    return std::accumulate(
        files_.begin(), files_.end(), std::int64_t{0},
        [](std::int64_t sum, const JoinFileFacts& file) { return sum + file.DurationMs; });
}

std::string JoinSession::Problem(std::size_t index) const {
    const JoinFileFacts& file = files_[index];
    if (file.Problem)
        return ErrorMessage(*file.Problem);
    // The list shows each file by its name, so the first one is named so too.
    return FormatDifference(files_.front().Format, file.Format,
                            std::filesystem::path(files_.front().Path).filename().string());
}

bool JoinSession::Joinable() const {
    if (files_.size() < 2)
        return false;
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (!Problem(i).empty())
            return false;
    return true;
}

JoinRequest JoinSession::Request(const std::string& outPath, bool overwrite) const {
    JoinRequest request;
    for (const JoinFileFacts& file : files_)
        request.Files.push_back(file.Path);
    request.OutPath = outPath;
    request.Overwrite = overwrite;
    return request;
}

Result<JoinReport> JoinSession::Run(const JoinRequest& request, const JoinCallbacks& callbacks) {
    return JoinFiles(request, callbacks);
}

bool JoinSession::TargetExists(const Error& error) {
    return error.Category == ErrorCategory::Name && error.Text == kJoinTargetExists;
}
