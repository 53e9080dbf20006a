#include "core/preload_scan.h"

#include "core/audio_info.h"
#include "core/block_ring.h"
#include "core/byte_source.h"
#include "core/frame_rule.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Blocks small enough to stay in the processor's cache between being read on
// one thread and walked on the other; enough of them that the reader seldom waits.
constexpr std::int64_t kBlockBytes = 256 << 10;
constexpr std::size_t kBlocks = 8;
constexpr std::int64_t kHeaderBytes = 4;
constexpr std::int64_t kProgressBytes = 1 << 20;
// A visitor sees at most this much of a frame's head: far less than a block.
constexpr std::int64_t kMaxLookAhead = 4096;

// Ends a walk deep in its blocks; the scan returns the error it carries.
struct ScanFailure {
    Error Problem;
};

// A stretch of the source as read ahead. It begins with the last bytes of the
// stretch before (three, or as many as a visitor looks at less one), so the
// head of a frame that crosses the border is whole in it.
struct ScanBlock {
    std::vector<std::uint8_t> Bytes;
    std::int64_t Start = 0; // the source offset of Bytes[0]
    std::int64_t End = 0;
    std::string Error; // the read failed; the block ends where it did
};

// Reads the source from an offset to its end into a ring of blocks, on a
// thread of its own while the walk goes through the blocks already read. A
// source that one block holds is read at once, without a thread.
class ReadAhead {
public:
    ReadAhead(ByteSource& source, std::int64_t from, std::int64_t carry)
        : source_(source), from_(from), carry_(carry) {
        const std::int64_t span = std::max<std::int64_t>(source.Size() - from, 0);
        const std::int64_t bytes = std::min(span, kBlockBytes) + carry;
        for (ScanBlock& block : ring_.Blocks())
            block.Bytes.resize(static_cast<std::size_t>(bytes));
        if (span <= kBlockBytes)
            ReadAll();
        else
            thread_ = std::jthread([this] { ReadAll(); });
    }
    ~ReadAhead() { ring_.Cancel(); }

    // The block after the last one taken, the one before given back; null at the end.
    const ScanBlock* Next() {
        if (current_ != nullptr)
            ring_.Release(current_);
        current_ = ring_.Next();
        return current_;
    }

private:
    void ReadAll() {
        std::int64_t offset = from_;
        std::vector<std::uint8_t> carry(static_cast<std::size_t>(carry_));
        std::int64_t carried = 0;
        bool more = true;
        while (more) {
            ScanBlock* block = ring_.Acquire();
            if (block == nullptr)
                return;
            std::memcpy(block->Bytes.data(), carry.data(), static_cast<std::size_t>(carried));
            // No further than the size the walk goes by, even if the file grows.
            const std::int64_t wanted = std::min(
                static_cast<std::int64_t>(block->Bytes.size()) - carried, source_.Size() - offset);
            const std::int64_t got =
                source_.ReadAt(offset, wanted, block->Bytes.data() + carried, block->Error);
            block->Start = offset - carried;
            block->End = offset + std::max<std::int64_t>(got, 0);
            more = got == wanted && block->End < source_.Size();
            offset = block->End;
            carried = std::min(carry_, block->End - block->Start);
            std::memcpy(carry.data(), block->Bytes.data() + (block->End - block->Start - carried),
                        static_cast<std::size_t>(carried));
            ring_.Publish(block);
        }
        ring_.Finish();
    }

    ByteSource& source_;
    std::int64_t from_;
    std::int64_t carry_;
    BlockRing<ScanBlock> ring_{kBlocks};
    ScanBlock* current_ = nullptr;
    std::jthread thread_; // last: joined before the ring goes
};

// The walk's view of the source: the block that holds the header it looks at.
class ScanWindow {
public:
    ScanWindow(ByteSource& source, std::int64_t from, std::int64_t wanted, const std::string& path,
               const ScanProgress& progress, std::int64_t maximum)
        : blocks_(source, from, wanted - 1), size_(source.Size()), wanted_(wanted), path_(path),
          progress_(progress), maximum_(maximum) {}

    // The header at position, moving on through the blocks until one holds
    // it and the wanted bytes after it, where the source holds them.
    const std::uint8_t* Header(std::int64_t position) {
        while (block_ == nullptr || position + kHeaderBytes > block_->End ||
               (position + wanted_ > block_->End && block_->End < size_)) {
            block_ = blocks_.Next();
            if (block_ == nullptr)
                Fail(position, "the file ended before the last frame header");
            if (!block_->Error.empty())
                Fail(position, block_->Error);
            ReportProgress(std::max(position, block_->Start));
        }
        return block_->Bytes.data() + (position - block_->Start);
    }
    // How many of the wanted bytes from position the block holds.
    std::int64_t Held(std::int64_t position) const {
        return std::min(wanted_, block_->End - position);
    }

    // A frame starts only at a 0xFF: from position (which holds none) the walk
    // would reject byte after byte up to the next one. Returns that position,
    // the end of the block, or the one after lastTried, whichever comes first.
    std::int64_t NextPossibleFrame(std::int64_t position, std::int64_t lastTried) const {
        const std::int64_t stop = std::min(block_->End, std::max(position, lastTried) + 1);
        const std::uint8_t* from = block_->Bytes.data() + (position - block_->Start);
        const void* found = std::memchr(from, 0xFF, static_cast<std::size_t>(stop - position));
        return found == nullptr ? stop
                                : position + (static_cast<const std::uint8_t*>(found) - from);
    }

    [[noreturn]] void Fail(std::int64_t position, const std::string& reason) const {
        throw ScanFailure{Error{ErrorCategory::Read, position, path_ + ": " + reason}};
    }

private:
    void ReportProgress(std::int64_t position) {
        if (!progress_ || position < nextReport_)
            return;
        progress_(position, maximum_);
        nextReport_ = position + kProgressBytes;
    }

    ReadAhead blocks_;
    const ScanBlock* block_ = nullptr;
    std::int64_t size_;
    std::int64_t wanted_;
    const std::string& path_;
    const ScanProgress& progress_;
    std::int64_t maximum_;
    std::int64_t nextReport_ = 0;
};

ScanResult WalkFrames(const ScanSource& source, ByteSource& bytes, const ScanProgress& progress,
                      const FrameVisitor& visitor, std::size_t lookAhead) {
    const std::int64_t size = bytes.Size();
    const std::int64_t maximum = size - source.Format.FirstFrameOffset - 128;
    // The walk goes on while a first frame's length of bytes remains; at
    // least a header's worth, so a zero or negative length cannot loop on.
    const std::int64_t minimumRemaining =
        std::max<std::int64_t>(source.Format.FirstFrameBytes, kHeaderBytes);
    const std::int64_t wanted =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(lookAhead), kHeaderBytes, kMaxLookAhead);
    ScanWindow window(bytes, source.Format.FirstFrameOffset, wanted, source.Path, progress,
                      maximum);

    ScanResult result;
    std::int64_t position = source.Format.FirstFrameOffset;
    do {
        const std::uint8_t* header = window.Header(position);
        if (header[0] != 0xFF) {
            const std::int64_t next = window.NextPossibleFrame(position, size - minimumRemaining);
            result.ErrorCount += next - position;
            position = next;
            continue;
        }
        const FrameCandidate frame =
            EvaluateFrame(header, source.Format.VersionId, source.Format.Layer);
        if (frame.Accepted) {
            if (visitor &&
                !visitor(position, {header, static_cast<std::size_t>(window.Held(position))}))
                break;
            position += frame.Length;
            result.DurationMsExact =
                AddFrameDuration(result.DurationMsExact, frame.Length, frame.BitrateBps);
            ++result.FrameCount;
        } else {
            ++position;
            ++result.ErrorCount;
        }
    } while (size - position >= minimumRemaining);

    if (source.Format.HasInfoFrame)
        --result.FrameCount;
    if (progress)
        progress(position, maximum);
    return result;
}

} // namespace

ScanSource ScanSource::From(const std::string& path, const TAudioInfo& info) {
    return ScanSource{path, SourceFormat::Of(info)};
}

Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress) {
    return PreloadScan(source, progress, {}, kHeaderBytes);
}

Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress,
                               const FrameVisitor& visitor, std::size_t lookAhead) {
    FileSource file;
    std::string reason;
    if (!file.Open(source.Path, reason))
        return Error{ErrorCategory::Open, -1, source.Path + ": " + reason};
    return PreloadScan(source, file, progress, visitor, lookAhead);
}

Result<ScanResult> PreloadScan(const ScanSource& source, ByteSource& bytes,
                               const ScanProgress& progress, const FrameVisitor& visitor,
                               std::size_t lookAhead) {
    const std::int64_t size = bytes.Size();
    if (source.Format.FirstFrameOffset < 0 || source.Format.FirstFrameOffset > size)
        return Error{ErrorCategory::Format, source.Format.FirstFrameOffset,
                     source.Path + ": the first frame lies outside the file"};
    try {
        return WalkFrames(source, bytes, progress, visitor, lookAhead);
    } catch (const ScanFailure& failure) {
        return failure.Problem;
    }
}
