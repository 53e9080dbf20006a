#include "split/source_reader.h"

#include "core/byte_source.h"

namespace {

// Sizes the ring's blocks for the source and takes the first.
ReadBlock& FirstBlock(SourceRing& ring, std::int64_t size) {
    for (SourceBlock& block : ring.Blocks())
        block.Bytes = BlockReader::BlockBytesFor(size);
    return *ring.Acquire();
}

} // namespace

SourceReader::SourceReader(ByteSource& source, SourceRing& ring)
    : BlockReader(source, FirstBlock(ring, source.Size())), ring_(ring) {}

void SourceReader::Finish() {
    ring_.Publish(&Current());
    ring_.Finish();
}

// The writer only reads a block handed on, and only the walk takes free ones:
// the walk may still copy from the block it leaves.
ReadBlock* SourceReader::Exchange(ReadBlock* leaving) {
    auto* from = static_cast<SourceBlock*>(leaving);
    if (from->Steps.empty())
        return from;
    SourceBlock* to = ring_.Acquire();
    if (to == nullptr) {
        cancelled_ = true;
        return nullptr;
    }
    ring_.Publish(from);
    return to;
}
