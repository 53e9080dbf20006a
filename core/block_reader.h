#pragma once

#include <cstdint>
#include <memory>
#include <string>

class ByteSource;
class ReadAhead;

// A stretch of the source as read.
struct ReadBlock {
    // Left uninitialised: every byte the walk reads is read from the source first.
    std::unique_ptr<std::uint8_t[]> Bytes;
    std::int64_t Start = 0;
    std::int64_t Length = 0;
};

// Reads a source through one block that moves with the walk, for every walk
// over the frames. A move keeps the bytes that the old and the new block
// share, so walking a little back (parts that overlap) or on reads only what
// is missing. Read ahead, the walk only moves on: a second thread reads the
// blocks ahead, and the walk reads the next one itself when it catches up.
class BlockReader {
public:
    static constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
    static constexpr std::int64_t kMaxSpan = 64 << 10;
    struct ReadingAhead {
        std::int64_t From = 0; // where the walk begins
    };

    // Reads on the walk's thread into a block of its own.
    explicit BlockReader(ByteSource& source);
    BlockReader(ByteSource& source, ReadingAhead ahead);
    virtual ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    std::int64_t Size() const { return size_; }
    // The count bytes at offset (count <= kMaxSpan), read if the block lacks
    // them; null when they are not all in the source or a read fails. The
    // pointer stays valid until the next call that does not Hold its range.
    const std::uint8_t* Fetch(std::int64_t offset, std::int64_t count) {
        // Compared without a sum, so that no offset, however far out, overflows.
        if (offset < 0 || count > kMaxSpan || offset > size_ - count)
            return nullptr;
        if (!Holds(offset, count) && !Load(offset, count))
            return nullptr;
        return HeldBytes(offset);
    }
    bool Holds(std::int64_t offset, std::int64_t count) const {
        return offset >= start_ && count <= start_ + length_ - offset;
    }
    // The bytes of a range that the block Holds.
    const std::uint8_t* HeldBytes(std::int64_t offset) const { return bytes_ + (offset - start_); }
    bool ReadFailed() const { return readFailed_; }
    // Why: the source's reason, or empty where the source ended before its size.
    const std::string& ReadError() const { return readError_; }
    // A block's bytes: a small source needs no block of the full size.
    static std::unique_ptr<std::uint8_t[]> BlockBytesFor(std::int64_t size);

protected:
    // Reads into blocks that first is one of, each of BlockBytesFor(source.Size()).
    BlockReader(ByteSource& source, ReadBlock& first);
    ReadBlock* Block() const { return block_; }
    // The block to move into, given the one the walk leaves: by default the
    // same one; null ends the walk.
    virtual ReadBlock* Exchange(ReadBlock* leaving) { return leaving; }

private:
    bool Load(std::int64_t offset, std::int64_t count);
    bool LoadAhead(std::int64_t offset, std::int64_t count);
    bool ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target);
    void Use(ReadBlock* block);
    void View(const std::uint8_t* bytes, std::int64_t start, std::int64_t length);

    ByteSource& source_;
    std::int64_t size_ = 0;
    ReadBlock own_;
    ReadBlock* block_ = nullptr;
    std::unique_ptr<ReadAhead> ahead_;
    std::int64_t room_ = 0; // in front of every block read ahead
    std::unique_ptr<std::uint8_t[]> carried_;
    // The bytes the walk sees, in block_ or in a block read ahead.
    const std::uint8_t* bytes_ = nullptr;
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
    bool readFailed_ = false;
    std::string readError_;
};
