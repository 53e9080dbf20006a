#include "core/byte_source.h"

#include "core/source_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileSource::~FileSource() {
    if (fd_ >= 0)
        ::close(fd_);
}

Result<void> FileSource::Open(const std::string& path) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    const Result<int> opened = OpenSourceFile(path);
    if (!opened)
        return opened.Failure();
    fd_ = opened.Value();
    // The size of the file opened, not of whatever the path names later.
    struct stat status {};
    if (::fstat(fd_, &status) != 0)
        return Error{ErrorCategory::Open, -1, std::strerror(errno)};
    size_ = status.st_size;
    // Sources are read front to back: a wider read-ahead keeps a cold disk busy.
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return {};
}

Result<std::int64_t> FileSource::ReadAt(std::int64_t offset, std::int64_t count,
                                        std::uint8_t* target) {
    if (offset < 0 || count < 0)
        return Error{ErrorCategory::Read, offset, "a read outside the file"};
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd_, target + done, static_cast<std::size_t>(count - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Error{ErrorCategory::Read, offset + done, std::strerror(errno)};
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

Result<std::int64_t> MemorySource::ReadAt(std::int64_t offset, std::int64_t count,
                                          std::uint8_t* target) {
    if (offset < 0 || count < 0)
        return Error{ErrorCategory::Read, offset, "a read outside the source"};
    const std::int64_t got = std::clamp<std::int64_t>(Size() - offset, 0, count);
    if (got > 0)
        std::memcpy(target, bytes_.data() + offset, static_cast<std::size_t>(got));
    return got;
}
