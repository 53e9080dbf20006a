#include "core/byte_source.h"

#include "core/source_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

FileSource::~FileSource() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileSource::Open(const std::string& path, std::string& error) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = OpenSourceFile(path, error);
    if (fd_ < 0)
        return false;
    // The size of the file opened, not of whatever the path names later.
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    size_ = status.st_size;
    return true;
}

std::int64_t FileSource::ReadAt(std::int64_t offset, std::int64_t count, std::uint8_t* target,
                                std::string& error) {
    if (offset < 0 || count < 0) {
        error = "a read outside the file";
        return -1;
    }
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd_, target + done, static_cast<std::size_t>(count - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

std::int64_t MemorySource::ReadAt(std::int64_t offset, std::int64_t count, std::uint8_t* target,
                                  std::string& error) {
    if (offset < 0 || count < 0) {
        error = "a read outside the source";
        return -1;
    }
    const std::int64_t got = std::clamp<std::int64_t>(Size() - offset, 0, count);
    if (got > 0)
        std::memcpy(target, bytes_.data() + offset, static_cast<std::size_t>(got));
    return got;
}
