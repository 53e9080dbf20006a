#pragma once

#include "core/block_reader.h"
#include "split/write_step.h"

#include <cstdint>

// The split's reader: a block that holds steps for the writer is handed on
// through the ring when the walk moves past it, and the walk goes on in a
// free one; a block without steps is reused at once. Blocks are small enough
// to stay in the processor's cache between being read, walked and written out.
class SourceReader : public BlockReader {
public:
    // Takes its first block from the ring, whose blocks it sizes for the source.
    SourceReader(ByteSource& source, SourceRing& ring);

    // The writer has stopped taking blocks: the walk is to end. Fetch gives
    // null once a move finds the ring cancelled.
    bool Cancelled() const { return cancelled_; }
    // The block the walk is in: steps added to it reach the writer with it.
    SourceBlock& Current() { return static_cast<SourceBlock&>(*Block()); }
    // Hands the current block on as the last one.
    void Finish();

private:
    ReadBlock* Exchange(ReadBlock* leaving) override;

    SourceRing& ring_;
    bool cancelled_ = false;
};
