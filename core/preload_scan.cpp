#include "core/preload_scan.h"

#include "core/audio_info.h"
#include "core/byte_source.h"
#include "core/frame_checkpoints.h"
#include "core/frame_walk.h"

#include <algorithm>

namespace {

constexpr std::int64_t kHeaderBytes = 4;
constexpr std::int64_t kProgressBytes = 1 << 20;

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
    bool Frame(const WalkFrame& frame) {
        if (!skipInformationFrame_ && point_.FrameIndex % FrameCheckpoints::kStride == 0) {
            into_.Keep(point_);
            if (stop_ && stop_())
                return false;
        }
        point_.Position = frame.Offset;
        if (skipInformationFrame_)
            point_.Position += frame.Length;
        else
            PassFrame(point_, frame.Length, frame.DurationMs);
        skipInformationFrame_ = false;
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

// The walk's count: every frame up to the counting end, the bytes passed on
// the way that start no frame as errors.
Result<ScanResult> WalkFrames(const ScanSource& source, ByteSource& bytes,
                              const ScanProgress& progress, CheckpointKeeper* keeper = nullptr) {
    const std::int64_t size = bytes.Size();
    const std::int64_t maximum = size - source.Format.FirstFrameOffset - 128;
    FrameWalk walk;
    walk.OpenForScan(source, bytes);
    ScanResult result;
    WalkPoint at = walk.Start();
    std::int64_t reached = at.Position;
    std::int64_t nextReport = 0;
    while (const std::optional<WalkFrame> frame = walk.Next(at)) {
        reached = frame->Offset;
        if (!frame->Counted)
            break;
        if (progress && reached >= nextReport) {
            progress(reached, maximum);
            nextReport = reached + kProgressBytes;
        }
        if (keeper != nullptr && !keeper->Frame(*frame))
            return Error{ErrorCategory::Stopped, frame->Offset,
                         source.Path + ": the walk was stopped"};
        reached = at.Position;
        result.DurationMsExact = at.ElapsedMs;
        ++result.FrameCount;
    }
    result.ErrorCount = walk.Skipped();

    if (keeper != nullptr)
        keeper->End();
    // The first header is read wherever it lies.
    if (walk.Reader().ReadFailed() || size - source.Format.FirstFrameOffset < kHeaderBytes) {
        const std::string& reason = walk.Reader().ReadError();
        return Error{ErrorCategory::Read, at.Position,
                     source.Path + ": " +
                         (reason.empty() ? "the file ended before the last frame header" : reason)};
    }
    if (source.Format.HasInfoFrame)
        --result.FrameCount;
    if (progress)
        progress(std::min(reached, size), maximum);
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
    FileSource file;
    if (const Result<void> opened = file.Open(source.Path); !opened)
        return Error{ErrorCategory::Open, -1, source.Path + ": " + opened.Failure().Text};
    return PreloadScan(source, file, progress);
}

Result<ScanResult> PreloadScan(const ScanSource& source, ByteSource& bytes,
                               const ScanProgress& progress) {
    if (Result<void> placed = FirstFrameInside(source, bytes); !placed)
        return placed.Failure();
    return WalkFrames(source, bytes, progress);
}

Result<ScanResult> PreloadScan(const ScanSource& source, const ScanProgress& progress,
                               FrameCheckpoints& checkpoints, const std::function<bool()>& stop) {
    FileSource file;
    if (const Result<void> opened = file.Open(source.Path); !opened)
        return Error{ErrorCategory::Open, -1, source.Path + ": " + opened.Failure().Text};
    if (Result<void> placed = FirstFrameInside(source, file); !placed)
        return placed.Failure();
    CheckpointKeeper keeper(checkpoints, stop, source.Format);
    return WalkFrames(source, file, progress, &keeper);
}
