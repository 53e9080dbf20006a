#include "media/pause_finder.h"

#include "media/frame_survey.h"
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

// A stretch that may be quiet is decoded when its gain is within this many
// steps (1.5 dB each) of the loudest gain a quiet frame has shown.
constexpr int kGainMargin = 4;
// Before any frame is decoded, the quietest frames of the source show what
// its quiet frames' gains look like.
constexpr double kFirstGuessShare = 0.05;
// Below this share of blocks passed over, settling the decoder for every
// stretch costs more than decoding the blocks between them.
constexpr double kPassedShareWorthSkipping = 0.5;
// Blocks wanted on each side of a quiet run of frames.
constexpr std::int64_t kEdgeBlocks = 0;
// A stretch still quiet at its edge is widened by this many blocks a pass.
constexpr std::int64_t kWidenBlocks = 1;
// Long runs are decoded in pieces of about this many frames (some 13 s),
// shared among threads; each costs a settling of the decoder.
constexpr std::int64_t kPieceFrames = 512;
// The first walk is cheap next to decoding: this share of the progress bar.
constexpr double kSurveyShare = 0.05;

enum class BlockState : std::uint8_t { Passed, Wanted, Measured };

class PauseLevels {
public:
    PauseLevels(std::string path, std::int64_t offset, const PauseSettings& cover,
                double boundsBelowDb, const std::function<bool(double)>& progress)
        : path_(std::move(path)), offset_(offset), quietBelowDb_(cover.ThresholdDb),
          boundsBelowDb_(boundsBelowDb), coverMinMs_(cover.MinMs), progress_(progress) {}

    LevelScan Measure() {
        LevelScan scan;
        SurveyResult surveyed = SurveyFrames(
            path_, offset_, [this](double done) { return Report(kSurveyShare * done); });
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
        TakeBoundedBlocks();
        WantQuietBlocks(FirstGuess());
        while (std::find(blocks_.begin(), blocks_.end(), BlockState::Wanted) != blocks_.end()) {
            scan.Error = DecodeWanted();
            scan.Cancelled = cancelled_;
            if (!scan.Error.empty() || scan.Cancelled)
                return scan;
            WidenUnbounded();
            LearnFromPauses();
            if (quietPeak_)
                WantQuietBlocks(*quietPeak_ + kGainMargin);
        }
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

    // A block whose every window the side information bounds under the
    // threshold (or the lower one asked for) is quiet whatever it decodes to:
    // it is not decoded, and those of its windows that no silence measured
    // take their bound as their level.
    void TakeBoundedBlocks() {
        const LevelBounds bounds(survey_);
        std::vector<float> blockBounds;
        for (std::int64_t b = 0; b < survey_.Blocks(); ++b) {
            if (State(b) != BlockState::Passed)
                continue;
            const std::int64_t first =
                LevelWindowAt(survey_.BlockStarts[static_cast<std::size_t>(b)], survey_.Rate);
            const std::int64_t end =
                LevelWindowAt(survey_.BlockStarts[static_cast<std::size_t>(b) + 1] - 1,
                              survey_.Rate) +
                1;
            // Most blocks are loud: the first window over the threshold ends the look.
            blockBounds.clear();
            for (std::int64_t w = first;
                 w < end && (blockBounds.empty() || blockBounds.back() < boundsBelowDb_); ++w)
                blockBounds.push_back(bounds.Db(w));
            if (blockBounds.back() >= boundsBelowDb_)
                continue;
            blocks_[static_cast<std::size_t>(b)] = BlockState::Measured;
            for (std::int64_t w = first; w < end; ++w) {
                float& level = levels_[static_cast<std::size_t>(w)];
                if (!std::isnan(level))
                    continue;
                level = blockBounds[static_cast<std::size_t>(w - first)];
                highestBound_ = std::max(highestBound_.value_or(level), level);
            }
        }
    }

    // The gain a quiet frame is first taken to have: that of the quietest frames.
    int FirstGuess() const {
        std::array<std::int64_t, 256> counts{};
        std::int64_t coded = 0;
        for (const std::uint8_t gain : survey_.Gains)
            if (gain != 0) {
                ++counts[gain];
                ++coded;
            }
        std::int64_t seen = 0;
        for (int gain = 1; gain < 256; ++gain) {
            seen += counts[static_cast<std::size_t>(gain)];
            if (static_cast<double>(seen) >= kFirstGuessShare * static_cast<double>(coded))
                return gain + kGainMargin;
        }
        return 255;
    }

    // Wants the blocks of every run of at least RunFrames() frames whose
    // gains are all at most gainLimit: a pause is that long a stretch of
    // quiet frames, where a gap between two words is a frame or two.
    void WantQuietBlocks(int gainLimit) {
        const std::int64_t needed = RunFrames();
        std::int64_t f = 0;
        while (f < survey_.Frames()) {
            if (Gain(f) > gainLimit) {
                ++f;
                continue;
            }
            const std::int64_t first = f;
            while (f < survey_.Frames() && Gain(f) <= gainLimit)
                ++f;
            // With a block on each side: the edges of a pause, fading from the
            // sound beside it, carry higher gains than its middle.
            if (f - first >= needed)
                WantBlocks(first / survey_.BlockFrames - kEdgeBlocks,
                           (f - 1) / survey_.BlockFrames + kEdgeBlocks);
        }
    }

    int Gain(std::int64_t frame) const { return survey_.Gains[static_cast<std::size_t>(frame)]; }

    // Three quarters of the frames of the shortest pause: a pause shows at
    // least that many quiet frames in a row, leaving room for the frames at
    // its edges, which carry the gain of the sound beside them.
    std::int64_t RunFrames() const {
        const double frameMs = static_cast<double>(survey_.BlockStarts.back()) * 1000.0 /
                               survey_.Rate / static_cast<double>(survey_.Frames());
        return std::max<std::int64_t>(1, static_cast<std::int64_t>(coverMinMs_ / frameMs * 3 / 4));
    }

    // Decodes the wanted blocks, each stretch of them after the blocks that
    // settle the decoder, and measures their windows. A measured block beside
    // a stretch is measured again, so that the window across the border is whole.
    std::string DecodeWanted() {
        ++passes_;
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

    // The first pass fills the bar; the rare passes that widen stretches
    // after it only keep the search stoppable.
    void CountDecoded(bool reports) {
        ++decodedFrames_;
        if (++passDecoded_ % 256 != 0 || !reports)
            return;
        const double done =
            std::min(1.0, static_cast<double>(passDecoded_) /
                              static_cast<double>(std::max<std::int64_t>(1, passFrames_)));
        if (!Report(kSurveyShare + (1.0 - kSurveyShare) * (passes_ == 1 ? done : 1.0)))
            cancelled_ = true;
    }

    // Decodes a piece and measures its windows. A piece whose tail is still
    // quiet goes on into the blocks after it.
    std::string DecodePiece(RangeDecoder& decoder, Piece& piece, bool reports) {
        const std::int64_t measureFrame = piece.First * survey_.BlockFrames;
        LevelWindows windows(levels_, survey_.Rate);
        std::int32_t channels = 0;
        DecodeRange range = RangeOf(piece);
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
            [&](DecodeRange& grown) {
                if (!ExtendQuietTail(piece))
                    return false;
                grown.End = EndFrameOf(piece.Last);
                grown.ReadTo = EndOffsetOf(piece.Last);
                return true;
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

    // A piece ending in a quiet window takes in the block after it when no
    // other piece measures that one: cheaper than settling the decoder for
    // it in a pass of its own. Only the piece before a passed block reads or
    // grows into it, and the blocks' states stay as they are until the pass ends.
    bool ExtendQuietTail(Piece& piece) const {
        const std::int64_t next = piece.Last + 1;
        if (next >= survey_.Blocks() || State(next) != BlockState::Passed)
            return false;
        const std::int64_t lastWindow =
            LevelWindowAt(survey_.BlockStarts[static_cast<std::size_t>(next)], survey_.Rate) - 1;
        if (lastWindow < 0 || !(levels_[static_cast<std::size_t>(lastWindow)] < quietBelowDb_))
            return false;
        piece.Last = next;
        return true;
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

    // Each pause found so far shows how low the gains of a quiet stretch of
    // this source go: the gain its quietest run of frames stays under, away
    // from its edges. The loudest of these is how quiet a stretch must look
    // to be decoded; the search goes on until no pause found shows a higher one.
    void LearnFromPauses() {
        const std::int64_t minWindows = std::max<std::int64_t>(1, coverMinMs_ / kLevelWindowMs);
        std::int64_t w = 0;
        const std::int64_t count = static_cast<std::int64_t>(levels_.size());
        while (w < count) {
            if (!(levels_[static_cast<std::size_t>(w)] < quietBelowDb_)) {
                ++w;
                continue;
            }
            const std::int64_t begin = w;
            while (w < count && levels_[static_cast<std::size_t>(w)] < quietBelowDb_)
                ++w;
            if (w - begin < minWindows)
                continue;
            const std::int64_t first = FrameAt(LevelWindowStart(begin, survey_.Rate)) + 1;
            const std::int64_t last = FrameAt(LevelWindowStart(w, survey_.Rate) - 1) - 1;
            if (first > last)
                continue;
            quietPeak_ = std::max(quietPeak_.value_or(0), QuietestRun(first, last));
        }
    }

    // The lowest gain under which the frames first..last hold a run of
    // RunFrames() (or all of them, when fewer).
    int QuietestRun(std::int64_t first, std::int64_t last) const {
        const std::int64_t run = std::min(RunFrames(), last - first + 1);
        int lowest = 255;
        for (std::int64_t f = first; f + run - 1 <= last; ++f) {
            const auto gains = survey_.Gains.begin() + f;
            lowest = std::min<int>(lowest, *std::max_element(gains, gains + run));
        }
        return lowest;
    }

    // The frame that holds a sample frame.
    std::int64_t FrameAt(std::int64_t sampleFrame) const {
        const auto next =
            std::upper_bound(survey_.BlockStarts.begin(), survey_.BlockStarts.end(), sampleFrame);
        const std::int64_t block = std::clamp<std::int64_t>(next - survey_.BlockStarts.begin() - 1,
                                                            0, survey_.Blocks() - 1);
        std::int64_t frame = block * survey_.BlockFrames;
        while (frame + 1 < survey_.Frames() && frame + 1 < (block + 1) * survey_.BlockFrames &&
               SampleFrameOf(frame + 1) <= sampleFrame)
            ++frame;
        return frame;
    }

    std::int64_t SampleFrameOf(std::int64_t frameIndex) const {
        // Blocks hold frames of one length unless the format changes inside
        // one; the start of the frame's block is exact either way.
        const std::int64_t block = frameIndex / survey_.BlockFrames;
        const std::int64_t start = survey_.BlockStarts[static_cast<std::size_t>(block)];
        const std::int64_t next = survey_.BlockStarts[static_cast<std::size_t>(block) + 1];
        const std::int64_t inBlock =
            std::min(survey_.BlockFrames, survey_.Frames() - block * survey_.BlockFrames);
        return start + (next - start) / inBlock * (frameIndex - block * survey_.BlockFrames);
    }

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

    // A measured run whose first or last window is quiet may be cut short of
    // its quiet stretch: the blocks beside it are wanted too.
    void WidenUnbounded() {
        std::vector<std::pair<std::int64_t, std::int64_t>> runs;
        ForEachRun(BlockState::Measured,
                   [&](std::int64_t first, std::int64_t last) { runs.emplace_back(first, last); });
        for (const auto& [first, last] : runs) {
            const auto [head, tail] = EdgeLevels(first, last);
            if (head < quietBelowDb_)
                WantBlocks(first - kWidenBlocks, first - 1);
            if (tail < quietBelowDb_)
                WantBlocks(last + 1, last + kWidenBlocks);
        }
    }

    // The first and last measured levels of a run of blocks (NaN for none).
    std::pair<float, float> EdgeLevels(std::int64_t first, std::int64_t last) const {
        const std::int64_t begin =
            LevelWindowAt(survey_.BlockStarts[static_cast<std::size_t>(first)], survey_.Rate);
        const std::int64_t end = std::min<std::int64_t>(
            static_cast<std::int64_t>(levels_.size()),
            LevelWindowAt(survey_.BlockStarts[static_cast<std::size_t>(last) + 1] - 1,
                          survey_.Rate) +
                1);
        float head = std::numeric_limits<float>::quiet_NaN();
        float tail = head;
        for (std::int64_t w = begin; w < end && std::isnan(head); ++w)
            head = levels_[static_cast<std::size_t>(w)];
        for (std::int64_t w = end - 1; w >= begin && std::isnan(tail); --w)
            tail = levels_[static_cast<std::size_t>(w)];
        return {head, tail};
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
    std::int32_t coverMinMs_;
    const std::function<bool(double)>& progress_;
    FrameSurvey survey_;
    std::vector<float> levels_; // NaN: not measured yet
    std::vector<BlockState> blocks_;
    std::optional<int> quietPeak_;
    std::optional<float> highestBound_;
    std::atomic<std::int64_t> decodedFrames_{0};
    std::int64_t passFrames_ = 0; // to decode in this pass, about
    std::atomic<std::int64_t> passDecoded_{0};
    std::atomic<bool> cancelled_{false};
    std::mutex partsMutex_;
    std::map<std::int64_t, WindowPart> parts_; // windows measured in part, by number
    int passes_ = 0;
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
