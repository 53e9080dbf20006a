#include "media/source_loudness.h"

#include "media/range_decoder.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

namespace {

// The levels are decoded in pieces of this many checkpoints' strides (1024
// frames, some 27 s), shared among threads in the order of the file, so the
// overview fills from the start. Each piece's decoder settles on the stride
// before it: decoding starts on a checkpoint, a whole number of 8 granules
// from the first frame, and 64 frames reach back past any bit reservoir.
constexpr std::size_t kPieceStrides = 16;
// How often the levels so far are handed on.
constexpr auto kSoFarEvery = std::chrono::milliseconds(250);

class OverviewMeasure {
public:
    OverviewMeasure(SourceWalk& walk, LoudnessOverview& overview, const std::function<bool()>& stop,
                    const LoudnessSoFar& soFar)
        : source_(walk.Source()), checkpoints_(walk.Checkpoints().All()), overview_(overview),
          stop_(stop), soFar_(soFar),
          done_((checkpoints_.size() + kPieceStrides - 1) / kPieceStrides, false) {}

    std::string Run() {
        overview_.Levels.assign(static_cast<std::size_t>(overview_.FrameCount), 0);
        stopped_ = stop_ && stop_();
        lastSoFar_ = std::chrono::steady_clock::now();
        std::string error = DecodeOnThreads(
            source_.Path, source_.Format.FirstFrameOffset, done_.size(),
            [this](RangeDecoder& decoder, std::size_t piece, bool callingThread) {
                return MeasurePiece(decoder, piece, callingThread);
            },
            stopped_);
        overview_.MeasuredFrames = MeasuredFrames();
        return error;
    }

private:
    std::string MeasurePiece(RangeDecoder& decoder, std::size_t piece, bool callingThread) {
        DecodeRange range = RangeOf(piece);
        const std::int64_t first = FrameAt(piece * kPieceStrides);
        std::vector<std::uint8_t> levels;
        std::int64_t decoded = 0;
        std::string error = decoder.Decode(
            range,
            [&](std::int64_t index, const DecodedFrame* frame) {
                if (index >= first)
                    levels.push_back(frame ? LevelFromSamples(frame->Samples) : 0);
                if (callingThread && ++decoded % 32 == 0)
                    Poll();
            },
            stopped_);
        Keep(piece, first, levels);
        return error;
    }

    // The first piece is read from the first frame, as a whole decode reads it.
    DecodeRange RangeOf(std::size_t piece) const {
        const std::size_t first = piece * kPieceStrides;
        const std::size_t end = first + kPieceStrides;
        DecodeRange range;
        if (first > 0) {
            range.ReadFrom = OffsetAt(first - 1);
            range.FirstIndex = FrameAt(first - 1);
            range.DecodeFrom = range.FirstIndex;
        }
        range.End = end < checkpoints_.size() ? FrameAt(end) : overview_.FrameCount;
        range.ReadTo = end < checkpoints_.size() ? OffsetAt(end)
                                                 : std::numeric_limits<std::int64_t>::max() / 2;
        return range;
    }

    std::int64_t FrameAt(std::size_t checkpoint) const {
        return checkpoints_[checkpoint].FrameIndex;
    }
    std::int64_t OffsetAt(std::size_t checkpoint) const {
        return checkpoints_[checkpoint].Position - source_.Format.FirstFrameOffset;
    }

    void Keep(std::size_t piece, std::int64_t first, const std::vector<std::uint8_t>& levels) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::int64_t end =
            std::min(overview_.FrameCount, first + static_cast<std::int64_t>(levels.size()));
        for (std::int64_t f = first; f < end; ++f)
            overview_.Levels[static_cast<std::size_t>(f)] =
                levels[static_cast<std::size_t>(f - first)];
        done_[piece] = true;
    }

    // On the calling thread: asks whether to stop, and hands on the levels so far now and then.
    void Poll() {
        stopped_ = stopped_ || (stop_ && stop_());
        const auto now = std::chrono::steady_clock::now();
        if (!soFar_ || stopped_ || now - lastSoFar_ < kSoFarEvery)
            return;
        lastSoFar_ = now;
        LoudnessOverview soFar;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            soFar = overview_;
            soFar.MeasuredFrames = MeasuredFrames();
        }
        soFar_(soFar);
    }

    // The first frame of the first piece not measured yet: the frames before it are all in.
    std::int64_t MeasuredFrames() const {
        const auto undone = std::find(done_.begin(), done_.end(), false);
        if (undone == done_.end())
            return overview_.FrameCount;
        return FrameAt(static_cast<std::size_t>(undone - done_.begin()) * kPieceStrides);
    }

    const ScanSource& source_;
    const std::vector<WalkPoint> checkpoints_;
    LoudnessOverview& overview_;
    const std::function<bool()>& stop_;
    const LoudnessSoFar& soFar_;
    std::vector<bool> done_; // per piece
    std::mutex mutex_;
    std::atomic<bool> stopped_{false};
    std::chrono::steady_clock::time_point lastSoFar_;
};

} // namespace

Result<LoudnessOverview> SourceLoudness(SourceWalk& walk, const std::function<bool()>& stop,
                                        const LoudnessSoFar& soFar) {
    const Result<ScanResult> walked = walk.Await(stop);
    if (!walked)
        return walked.Failure();
    LoudnessOverview overview;
    overview.FrameCount = walked.Value().FrameCount;
    if (overview.FrameCount > 0) {
        const std::string problem = OverviewMeasure(walk, overview, stop, soFar).Run();
        if (!problem.empty())
            return Error{ErrorCategory::Read, -1, problem, walk.Source().Path};
    }
    return overview;
}

Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop) {
    SourceWalk walk(source);
    walk.Run();
    return SourceLoudness(walk, stop);
}
