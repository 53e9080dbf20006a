#include "media/source_loudness.h"

#include "media/block_decoder.h"
#include "media/frame_survey.h"
#include "media/level_bounds.h"
#include "split/pause_cuts.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

namespace {

// Runs are decoded in pieces of about this many frames (some 13 s), shared
// among threads in the order of the file, so the overview fills from the start.
constexpr std::int64_t kPieceFrames = 512;
// How often the levels so far are handed on.
constexpr auto kSoFarEvery = std::chrono::milliseconds(250);

class OverviewMeasure {
public:
    OverviewMeasure(const ScanSource& source, LoudnessOverview& overview,
                    const std::function<bool()>& stop, const LoudnessSoFar& soFar)
        : source_(source), overview_(overview), stop_(stop), soFar_(soFar) {}

    std::string Run() {
        SurveyResult surveyed =
            SurveyFrames(source_.Path, source_.Format.FirstFrameOffset, [this](double) {
                stopped_ = stopped_ || (stop_ && stop_());
                return !stopped_;
            });
        if (!surveyed.Error.empty() || surveyed.Cancelled)
            return surveyed.Error;
        survey_ = std::move(surveyed.Survey);
        overview_.Levels.assign(static_cast<std::size_t>(overview_.FrameCount), 0);
        pieces_ = Pieces();
        done_.assign(pieces_.size(), false);
        lastSoFar_ = std::chrono::steady_clock::now();
        std::string error = DecodeRunsOnThreads(
            source_.Path, source_.Format.FirstFrameOffset, survey_, pieces_,
            [this](BlockDecoder& decoder, BlockRun& piece, bool callingThread) {
                return MeasurePiece(decoder, piece, callingThread);
            },
            stopped_);
        overview_.MeasuredFrames = MeasuredFrames();
        return error;
    }

private:
    // The runs of blocks that may draw above the floor, cut into pieces; a
    // gap no longer than settling the decoder after it would cost is decoded too.
    std::vector<BlockRun> Pieces() const {
        const std::vector<bool> under = UnderFloorBlocks();
        const std::int64_t shortGap = survey_.SettleBlocks() + 2;
        const std::int64_t pieceBlocks =
            std::max<std::int64_t>(1, kPieceFrames / survey_.BlockFrames);
        std::vector<BlockRun> pieces;
        std::int64_t b = 0;
        while (b < survey_.Blocks()) {
            if (under[static_cast<std::size_t>(b)]) {
                ++b;
                continue;
            }
            const std::int64_t first = b;
            std::int64_t last = b;
            for (; b < survey_.Blocks(); ++b) {
                if (!under[static_cast<std::size_t>(b)])
                    last = b;
                else if (b - last > shortGap)
                    break;
            }
            for (std::int64_t p = first; p <= last; p += pieceBlocks)
                pieces.push_back({p, std::min(last, p + pieceBlocks - 1)});
            b = last + 1;
        }
        return pieces;
    }

    // Blocks whose every frame the side information bounds under the floor.
    // A frame's energy is at most that of the 10 ms windows it touches, so
    // its mean square at most their highest bound times the share their
    // samples are of its own.
    std::vector<bool> UnderFloorBlocks() const {
        const LevelBounds bounds(survey_);
        const double windowSamples = survey_.Rate * kLevelWindowMs / 1000.0;
        std::vector<bool> under(static_cast<std::size_t>(survey_.Blocks()), false);
        for (std::int64_t b = 0; b < survey_.Blocks(); ++b) {
            const std::int64_t begin = survey_.BlockStarts[static_cast<std::size_t>(b)];
            const std::int64_t end = survey_.BlockStarts[static_cast<std::size_t>(b) + 1];
            const std::int64_t frames =
                std::min(survey_.BlockFrames, survey_.Frames() - b * survey_.BlockFrames);
            const double frameSamples = static_cast<double>(end - begin) / frames;
            const double spreadDb = 10.0 * std::log10(1.0 + 2.0 * windowSamples / frameSamples);
            bool quiet = true;
            for (std::int64_t w = LevelWindowAt(begin, survey_.Rate);
                 quiet && w <= LevelWindowAt(end - 1, survey_.Rate); ++w)
                quiet = bounds.Db(w) + spreadDb < kLoudnessFloorDb;
            under[static_cast<std::size_t>(b)] = quiet;
        }
        return under;
    }

    std::string MeasurePiece(BlockDecoder& decoder, BlockRun& piece, bool callingThread) {
        const std::int64_t first = piece.First * survey_.BlockFrames;
        std::vector<std::uint8_t> levels;
        std::int64_t decoded = 0;
        std::string error = decoder.Decode(
            piece,
            [&](std::int64_t index, const DecodedFrame* frame) {
                if (index >= first)
                    levels.push_back(frame ? LevelFromSamples(frame->Samples) : 0);
                if (callingThread && ++decoded % 32 == 0)
                    Poll();
            },
            {}, stopped_);
        Keep(static_cast<std::size_t>(&piece - pieces_.data()), first, levels);
        return error;
    }

    void Keep(std::size_t piece, std::int64_t first, const std::vector<std::uint8_t>& levels) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto end =
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

    // The start of the first piece not measured yet: the frames before it are all in.
    std::int64_t MeasuredFrames() const {
        const auto undone = std::find(done_.begin(), done_.end(), false);
        if (undone == done_.end())
            return overview_.FrameCount;
        return std::min(overview_.FrameCount,
                        pieces_[static_cast<std::size_t>(undone - done_.begin())].First *
                            survey_.BlockFrames);
    }

    const ScanSource& source_;
    LoudnessOverview& overview_;
    const std::function<bool()>& stop_;
    const LoudnessSoFar& soFar_;
    FrameSurvey survey_;
    std::vector<BlockRun> pieces_;
    std::vector<bool> done_;
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
        const std::string problem = OverviewMeasure(walk.Source(), overview, stop, soFar).Run();
        if (!problem.empty())
            return Error{ErrorCategory::Read, -1, walk.Source().Path + ": " + problem};
    }
    return overview;
}

Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop) {
    SourceWalk walk(source);
    walk.Run();
    return SourceLoudness(walk, stop);
}
