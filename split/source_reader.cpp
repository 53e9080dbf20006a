#include "split/source_reader.h"

#include "core/source_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kAlignment = 4096;

} // namespace

SourceReader::~SourceReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool SourceReader::Open(const std::string& path, std::string& error) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = OpenSourceFile(path, error);
    if (fd_ < 0)
        return false;
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    size_ = status.st_size;
    buffer_.resize(static_cast<std::size_t>(kBlockBytes));
    blockStart_ = 0;
    blockLength_ = 0;
    return true;
}

const std::uint8_t* SourceReader::Fetch(std::int64_t offset, std::int64_t count) {
    // Compared without a sum, so that no offset, however far out, overflows.
    if (offset < 0 || count > kMaxSpan || offset > size_ - count)
        return nullptr;
    if (!Holds(offset, count) && !Load(offset, count))
        return nullptr;
    return HeldBytes(offset);
}

bool SourceReader::Load(std::int64_t offset, std::int64_t count) {
    const std::int64_t start = offset - offset % kAlignment;
    const std::int64_t length = std::min(kBlockBytes, size_ - start);
    if (offset + count > start + length)
        return false;
    // Keep what the old block and the new one share, then read the rest.
    const std::int64_t keptBegin = std::max(start, blockStart_);
    const std::int64_t keptEnd = std::min(start + length, blockStart_ + blockLength_);
    std::int64_t readBegin = start;
    std::int64_t readEnd = start + length;
    if (keptBegin < keptEnd) {
        std::memmove(buffer_.data() + (keptBegin - start),
                     buffer_.data() + (keptBegin - blockStart_),
                     static_cast<std::size_t>(keptEnd - keptBegin));
        readEnd = keptBegin;
    }
    blockStart_ = start;
    blockLength_ = 0;
    bool ok = ReadInto(readBegin, readEnd - readBegin, buffer_.data() + (readBegin - start));
    if (ok && keptBegin < keptEnd)
        ok = ReadInto(keptEnd, start + length - keptEnd, buffer_.data() + (keptEnd - start));
    if (!ok)
        return false;
    blockLength_ = length;
    return true;
}

bool SourceReader::ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target) {
    while (count > 0) {
        const ssize_t got = ::pread(fd_, target, static_cast<std::size_t>(count), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            readFailed_ = true;
            return false;
        }
        target += got;
        offset += got;
        count -= got;
    }
    return true;
}
