#include "core/preload_scan.h"

#include "core/audio_info.h"
#include "core/byte_source.h"
#include "core/frame_checkpoints.h"
#include "core/frame_rule.h"
#include "core/frame_step.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Blocks large enough that the two threads seldom hand over, small enough that
// the ring stays in the processor's cache; measured on a ten-hour file.
constexpr std::int64_t kBlockBytes = 512 << 10;
constexpr std::int64_t kBlocks = 8;
constexpr std::int64_t kHeaderBytes = 4;
constexpr std::int64_t kProgressBytes = 1 << 20;
// A visitor sees at most this much of a frame's head: far less than a block.
constexpr std::int64_t kMaxLookAhead = 4096;

// A stretch of the source as read ahead. It begins with the last bytes of the
// stretch before (three, or as many as a visitor looks at less one), so the
// head of a frame that crosses the border is whole in it.
struct ScanBlock {
    std::unique_ptr<std::uint8_t[]> Bytes; // not zero-filled: every byte walked is read first
    std::int64_t Start = 0;                // the source offset of Bytes[0]
    std::int64_t End = 0;
    std::string ReadError;   // the read failed; the block ends where it did
    std::int64_t Index = -1; // which block of the source it holds, once read
};

// Reads the source from an offset to its end in blocks, on a thread of its own
// while the walk goes through the blocks already read. Reading is the slower
// half, so when the walk catches up it reads the next unclaimed block itself
// rather than wait: the two threads share the reading and the walk. A fixed
// ring of blocks keeps memory flat and holds back a reader that runs ahead.
class ReadAhead {
public:
    ReadAhead(ByteSource& source, std::int64_t from, std::int64_t carry)
        : source_(source), from_(from), carry_(carry), size_(source.Size()) {
        const std::int64_t span = std::max<std::int64_t>(size_ - from, 0);
        blockCount_ = std::max<std::int64_t>((span + kBlockBytes - 1) / kBlockBytes, 1);
        for (ScanBlock& block : blocks_)
            block.Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(
                static_cast<std::size_t>(std::min(span, kBlockBytes) + carry));
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
    const ScanBlock* Next() {
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
    ScanBlock& SlotOf(std::int64_t index) {
        return blocks_[static_cast<std::size_t>(index % kBlocks)];
    }
    std::int64_t BlockEnd(std::int64_t index) const { return from_ + (index + 1) * kBlockBytes; }

    // Reads block index into its slot with the lock let go meanwhile.
    void ReadBlock(std::unique_lock<std::mutex>& lock, std::int64_t index) {
        ScanBlock& block = SlotOf(index);
        lock.unlock();
        const std::int64_t start = from_ + index * kBlockBytes;
        block.Start = index == 0 ? start : start - carry_;
        block.ReadError.clear();
        // No further than the size the walk goes by, even if the file grows.
        const std::int64_t wanted =
            std::max<std::int64_t>(std::min(size_, BlockEnd(index)) - block.Start, 0);
        const Result<std::int64_t> got = source_.ReadAt(block.Start, wanted, block.Bytes.get());
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
    std::int64_t carry_;
    std::int64_t size_;
    std::int64_t blockCount_ = 1;
    std::array<ScanBlock, kBlocks> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t nextRead_ = 0; // the first block nobody has begun to read
    std::int64_t walked_ = 0;   // the block the walk holds or waits for
    bool cancelled_ = false;
    ScanBlock* current_ = nullptr;
    std::jthread thread_; // last: joined before the rest goes
};

// The walk's view of the source: the block that holds the header it looks at.
class ScanWindow {
public:
    ScanWindow(ByteSource& source, std::int64_t from, std::int64_t wanted, const std::string& path,
               const ScanProgress& progress, std::int64_t maximum)
        : blocks_(source, from, wanted - 1), size_(source.Size()), wanted_(wanted), path_(path),
          progress_(progress), maximum_(maximum) {}

    // The header at position, moving on through the blocks until one holds
    // it and the wanted bytes after it, where the source holds them; nullptr
    // when the source cannot give them, with Failure set.
    const std::uint8_t* Header(std::int64_t position) {
        while (block_ == nullptr || position + kHeaderBytes > block_->End ||
               (position + wanted_ > block_->End && block_->End < size_)) {
            const ScanBlock* next = blocks_.Next();
            if (next == nullptr)
                return Fail(position, "the file ended before the last frame header");
            if (!next->ReadError.empty())
                return Fail(position, next->ReadError);
            block_ = next;
            ReportProgress(std::max(position, block_->Start));
        }
        return block_->Bytes.get() + (position - block_->Start);
    }
    bool Failed() const { return failure_.has_value(); }
    const Error& Failure() const { return *failure_; }
    // How many of the wanted bytes from position the block holds.
    std::int64_t Held(std::int64_t position) const {
        return std::min(wanted_, block_->End - position);
    }

    // A frame starts only at a 0xFF: from position (which holds none) the walk
    // would reject byte after byte up to the next one. Returns that position,
    // the end of the block, or the one after lastTried, whichever comes first.
    std::int64_t NextPossibleFrame(std::int64_t position, std::int64_t lastTried) const {
        const std::int64_t stop = std::min(block_->End, std::max(position, lastTried) + 1);
        const std::uint8_t* from = block_->Bytes.get() + (position - block_->Start);
        const void* found = std::memchr(from, 0xFF, static_cast<std::size_t>(stop - position));
        return found == nullptr ? stop
                                : position + (static_cast<const std::uint8_t*>(found) - from);
    }

private:
    const std::uint8_t* Fail(std::int64_t position, const std::string& reason) {
        failure_ = Error{ErrorCategory::Read, position, path_ + ": " + reason};
        return nullptr;
    }

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
    std::optional<Error> failure_;
};

// Keeps the walk's state before every kStride-th audio frame, as the split's
// walk would stand there: its time runs from the first audio frame, the
// information frame left out.
class CheckpointKeeper {
public:
    CheckpointKeeper(FrameCheckpoints& into, const std::function<bool()>& stop,
                     const SourceFormat& format)
        : into_(into), stop_(stop), skipInformationFrame_(format.HasInfoFrame) {
        point_.Position = format.FirstFrameOffset;
    }

    // Sees every accepted frame with its duration; false when the walk is to stop.
    bool Frame(std::int64_t offset, std::int32_t length, long double durationMs) {
        if (skipInformationFrame_) {
            skipInformationFrame_ = false;
            point_.Position = offset + length;
            return true;
        }
        if (point_.FrameIndex % FrameCheckpoints::kStride == 0) {
            into_.Keep(point_);
            if (stop_ && stop_())
                return false;
        }
        point_.Position = offset + length;
        ++point_.FrameIndex;
        point_.ElapsedMs =
            static_cast<double>(static_cast<long double>(point_.ElapsedMs) + durationMs);
        return true;
    }
    // A walk that met no audio frame still has its start.
    void End() {
        if (point_.FrameIndex == 0)
            into_.Keep(point_);
    }

private:
    FrameCheckpoints& into_;
    const std::function<bool()>& stop_;
    bool skipInformationFrame_;
    WalkPoint point_;
};

Result<ScanResult> WalkFrames(const ScanSource& source, ByteSource& bytes,
                              const ScanProgress& progress, const FrameVisitor& visitor,
                              std::size_t lookAhead, CheckpointKeeper* keeper = nullptr) {
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

    // Nearer the end than that, the walk goes on only through frames that lie
    // wholly in the file, one after another: a short last frame still counts.
    const auto wholeFrameAt = [&](std::int64_t position) {
        if (size - position < kHeaderBytes)
            return false;
        const std::uint8_t* header = window.Header(position);
        if (header == nullptr)
            return false;
        const FrameCandidate frame =
            EvaluateFrame(header, source.Format.VersionId, source.Format.Layer);
        return frame.Accepted && frame.Length <= size - position;
    };

    ScanResult result;
    RememberedRule rule(source.Format.VersionId, source.Format.Layer);
    std::int64_t position = source.Format.FirstFrameOffset;
    do {
        const std::uint8_t* header = window.Header(position);
        if (header == nullptr)
            break;
        if (header[0] != 0xFF) {
            const std::int64_t next = window.NextPossibleFrame(position, size - minimumRemaining);
            result.ErrorCount += next - position;
            position = next;
            continue;
        }
        const FrameCandidate& frame = rule.Evaluate(header);
        if (frame.Accepted) {
            if (visitor &&
                !visitor(position, {header, static_cast<std::size_t>(window.Held(position))}))
                break;
            const long double durationMs = FrameDurationMs(frame.Length, frame.BitrateBps);
            if (keeper != nullptr && !keeper->Frame(position, frame.Length, durationMs))
                return Error{ErrorCategory::Stopped, position,
                             source.Path + ": the walk was stopped"};
            position += frame.Length;
            result.DurationMsExact =
                static_cast<double>(static_cast<long double>(result.DurationMsExact) + durationMs);
            ++result.FrameCount;
        } else {
            ++position;
            ++result.ErrorCount;
        }
    } while (size - position >= minimumRemaining || wholeFrameAt(position));

    if (keeper != nullptr)
        keeper->End();
    if (window.Failed())
        return window.Failure();
    if (source.Format.HasInfoFrame)
        --result.FrameCount;
    if (progress)
        progress(position, maximum);
    return result;
}

Result<void> FirstFrameInside(const ScanSource& source, const ByteSource& bytes) {
    if (source.Format.FirstFrameOffset < 0 || source.Format.FirstFrameOffset > bytes.Size())
        return Error{ErrorCategory::Format, source.Format.FirstFrameOffset,
                     source.Path + ": the first frame lies outside the file"};
    return {};
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
    if (const Result<void> opened = file.Open(source.Path); !opened)
        return Error{ErrorCategory::Open, -1, source.Path + ": " + opened.Failure().Text};
    return PreloadScan(source, file, progress, visitor, lookAhead);
}

Result<ScanResult> PreloadScan(const ScanSource& source, ByteSource& bytes,
                               const ScanProgress& progress, const FrameVisitor& visitor,
                               std::size_t lookAhead) {
    if (Result<void> placed = FirstFrameInside(source, bytes); !placed)
        return placed.Failure();
    return WalkFrames(source, bytes, progress, visitor, lookAhead);
}

Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress,
                               FrameCheckpoints& checkpoints, const std::function<bool()>& stop) {
    FileSource file;
    if (const Result<void> opened = file.Open(source.Path); !opened)
        return Error{ErrorCategory::Open, -1, source.Path + ": " + opened.Failure().Text};
    if (Result<void> placed = FirstFrameInside(source, file); !placed)
        return placed.Failure();
    CheckpointKeeper keeper(checkpoints, stop, source.Format);
    return WalkFrames(source, file, progress, {}, kHeaderBytes, &keeper);
}
