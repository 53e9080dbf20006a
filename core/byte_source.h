#pragma once

#include "core/engine_error.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The bytes of a source, read by offset. The walks read through this, so a
// test or a fuzz target can hand them bytes from memory instead of a file.
// One thread at a time may read.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t Size() const = 0;
    // Reads up to count bytes at offset into target. Returns the count read,
    // less than asked only where the source ends, or a Read error whose text
    // is the reason.
    virtual Result<std::int64_t> ReadAt(std::int64_t offset, std::int64_t count,
                                        std::uint8_t* target) = 0;
};

// A regular file, opened once: every read goes through that descriptor.
class FileSource : public ByteSource {
public:
    FileSource() = default;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override;

    // Opens path for reading; on failure an Open error whose text is the reason.
    Result<void> Open(const std::string& path);
    std::int64_t Size() const override { return size_; }
    Result<std::int64_t> ReadAt(std::int64_t offset, std::int64_t count,
                                std::uint8_t* target) override;

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    Result<std::int64_t> ReadAt(std::int64_t offset, std::int64_t count,
                                std::uint8_t* target) override;

private:
    std::vector<std::uint8_t> bytes_;
};
