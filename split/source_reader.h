#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a source file through one block that moves with the walk. A move
// keeps the bytes that the old and the new block share, so walking a little
// back (parts that overlap) or on reads only what is missing. The block is
// small enough to stay in the processor's cache between being read, walked
// and written out, which makes the copy nearly as cheap as the kernel's own.
class SourceReader {
public:
    static constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
    static constexpr std::int64_t kMaxSpan = 64 << 10;

    SourceReader() = default;
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;
    ~SourceReader();

    // Opens path for reading (a regular file only), once: every read goes
    // through that descriptor. On failure error holds the reason.
    bool Open(const std::string& path, std::string& error);
    std::int64_t Size() const { return size_; }

    // The count bytes at offset (count <= kMaxSpan), read if the block lacks
    // them; null when they are not all in the source or a read fails. The
    // pointer stays valid until the next call that does not Hold its range.
    const std::uint8_t* Fetch(std::int64_t offset, std::int64_t count);
    bool Holds(std::int64_t offset, std::int64_t count) const {
        return offset >= blockStart_ && count <= blockStart_ + blockLength_ - offset;
    }
    // The bytes of a range that the block Holds.
    const std::uint8_t* HeldBytes(std::int64_t offset) const {
        return buffer_.data() + (offset - blockStart_);
    }

    bool ReadFailed() const { return readFailed_; }

private:
    bool Load(std::int64_t offset, std::int64_t count);
    bool ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target);

    int fd_ = -1;
    std::int64_t size_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::int64_t blockStart_ = 0;
    std::int64_t blockLength_ = 0;
    bool readFailed_ = false;
};
