#include "core/block_reader.h"

#include "core/byte_source.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr std::int64_t kAlignment = 4096;

} // namespace

// Reads the source from an offset to its end in blocks, on a thread of its own
// while the walk goes through the blocks already read. Reading is the slower
// half, so when the walk catches up it reads the next unclaimed block itself
// rather than wait: the two threads share the reading and the walk. A fixed
// ring of blocks keeps memory flat and holds back a reader that runs ahead.
class ReadAhead {
public:
    // Blocks large enough that the two threads seldom hand over, small enough
    // that the ring stays in the processor's cache; measured on a ten-hour file.
    static constexpr std::int64_t kBlockBytes = 512 << 10;

    // A block of the source, read after room for the bytes that the walk
    // carries over from the block before.
    struct Block {
        std::unique_ptr<std::uint8_t[]> Bytes;
        std::int64_t Start = 0; // the source offset of Bytes[Room]
        std::int64_t End = 0;
        std::string ReadError;   // the read failed; the block ends where it did
        std::int64_t Index = -1; // which block of the source it holds, once read
    };

    ReadAhead(ByteSource& source, std::int64_t from, std::int64_t room)
        : source_(source), from_(from), room_(room), size_(source.Size()) {
        const std::int64_t span = std::max<std::int64_t>(size_ - from, 0);
        blockCount_ = std::max<std::int64_t>((span + kBlockBytes - 1) / kBlockBytes, 1);
        for (Block& block : blocks_)
            block.Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(
                static_cast<std::size_t>(room + std::min(span, kBlockBytes)));
        if (blockCount_ > 1)
            thread_ = std::jthread([this] { ReadAll(); });
    }
    ~ReadAhead() {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
    }

    // The block after the last one taken, the one before given back; null at the end.
    const Block* Next() {
        std::unique_lock lock(mutex_);
        if (current_ != nullptr) {
            ++walked_;
            current_ = nullptr;
            changed_.notify_all();
        }
        if (walked_ >= blockCount_)
            return nullptr;
        for (int patience = kPatience; SlotOf(walked_).Index != walked_;) {
            if (Claimable())
                ReadBlock(lock, nextRead_++);
            else if (patience-- > 0)
                Yield(lock);
            else
                changed_.wait(lock, [this] { return SlotOf(walked_).Index == walked_; });
        }
        current_ = &SlotOf(walked_);
        // A block cut short by the source's end ends the walk's blocks there.
        if (current_->End < std::min(size_, BlockEnd(walked_)))
            blockCount_ = walked_ + 1;
        return current_;
    }

private:
    static constexpr std::int64_t kBlocks = 8;
    static constexpr int kPatience = 256;

    void ReadAll() {
        std::unique_lock lock(mutex_);
        while (true) {
            changed_.wait(lock, [this] { return cancelled_ || Claimable() || Done(); });
            if (cancelled_ || Done())
                return;
            ReadBlock(lock, nextRead_++);
        }
    }

    bool Done() const { return nextRead_ >= blockCount_; }
    // The next block is still to read and its slot in the ring is free.
    bool Claimable() const { return !Done() && nextRead_ < walked_ + kBlocks; }
    Block& SlotOf(std::int64_t index) { return blocks_[static_cast<std::size_t>(index % kBlocks)]; }
    std::int64_t BlockEnd(std::int64_t index) const { return from_ + (index + 1) * kBlockBytes; }

    // Reads block index into its slot with the lock let go meanwhile.
    void ReadBlock(std::unique_lock<std::mutex>& lock, std::int64_t index) {
        Block& block = SlotOf(index);
        lock.unlock();
        block.Start = from_ + index * kBlockBytes;
        block.ReadError.clear();
        // No further than the size the walk goes by, even if the file grows.
        const std::int64_t wanted =
            std::max<std::int64_t>(std::min(size_, BlockEnd(index)) - block.Start, 0);
        const Result<std::int64_t> got =
            source_.ReadAt(block.Start, wanted, block.Bytes.get() + room_);
        if (!got)
            block.ReadError = got.Failure().Text;
        block.End = block.Start + (got ? got.Value() : 0);
        lock.lock();
        block.Index = index;
        changed_.notify_all();
    }

    void Yield(std::unique_lock<std::mutex>& lock) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }

    ByteSource& source_;
    std::int64_t from_;
    std::int64_t room_;
    std::int64_t size_;
    std::int64_t blockCount_ = 1;
    std::array<Block, kBlocks> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t nextRead_ = 0; // the first block nobody has begun to read
    std::int64_t walked_ = 0;   // the block the walk holds or waits for
    bool cancelled_ = false;
    Block* current_ = nullptr;
    std::jthread thread_; // last: joined before the rest goes
};

BlockReader::BlockReader(ByteSource& source) : source_(source), size_(source.Size()) {
    own_.Bytes = BlockBytesFor(size_);
    Use(&own_);
}

BlockReader::BlockReader(ByteSource& source, ReadBlock& first)
    : source_(source), size_(source.Size()) {
    Use(&first);
}

// A span the walk asks for never reaches further back than the source's first
// kMaxSpan bytes from where it begins: so much room carries it across a border.
BlockReader::BlockReader(ByteSource& source, ReadingAhead ahead)
    : source_(source), size_(source.Size()) {
    room_ = std::clamp<std::int64_t>(size_ - ahead.From, 0, kMaxSpan);
    carried_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(room_));
    ahead_ = std::make_unique<ReadAhead>(source, ahead.From, room_);
    start_ = ahead.From;
}

BlockReader::~BlockReader() = default;

std::unique_ptr<std::uint8_t[]> BlockReader::BlockBytesFor(std::int64_t size) {
    return std::make_unique_for_overwrite<std::uint8_t[]>(
        static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kBlockBytes)));
}

void BlockReader::Use(ReadBlock* block) {
    block_ = block;
    View(block->Bytes.get(), block->Start, block->Length);
}

void BlockReader::View(const std::uint8_t* bytes, std::int64_t start, std::int64_t length) {
    bytes_ = bytes;
    start_ = start;
    length_ = length;
}

bool BlockReader::Load(std::int64_t offset, std::int64_t count) {
    if (ahead_)
        return LoadAhead(offset, count);
    const std::int64_t start = offset - offset % kAlignment;
    const std::int64_t length = std::min(kBlockBytes, size_ - start);
    if (offset + count > start + length)
        return false;
    ReadBlock* from = block_;
    ReadBlock* to = Exchange(from);
    if (to == nullptr)
        return false;
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
    to->Start = start;
    to->Length = 0;
    Use(to);
    bool ok = ReadInto(start, readEnd - start, to->Bytes.get());
    if (ok && keptBegin < keptEnd)
        ok = ReadInto(keptEnd, start + length - keptEnd, to->Bytes.get() + (keptEnd - start));
    if (!ok)
        return false;
    to->Length = length;
    Use(to);
    return true;
}

// The walk only moves on: the bytes from offset that the block holds are
// carried in front of the next block, whose own bytes the other thread may
// have read already.
bool BlockReader::LoadAhead(std::int64_t offset, std::int64_t count) {
    if (readFailed_ || offset < start_)
        return false;
    while (!Holds(offset, count)) {
        const std::int64_t carry = std::max<std::int64_t>(start_ + length_ - offset, 0);
        if (carry > 0)
            std::memcpy(carried_.get(), HeldBytes(offset), static_cast<std::size_t>(carry));
        // The block held is given back here.
        const ReadAhead::Block* next = ahead_->Next();
        if (next == nullptr || !next->ReadError.empty()) {
            readFailed_ = true;
            readError_ = next == nullptr ? std::string() : next->ReadError;
            View(nullptr, start_, 0);
            return false;
        }
        std::uint8_t* first = next->Bytes.get() + (room_ - carry);
        if (carry > 0)
            std::memcpy(first, carried_.get(), static_cast<std::size_t>(carry));
        View(first, next->Start - carry, next->End - next->Start + carry);
    }
    return true;
}

bool BlockReader::ReadInto(std::int64_t offset, std::int64_t count, std::uint8_t* target) {
    if (count <= 0)
        return true;
    const Result<std::int64_t> got = source_.ReadAt(offset, count, target);
    if (!got || got.Value() != count) {
        readFailed_ = true;
        readError_ = got ? std::string() : got.Failure().Text;
        return false;
    }
    return true;
}
