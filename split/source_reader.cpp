#include "split/source_reader.h"

#include "core/byte_source.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::int64_t kAlignment = 4096;

} // namespace

SourceReader::SourceReader(ByteSource& source, SourceRing& ring)
    : source_(source), ring_(ring), size_(source.Size()) {
    // A small source needs no block of the full size.
    const std::int64_t bytes = std::clamp<std::int64_t>(size_, 0, kBlockBytes);
    for (SourceBlock& block : ring_.Blocks())
        block.Bytes =
            std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(bytes));
    block_ = ring_.Acquire();
}

const std::uint8_t* SourceReader::Fetch(std::int64_t offset, std::int64_t count) {
    // Compared without a sum, so that no offset, however far out, overflows.
    if (offset < 0 || count > kMaxSpan || offset > size_ - count)
        return nullptr;
    if (!Holds(offset, count) && !Load(offset, count))
        return nullptr;
    return HeldBytes(offset);
}

void SourceReader::Finish() {
    ring_.Publish(block_);
    ring_.Finish();
}

bool SourceReader::Load(std::int64_t offset, std::int64_t count) {
    const std::int64_t start = offset - offset % kAlignment;
    const std::int64_t length = std::min(kBlockBytes, size_ - start);
    if (offset + count > start + length)
        return false;
    SourceBlock* from = block_;
    SourceBlock* to = from;
    if (!from->Steps.empty()) {
        to = ring_.Acquire();
        if (to == nullptr) {
            cancelled_ = true;
            return false;
        }
    }
    // Keep what the old block and the new one share, then read the rest.
    const std::int64_t keptBegin = std::max(start, from->Start);
    const std::int64_t keptEnd = std::min(start + length, from->Start + from->Length);
    std::int64_t readEnd = start + length;
    if (keptBegin < keptEnd) {
        std::memmove(to->Bytes.get() + (keptBegin - start),
                     from->Bytes.get() + (keptBegin - from->Start),
                     static_cast<std::size_t>(keptEnd - keptBegin));
        readEnd = keptBegin;
    }
    if (to != from)
        ring_.Publish(from);
    block_ = to;
    to->Start = start;
    to->Length = 0;
    bool ok = ReadInto(start, readEnd - start, to->Bytes.get());
    if (ok && keptBegin < keptEnd)
        ok = ReadInto(keptEnd, start + length - keptEnd, to->Bytes.get() + (keptEnd - start));
    if (!ok)
        return false;
    to->Length = length;
    return true;
}

bool SourceReader::ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target) {
    if (count <= 0)
        return true;
    const Result<std::int64_t> got = source_.ReadAt(offset, count, target);
    if (!got || got.Value() != count) {
        readFailed_ = true;
        return false;
    }
    return true;
}
