#include "split/chapter_file.h"

#include "split/part_file_writer.h"

#include <filesystem>
#include <fstream>

namespace {

constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

Error AtPath(Error error, const std::string& path) {
    error.Path = path;
    return error;
}

Result<void> CheckTarget(const ChapterFileRequest& request) {
    std::error_code failed;
    if (std::filesystem::equivalent(request.SourcePath, request.OutPath, failed))
        return Error{ErrorCategory::Name, -1, "is the source itself", request.OutPath};
    if (!request.Overwrite && std::filesystem::exists(request.OutPath, failed))
        return Error{ErrorCategory::Name, -1, std::string(kChapterTargetExists), request.OutPath};
    return {};
}

// The source's bytes from the first frame to its end, block by block; false
// when stopped.
Result<bool> CopyAudio(const ChapterFileRequest& request, PartFileWriter& writer,
                       const ChapterFileCallbacks& callbacks) {
    std::ifstream source(request.SourcePath, std::ios::binary);
    std::error_code failed;
    const auto size =
        static_cast<std::int64_t>(std::filesystem::file_size(request.SourcePath, failed));
    if (!source || failed || !source.seekg(request.AudioOffset))
        return Error{ErrorCategory::Read, request.AudioOffset, "the audio could not be read",
                     request.SourcePath};
    const std::int64_t total = size - request.AudioOffset;
    std::vector<std::uint8_t> block(kBlockBytes);
    for (std::int64_t done = 0; done < total;) {
        const std::int64_t wanted =
            std::min<std::int64_t>(total - done, static_cast<std::int64_t>(kBlockBytes));
        if (!source.read(reinterpret_cast<char*>(block.data()), wanted))
            return Error{ErrorCategory::Read, request.AudioOffset + done,
                         "the audio could not be read", request.SourcePath};
        if (Result<void> written = writer.Write(block.data(), wanted); !written)
            return AtPath(written.Failure(), request.OutPath);
        done += wanted;
        if (callbacks.Progress)
            callbacks.Progress(done, total);
        if (callbacks.StopRequested && callbacks.StopRequested())
            return false;
    }
    return true;
}

} // namespace

Result<ChapterFileReport> WriteChapterFile(const ChapterFileRequest& request,
                                           const ChapterFileCallbacks& callbacks) {
    if (Result<void> target = CheckTarget(request); !target)
        return target.Failure();
    PartFileWriter writer;
    if (Result<void> created = writer.Create(request.OutPath, request.Overwrite); !created)
        return AtPath(created.Failure(), request.OutPath);
    if (Result<void> written =
            writer.Write(request.Tag.data(), static_cast<std::int64_t>(request.Tag.size()));
        !written)
        return AtPath(written.Failure(), request.OutPath);
    const Result<bool> copied = CopyAudio(request, writer, callbacks);
    if (!copied || !copied.Value()) {
        writer.Discard();
        if (!copied)
            return copied.Failure();
        return Error{ErrorCategory::Stopped, -1, "stopped, nothing written", request.OutPath};
    }
    const Result<CommitResult> committed = writer.Commit();
    if (!committed)
        return AtPath(committed.Failure(), request.OutPath);
    if (committed.Value() == CommitResult::NameTaken)
        return Error{ErrorCategory::Name, -1, std::string(kChapterTargetExists), request.OutPath};
    std::error_code failed;
    return ChapterFileReport{request.Chapters, static_cast<std::int64_t>(std::filesystem::file_size(
                                                   request.OutPath, failed))};
}
