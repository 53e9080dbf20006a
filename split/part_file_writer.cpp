#include "split/part_file_writer.h"

#include "split/partial_files.h"
#include "split/unnamed_file_maker.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <random>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kWriteBuffer = 1 << 16;

Error SystemError(int error = errno) {
    return Error{ErrorCategory::Write, -1, std::strerror(error)};
}

std::string RandomTempName() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    static const char kDigits[] = "0123456789abcdef";
    std::string name = ".kerfline-";
    std::uint64_t bits = generator();
    for (int i = 0; i < 12; ++i, bits >>= 4)
        name += kDigits[bits & 15];
    return name + ".tmp";
}

// A file-size limit must fail the write (EFBIG, reported like a full disk),
// not end the program with a partial file behind.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

Result<void> WriteFully(int fd, const std::uint8_t* data, std::int64_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(count));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return SystemError();
        }
        data += written;
        count -= written;
    }
    return {};
}

bool NoUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

bool NoReplaceUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

} // namespace

PartFileWriter::~PartFileWriter() {
    Discard();
    maker_.reset();
    if (folderFd_ >= 0)
        ::close(folderFd_);
}

Result<void> PartFileWriter::Create(const std::string& outPath, bool mayReplace) {
    Discard();
    IgnoreFileSizeSignal();
    const std::filesystem::path path(outPath);
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    fileName_ = path.filename().string();
    mayReplace_ = mayReplace;
    // Every step works inside this folder, wherever it is moved meanwhile.
    if (folderFd_ < 0 || folder != folder_) {
        maker_.reset();
        if (folderFd_ >= 0)
            ::close(folderFd_);
        folder_ = folder;
        folderFd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_ < 0)
            return SystemError();
        maker_ = std::make_unique<UnnamedFileMaker>(folderFd_);
    }
    fd_ = maker_->Take();
    if (fd_ < 0) {
        const Result<void> named = NoUnnamedFiles(errno) ? CreateNamed() : SystemError();
        if (!named) {
            Discard();
            return named;
        }
    }
    buffer_.reserve(kWriteBuffer);
    return {};
}

Result<void> PartFileWriter::CreateNamed() {
    InstallPartialFileCleanup();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomTempName();
        fd_ = ::openat(folderFd_, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempName_ = name;
            cleanupSlot_ = RegisterPartialFile(folderFd_, tempName_);
            return {};
        }
        if (errno != EEXIST)
            break;
    }
    return SystemError();
}

Result<void> PartFileWriter::Write(const std::uint8_t* data, std::int64_t count) {
    if (count <= 0)
        return {};
    if (buffer_.size() + static_cast<std::size_t>(count) > kWriteBuffer)
        if (Result<void> flushed = FlushBuffer(); !flushed)
            return flushed;
    if (static_cast<std::size_t>(count) >= kWriteBuffer)
        return WriteFully(fd_, data, count);
    buffer_.insert(buffer_.end(), data, data + count);
    return {};
}

Result<void> PartFileWriter::WriteAt(std::int64_t offset, const std::uint8_t* data,
                                     std::int64_t count) {
    if (Result<void> flushed = FlushBuffer(); !flushed)
        return flushed;
    while (count > 0) {
        const ssize_t written = ::pwrite(fd_, data, static_cast<std::size_t>(count), offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return SystemError();
        }
        data += written;
        count -= written;
        offset += written;
    }
    return {};
}

Result<void> PartFileWriter::FlushBuffer() {
    Result<void> written =
        WriteFully(fd_, buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
    buffer_.clear();
    return written;
}

Result<CommitResult> PartFileWriter::Commit() {
    Result<CommitResult> result = Place();
    Discard();
    return result;
}

Result<CommitResult> PartFileWriter::Place() {
    if (fd_ < 0)
        return SystemError(EBADF);
    if (Result<void> flushed = FlushBuffer(); !flushed)
        return flushed.Failure();
    return tempName_.empty() ? PlaceUnnamed() : PlaceNamed();
}

Result<CommitResult> PartFileWriter::PlaceUnnamed() {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
    if (mayReplace_)
        return LinkOverName(procPath);
    if (::linkat(AT_FDCWD, procPath.c_str(), folderFd_, fileName_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return CommitResult::Written;
    if (errno == EEXIST)
        return CommitResult::NameTaken;
    return SystemError();
}

// A link cannot replace: the file gets a hidden name first and is renamed
// over the part's name from there.
Result<CommitResult> PartFileWriter::LinkOverName(const std::string& procPath) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomTempName();
        if (::linkat(AT_FDCWD, procPath.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        tempName_ = name;
        cleanupSlot_ = RegisterPartialFile(folderFd_, tempName_);
        return PlaceNamed();
    }
    return SystemError();
}

Result<CommitResult> PartFileWriter::PlaceNamed() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return SystemError();
    const char* from = tempName_.c_str();
    const char* to = fileName_.c_str();
    int result = mayReplace_ ? ::renameat(folderFd_, from, folderFd_, to)
                             : ::renameat2(folderFd_, from, folderFd_, to, RENAME_NOREPLACE);
    if (result != 0 && !mayReplace_ && NoReplaceUnsupported(errno)) {
        // A link never replaces either; the temporary name goes afterwards.
        result = ::linkat(folderFd_, from, folderFd_, to, 0);
        if (result == 0)
            ::unlinkat(folderFd_, from, 0);
    }
    if (result == 0) {
        ReleasePartialFile(cleanupSlot_);
        cleanupSlot_ = -1;
        tempName_.clear();
        return CommitResult::Written;
    }
    if (errno == EEXIST)
        return CommitResult::NameTaken;
    return SystemError();
}

void PartFileWriter::Discard() {
    buffer_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlinkat(folderFd_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    ReleasePartialFile(cleanupSlot_);
    cleanupSlot_ = -1;
}
