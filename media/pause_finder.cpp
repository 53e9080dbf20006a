#include "media/pause_finder.h"

#include "media/frame_survey.h"
#include "media/granule_energy.h"
#include "media/level_bounds.h"
#include "media/mpeg_decoder.h"
#include "media/range_decoder.h"
#include "split/pause_cuts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

namespace {

// A window the spectral estimate shows quiet is taken as quiet when it is this
// much under the threshold besides the margin, so that the levels serve a
// threshold set up to this much lower without a new search.
constexpr float kEstimateRoomDb = 10.0f;
// A granule's spectral energy is decoded until it puts its level this far over
// the threshold: stretches of such granules are over it by more than their margin.
constexpr double kEnoughOverDb = 20.0;
// Below this share of blocks passed over, settling the decoder for every
// stretch costs more than decoding the blocks between them.
constexpr double kPassedShareWorthSkipping = 0.5;
// Long runs are decoded in pieces of about this many frames (some 13 s),
// shared among threads; each costs a settling of the decoder.
constexpr std::int64_t kPieceFrames = 512;
// The first walk decodes the Huffman codes of every frame: this share of the progress bar.
constexpr double kSurveyShare = 0.3;

enum class BlockState : std::uint8_t { Passed, Wanted, Measured };

class PauseLevels {
public:
    PauseLevels(std::string path, std::int64_t offset, const PauseSettings& cover,
                double boundsBelowDb, const std::function<bool(double)>& progress)
        : path_(std::move(path)), offset_(offset), quietBelowDb_(cover.ThresholdDb),
          boundsBelowDb_(boundsBelowDb),
          pauseWindows_(
              std::max<std::int64_t>(1, (cover.MinMs + kLevelWindowMs - 1) / kLevelWindowMs)),
          progress_(progress) {}

    LevelScan Measure() {
        LevelScan scan;
        SurveyResult surveyed = SurveyFrames(
            path_, offset_, [this](double done) { return Report(kSurveyShare * done); },
            EnoughEnergy());
        survey_ = std::move(surveyed.Survey);
        scan.Error = std::move(surveyed.Error);
        scan.Cancelled = surveyed.Cancelled;
        scan.Warnings = std::move(surveyed.Warnings);
        if (!scan.Error.empty() || scan.Cancelled || survey_.Rate <= 0)
            return scan;
        levels_.assign(static_cast<std::size_t>(
                           LevelWindowAt(survey_.BlockStarts.back() - 1, survey_.Rate) + 1),
                       std::numeric_limits<float>::quiet_NaN());
        blocks_.assign(static_cast<std::size_t>(survey_.Blocks()), BlockState::Passed);
        TakeSilentBlocks();
        TakeProvenWindows();
        scan.Error = DecodeWanted();
        scan.Cancelled = cancelled_;
        if (!scan.Error.empty() || scan.Cancelled)
            return scan;
        for (float& level : levels_)
            if (std::isnan(level))
                level = kUnmeasuredDb;
        scan.Cancelled = !Report(1.0);
        scan.LevelsDb = std::move(levels_);
        scan.HighestBoundDb = highestBound_;
        scan.DecodedShare = static_cast<double>(decodedFrames_) /
                            static_cast<double>(std::max<std::int64_t>(1, survey_.Frames()));
        return scan;
    }

private:
    // A granule loud enough that its windows are louder than the threshold by
    // far more than the margins: decoding the rest of its values would not
    // change what the search makes of them.
    double EnoughEnergy() const {
        return std::pow(10.0, (quietBelowDb_ + kEnoughOverDb) / 10.0) * kGranuleSamples * 2 /
               kLayer3SampleEnergy;
    }

    bool Report(double done) { return progress_(std::min(done, 0.99)); }

    // A frame that codes no bits, after enough such frames that neither the
    // overlap of the transforms nor the synthesis filter holds any sound
    // (three granules), decodes to zeros: a run of blocks of such frames is
    // measured as silence without decoding it.
    void TakeSilentBlocks() {
        const std::int64_t quietFramesBefore = survey_.BlockFrames == kGranulesPerBlock ? 2 : 1;
        std::int64_t silentRun = 0;
        std::int64_t zeroRun = 0; // frames in a row that decode to zeros
        for (std::int64_t f = 0; f < survey_.Frames(); ++f) {
            silentRun = survey_.Silent[static_cast<std::size_t>(f)] ? silentRun + 1 : 0;
            zeroRun = silentRun > quietFramesBefore ? zeroRun + 1 : 0;
            if (zeroRun >= survey_.BlockFrames && (f + 1) % survey_.BlockFrames == 0)
                blocks_[static_cast<std::size_t>(f / survey_.BlockFrames)] = BlockState::Measured;
        }
        ForEachRun(BlockState::Measured, [&](std::int64_t first, std::int64_t last) {
            const std::int64_t begin = survey_.BlockStarts[static_cast<std::size_t>(first)];
            const std::int64_t end = survey_.BlockStarts[static_cast<std::size_t>(last) + 1];
            std::vector<WindowPart> edges;
            for (std::int64_t w = LevelWindowAt(begin, survey_.Rate);
                 w < static_cast<std::int64_t>(levels_.size()) &&
                 LevelWindowStart(w, survey_.Rate) < end;
                 ++w) {
                const std::int64_t from = std::max(begin, LevelWindowStart(w, survey_.Rate));
                const std::int64_t to = std::min(end, LevelWindowStart(w + 1, survey_.Rate));
                edges.push_back({w, 0, (to - from) * survey_.Channels});
            }
            TakeParts(edges, survey_.Channels);
        });
    }

    // Every window whose level is proven on one side of the threshold keeps
    // its block from being decoded for it. Quiet: the side information
    // bounds it under the threshold (or the lower one asked for), or its
    // granules' spectral energy puts it there by more than the margin that
    // estimate was measured to keep. In no pause: every stretch as long as a
    // pause that holds it carries energy enough to be louder than the
    // threshold. A quiet window takes its bound or estimate as its level, one
    // in no pause kUnmeasuredDb. The blocks of every other window are decoded.
    void TakeProvenWindows() {
        const LevelBounds bounds(survey_);
        const std::int64_t count = static_cast<std::int64_t>(levels_.size());
        const std::vector<bool> over =
            bounds.StretchesOver(pauseWindows_, static_cast<float>(quietBelowDb_));
        std::int64_t lastNotOver = -1; // the last stretch begun by window w that is not over
        for (std::int64_t w = 0; w < count; ++w) {
            if (w < std::ssize(over) && !over[static_cast<std::size_t>(w)])
                lastNotOver = w;
            float& level = levels_[static_cast<std::size_t>(w)];
            if (!std::isnan(level))
                continue; // silence
            // The stretches that hold the window begin at most pauseWindows_ - 1 before it.
            const std::int64_t firstStretch = std::max<std::int64_t>(0, w - pauseWindows_ + 1);
            if (firstStretch < std::ssize(over) && lastNotOver < firstStretch) {
                level = kUnmeasuredDb;
                continue;
            }
            if (const std::optional<float> quiet = ProvenQuiet(bounds, w)) {
                level = *quiet;
                highestBound_ = std::max(highestBound_.value_or(level), level);
                continue;
            }
            const std::int64_t end =
                std::min(LevelWindowStart(w + 1, survey_.Rate), survey_.BlockStarts.back());
            WantBlocks(BlockAt(LevelWindowStart(w, survey_.Rate)), BlockAt(end - 1));
        }
    }

    // The level a window is proven to stay under the threshold at.
    std::optional<float> ProvenQuiet(const LevelBounds& bounds, std::int64_t window) const {
        if (const float estimate = bounds.EstimatedDb(window) + kEstimateMarginDb;
            estimate + kEstimateRoomDb < boundsBelowDb_)
            return estimate;
        if (const float bound = bounds.Db(window); bound < boundsBelowDb_)
            return bound;
        return std::nullopt;
    }

    // The block that holds a sample frame.
    std::int64_t BlockAt(std::int64_t sampleFrame) const {
        const auto next =
            std::upper_bound(survey_.BlockStarts.begin(), survey_.BlockStarts.end(), sampleFrame);
        return std::clamp<std::int64_t>(next - survey_.BlockStarts.begin() - 1, 0,
                                        survey_.Blocks() - 1);
    }

    // Decodes the wanted blocks, each stretch of them after the blocks that
    // settle the decoder, and measures their windows; a window across the
    // border with silence measured apart takes its samples from both.
    std::string DecodeWanted() {
        const auto passed = std::count(blocks_.begin(), blocks_.end(), BlockState::Passed);
        if (static_cast<double>(passed) <
            kPassedShareWorthSkipping * static_cast<double>(blocks_.size()))
            WantBlocks(0, survey_.Blocks() - 1);
        FillShortGaps();
        std::vector<Piece> pieces = Pieces();
        passFrames_ = 0;
        passDecoded_ = 0;
        for (const Piece& piece : pieces)
            passFrames_ +=
                (piece.Last - piece.First + 1 + survey_.SettleBlocks()) * survey_.BlockFrames;
        // The pieces share no window, so threads of their own may decode them;
        // this one also reports the progress.
        if (std::string error = DecodeOnThreads(
                path_, offset_, pieces.size(),
                [&](RangeDecoder& decoder, std::size_t piece, bool reports) {
                    return DecodePiece(decoder, pieces[piece], reports);
                },
                cancelled_);
            !error.empty())
            return error;
        for (const Piece& piece : pieces)
            for (std::int64_t b = piece.First; b <= piece.Last; ++b)
                blocks_[static_cast<std::size_t>(b)] = BlockState::Measured;
        return {};
    }

    // Blocks First..Last to decode and measure.
    struct Piece {
        std::int64_t First = 0;
        std::int64_t Last = 0;
    };

    // The runs of wanted blocks, cut into pieces short enough to share among threads.
    std::vector<Piece> Pieces() const {
        const std::int64_t pieceBlocks =
            std::max<std::int64_t>(1, kPieceFrames / survey_.BlockFrames);
        std::vector<Piece> pieces;
        ForEachRun(BlockState::Wanted, [&](std::int64_t first, std::int64_t last) {
            for (std::int64_t b = first; b <= last; b += pieceBlocks)
                pieces.push_back({b, std::min(last, b + pieceBlocks - 1)});
        });
        return pieces;
    }

    // A window across the border of two runs measured apart gets its level
    // when the second run brings the samples the first one lacked (a window
    // inside a run of silence, at once).
    void TakeParts(const std::vector<WindowPart>& parts, std::int32_t channels) {
        const std::lock_guard<std::mutex> lock(partsMutex_);
        for (const WindowPart& part : parts) {
            WindowPart& sum = parts_[part.Window];
            sum.SumOfSquares += part.SumOfSquares;
            sum.Samples += part.Samples;
            const std::int64_t end = std::min(LevelWindowStart(part.Window + 1, survey_.Rate),
                                              survey_.BlockStarts.back());
            if (sum.Samples < (end - LevelWindowStart(part.Window, survey_.Rate)) * channels)
                continue;
            levels_[static_cast<std::size_t>(part.Window)] =
                LevelDb(static_cast<double>(sum.SumOfSquares), sum.Samples);
            parts_.erase(part.Window);
        }
    }

    void CountDecoded(bool reports) {
        ++decodedFrames_;
        if (++passDecoded_ % 256 != 0 || !reports)
            return;
        const double done =
            std::min(1.0, static_cast<double>(passDecoded_) /
                              static_cast<double>(std::max<std::int64_t>(1, passFrames_)));
        if (!Report(kSurveyShare + (1.0 - kSurveyShare) * done))
            cancelled_ = true;
    }

    // Decodes a piece and measures its windows.
    std::string DecodePiece(RangeDecoder& decoder, const Piece& piece, bool reports) {
        const std::int64_t measureFrame = piece.First * survey_.BlockFrames;
        LevelWindows windows(levels_, survey_.Rate);
        std::int32_t channels = 0;
        const DecodeRange range = RangeOf(piece);
        std::string error = decoder.Decode(
            range,
            [&](std::int64_t index, const DecodedFrame* frame) {
                CountDecoded(reports);
                if (index < measureFrame || !frame || frame->Channels <= 0)
                    return;
                if (index == measureFrame)
                    windows.Begin(survey_.BlockStarts[static_cast<std::size_t>(piece.First)]);
                windows.Add(frame->Samples, frame->Channels);
                channels = frame->Channels;
                if (index + 1 == survey_.Frames())
                    windows.EndOfAudio();
            },
            cancelled_);
        windows.Stop();
        TakeParts(windows.Parts(), channels);
        return error;
    }

    // The piece after the blocks that settle the decoder, read from the frame
    // before them: it gives the first decoded frame a frame before it, as a
    // whole decode would have.
    DecodeRange RangeOf(const Piece& piece) const {
        const std::int64_t start = std::max<std::int64_t>(0, piece.First - survey_.SettleBlocks());
        const bool lead = start > 0;
        DecodeRange range;
        range.ReadFrom =
            lead ? survey_.OffsetsBefore[static_cast<std::size_t>(start)] : survey_.BlockOffsets[0];
        range.DecodeFrom = start * survey_.BlockFrames;
        range.FirstIndex = range.DecodeFrom - (lead ? 1 : 0);
        range.End = EndFrameOf(piece.Last);
        range.ReadTo = EndOffsetOf(piece.Last);
        return range;
    }

    std::int64_t EndFrameOf(std::int64_t block) const {
        return std::min(survey_.Frames(), (block + 1) * survey_.BlockFrames);
    }

    // Where the block after this one starts: the end of the frames when none.
    std::int64_t EndOffsetOf(std::int64_t block) const {
        return block + 1 < survey_.Blocks()
                   ? survey_.BlockOffsets[static_cast<std::size_t>(block) + 1]
                   : survey_.EndOffset;
    }

    // A gap between two stretches that is no longer than what settling the
    // decoder after it would cost is decoded too.
    void FillShortGaps() {
        const std::int64_t shortGap = survey_.SettleBlocks() + 2;
        std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
        ForEachRun(BlockState::Passed, [&](std::int64_t first, std::int64_t last) {
            if (first > 0 && last + 1 < survey_.Blocks() && last - first + 1 <= shortGap &&
                (State(first - 1) == BlockState::Wanted || State(last + 1) == BlockState::Wanted))
                gaps.emplace_back(first, last);
        });
        for (const auto& [first, last] : gaps)
            WantBlocks(first, last);
    }

    BlockState State(std::int64_t block) const { return blocks_[static_cast<std::size_t>(block)]; }

    // Calls onRun(first, last) for every run of blocks in the given state.
    template <class OnRun> void ForEachRun(BlockState state, OnRun onRun) const {
        std::int64_t b = 0;
        while (b < survey_.Blocks()) {
            if (State(b) != state) {
                ++b;
                continue;
            }
            const std::int64_t first = b;
            while (b < survey_.Blocks() && State(b) == state)
                ++b;
            onRun(first, b - 1);
        }
    }

    void WantBlocks(std::int64_t first, std::int64_t last) {
        first = std::max<std::int64_t>(0, first);
        last = std::min<std::int64_t>(static_cast<std::int64_t>(blocks_.size()) - 1, last);
        for (std::int64_t b = first; b <= last; ++b)
            if (blocks_[static_cast<std::size_t>(b)] == BlockState::Passed)
                blocks_[static_cast<std::size_t>(b)] = BlockState::Wanted;
    }

    std::string path_;
    std::int64_t offset_;
    double quietBelowDb_;
    double boundsBelowDb_;
    std::int64_t pauseWindows_; // the fewest windows a pause of the cover settings holds
    const std::function<bool(double)>& progress_;
    FrameSurvey survey_;
    std::vector<float> levels_; // NaN: not measured yet
    std::vector<BlockState> blocks_;
    std::optional<float> highestBound_;
    std::atomic<std::int64_t> decodedFrames_{0};
    std::int64_t passFrames_ = 0; // to decode in this pass, about
    std::atomic<std::int64_t> passDecoded_{0};
    std::atomic<bool> cancelled_{false};
    std::mutex partsMutex_;
    std::map<std::int64_t, WindowPart> parts_; // windows measured in part, by number
};

} // namespace

LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset,
                        const PauseSettings& cover, const std::function<bool(double)>& progress,
                        std::optional<double> boundsBelowDb) {
    return PauseLevels(path, firstFrameOffset, cover,
                       std::min(cover.ThresholdDb, boundsBelowDb.value_or(cover.ThresholdDb)),
                       progress)
        .Measure();
}
