#pragma once

#include "split/write_step.h"

#include <cstdint>

class ByteSource;

// Reads a source through one block that moves with the walk. A move keeps
// the bytes that the old and the new block share, so walking a little back
// (parts that overlap) or on reads only what is missing. A block that holds
// steps for the writer is handed on through the ring when the walk moves
// past it, and the walk goes on in a free one; a block without steps is
// reused at once. Blocks are small enough to stay in the processor's cache
// between being read, walked and written out.
class SourceReader {
public:
    static constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
    static constexpr std::int64_t kMaxSpan = 64 << 10;

    // Takes its first block from the ring, whose blocks it sizes for the source.
    SourceReader(ByteSource& source, SourceRing& ring);
    std::int64_t Size() const { return size_; }

    // The count bytes at offset (count <= kMaxSpan), read if the block lacks
    // them; null when they are not all in the source or a read fails. The
    // pointer stays valid until the next call that does not Hold its range.
    // Null too once a move finds the ring cancelled: see Cancelled.
    const std::uint8_t* Fetch(std::int64_t offset, std::int64_t count);
    bool Holds(std::int64_t offset, std::int64_t count) const {
        return offset >= block_->Start && count <= block_->Start + block_->Length - offset;
    }
    // The bytes of a range that the block Holds.
    const std::uint8_t* HeldBytes(std::int64_t offset) const {
        return block_->Bytes.get() + (offset - block_->Start);
    }
    bool ReadFailed() const { return readFailed_; }
    // The writer has stopped taking blocks: the walk is to end.
    bool Cancelled() const { return cancelled_; }

    // The block the walk is in: steps added to it reach the writer with it.
    SourceBlock& Current() { return *block_; }
    // Hands the current block on as the last one.
    void Finish();

private:
    bool Load(std::int64_t offset, std::int64_t count);
    bool ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target);

    ByteSource& source_;
    SourceRing& ring_;
    SourceBlock* block_ = nullptr;
    std::int64_t size_ = 0;
    bool readFailed_ = false;
    bool cancelled_ = false;
};
