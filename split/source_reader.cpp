#include "split/source_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

static_assert(sizeof(long) >= 8, "file positions beyond 2 GiB need a 64-bit long");

namespace {

constexpr std::int64_t kAlignment = 4096;

} // namespace

bool SourceReader::Open(const std::string& path, std::string& error) {
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) {
        error = std::strerror(errno);
        return false;
    }
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(path, sizeError);
    if (sizeError) {
        error = sizeError.message();
        file_.reset();
        return false;
    }
    size_ = static_cast<std::int64_t>(size);
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
    if (count <= 0)
        return true;
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        readFailed_ = true;
        return false;
    }
    const std::size_t got = std::fread(target, 1, static_cast<std::size_t>(count), file_.get());
    if (got != static_cast<std::size_t>(count)) {
        readFailed_ = true;
        return false;
    }
    return true;
}
