#include "split/split_worker.h"

#include "core/audio_info.h"
#include "core/bridge_frame.h"
#include "core/byte_source.h"
#include "core/frame_rule.h"
#include "core/frame_step.h"
#include "core/frame_tables.h"
#include "core/information_frame.h"
#include "core/preload_scan.h"
#include "split/exact_cut.h"
#include "split/source_reader.h"
#include "split/split_list.h"
#include "split/write_stage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

std::int32_t SplitJob::PartsToWrite() const {
    return static_cast<std::int32_t>(std::count_if(
        Rows.begin(), Rows.end(), [](const SplitJobRow& row) { return row.ToWrite(); }));
}

namespace {

// Where a walk from the first audio frame stands: every part's walk passes
// through the same states, so a state reached once serves every later part.
using WalkState = WalkPoint;
using Candidate = FrameStep;

// A stretch of whole frames that lie back to back in the source, written at once.
struct PendingRun {
    std::int64_t Begin = 0;
    std::int64_t End = 0;
};

// Why a part cannot be written; built only when one cannot.
Error PartFailure(std::string reason) {
    return Error{ErrorCategory::Read, -1, std::move(reason)};
}

// The reading side of a split: walks the source once for all rows, on a
// thread of its own, and leaves what is to be written as steps in the blocks
// that hold the bytes, for the write stage to do on the caller's thread.
class SplitWalk {
public:
    SplitWalk(const SplitJob& job, SourceReader& source)
        : job_(job), source_(source),
          stepper_(*this, job.Format.VersionId, job.Format.Layer, counting_),
          // As the frame rule reads it: 1 MPEG 1, 3 MPEG 2.5, anything else MPEG 2.
          versionId_(job.Format.VersionId == 1 || job.Format.VersionId == 3 ? job.Format.VersionId
                                                                            : 2),
          frameCount_(job.FrameCount), entries_(job.Rows.size()) {}

    // Before the walk starts: nothing, or the problem that ends the run (its
    // text the whole line to report).
    Result<void> Prepare();
    // The information frame every part begins with, to be filled in per part.
    const std::vector<std::uint8_t>& InformationFrame() const {
        return job_.ExactCuts ? exactInformationFrame_ : informationFrame_;
    }
    // Every row's steps, then the last block handed on; on the walk's thread.
    void Walk();
    // What ended the walk early, if anything did but the run.
    const std::string& Problem() const { return problem_; }
    std::int64_t HeadersExamined() const { return headersExamined_; }

    // The walk's step reads the source through these: the pending stretch of
    // frames goes to the writer first when the block that holds it is to move on.
    static constexpr std::int64_t kMaxSpan = SourceReader::kMaxSpan;
    const std::uint8_t* Fetch(std::int64_t offset, std::int64_t count) {
        return Bytes(offset, count);
    }
    std::int64_t Size() const { return source_.Size(); }

private:
    void ReadInformationFrame();
    Result<void> PrepareExactCuts();
    Result<void> PrepareVolume() const;
    Result<void> SettleFrameCount();
    void WalkRows();
    void PlanEntries();
    void WalkPart(std::size_t row);
    Result<std::int32_t> WrittenFrames(std::size_t row);
    Result<std::int32_t> CopyPass(std::size_t row);
    Result<std::int32_t> ExactCopyPass(std::size_t row);
    Result<ExactSpan::LeadIn> InsertLeadIn(const ExactSpan& span, const std::uint8_t* firstFrame,
                                           std::int64_t length);
    void Insert(std::vector<std::uint8_t> frame);
    std::int32_t FillTinyPart(const std::uint8_t* header);
    void KeepMainData(const std::uint8_t* bytes, std::int64_t length);
    std::vector<std::uint8_t> Borrowed(std::int32_t count) const;
    void NoteFrame(const WalkState& state, std::int64_t length);
    void NoteLength(std::int64_t length);
    void NoteBitrate(const std::uint8_t* header);
    void NoteAudio(const std::uint8_t* bytes, std::int64_t count);
    void TakeFrame(const WalkState& state, std::int64_t length);
    std::vector<std::uint8_t> Shaped(const std::uint8_t* bytes, std::int64_t length,
                                     double frameMs) const;
    void TakeOwn(const WalkState& state, std::vector<std::uint8_t> frame);
    std::int64_t EntryKey(const SplitJobRow& row) const;
    double Progress(const WalkState& state) const;

    Result<WalkState> EntryOf(std::size_t row);
    Error UnreadableCandidate() const;
    bool FramesRemain(const WalkState& state);
    bool CountedFrameFrom(std::int64_t position);
    const std::uint8_t* Bytes(std::int64_t offset, std::int64_t count);
    Candidate Evaluate(const WalkState& state);
    void Advance(WalkState& state, const Candidate& candidate) {
        stepper_.Advance(state, candidate);
    }
    void MoveFrontier(const WalkState& state);
    void Flush();
    void Step(WriteStep step) { source_.Current().Steps.push_back(std::move(step)); }

    const SplitJob& job_;
    SourceReader& source_;
    // With the frame count unknown, a frame counts as the scan would count it.
    CountingEnd counting_;
    FrameStepper<SplitWalk> stepper_;
    std::int64_t headersExamined_ = 0;
    std::string problem_;
    bool partFailed_ = false;

    // The information frame, read once: every part begins with the same one.
    bool informationFits_ = true;
    std::string informationProblem_;
    std::vector<std::uint8_t> informationFrame_;
    std::int64_t audioStart_ = 0;

    // Exact cuts: the source's timeline, the frame in front of every part,
    // and the main data of the frames walked before a part's first frame.
    GaplessSource gapless_;
    std::int32_t versionId_ = 1;
    std::vector<std::uint8_t> exactInformationFrame_;
    std::vector<std::uint8_t> reservoir_;

    // The part being walked changes its frames' gains.
    std::optional<VolumeStage> volume_;

    bool countInWalk_ = false;
    std::int64_t knownFrom_ = -1; // positions known to reach (or not) a counted frame
    std::int64_t knownTo_ = -1;
    bool knownAnswer_ = false;

    // The pending stretch of frames of the part being walked, and what a
    // part's information frame tells of its frames.
    PendingRun run_;
    PartFrameList partFrames_;
    std::int32_t partBitrateIndex_ = 0; // an exact part's first frame's

    // The walk's furthest state, and for each part to write the state at
    // which its skip ends (the first state whose elapsed time reaches its start).
    std::int32_t frameCount_ = 0;
    WalkState frontier_;
    bool frontierEnded_ = false;
    // (where the row's walk begins, row), sorted: StartMs, or with exact cuts a frame index
    std::vector<std::pair<std::int64_t, std::size_t>> startsAhead_;
    std::size_t nextStart_ = 0;
    std::vector<std::optional<WalkState>> entries_;
};

Result<void> SplitWalk::Prepare() {
    if (job_.Format.FirstFrameOffset < 0)
        return Error{ErrorCategory::NoFrame, -1, job_.SourcePath + ": no MPEG audio frame found"};
    ReadInformationFrame();
    if (Result<void> volume = PrepareVolume(); !volume)
        return volume;
    if (job_.ExactCuts) {
        if (Result<void> prepared = PrepareExactCuts(); !prepared)
            return prepared;
    }
    return SettleFrameCount();
}

Result<void> SplitWalk::PrepareExactCuts() {
    // Layer I and II players ignore the LAME tag, so their parts could not be exact.
    if (job_.Format.Layer != 3)
        return Error{ErrorCategory::Format, -1,
                     job_.SourcePath + ": exact cuts need Layer III: players ignore the gapless "
                                       "information of Layer I and II"};
    const std::uint8_t* header = source_.Fetch(frontier_.Position, 4);
    if (header == nullptr)
        return Error{ErrorCategory::NoFrame, frontier_.Position,
                     job_.SourcePath + ": no MPEG audio frame found"};
    const std::int32_t versionId = versionId_;
    const std::int32_t markerOffset = InformationHeaderOffset(versionId, job_.Format.ChannelMode);
    gapless_ = GaplessSource::Of(
        versionId, SampleRateHzFor(versionId, header[2] >> 2 & 3), job_.Format.ChannelMode == 3,
        ReadGaplessTrim(informationFrame_, markerOffset), job_.Format.InfoFrameCount);
    exactInformationFrame_ = ExactInformationFrame(informationFrame_, markerOffset, header,
                                                   versionId, job_.Format.IsVbr);
    if (exactInformationFrame_.empty())
        return Error{ErrorCategory::Format, -1,
                     job_.SourcePath + ": no information frame fits the source's first frame"};
    return {};
}

Result<void> SplitWalk::PrepareVolume() const {
    const bool changes = std::any_of(job_.Rows.begin(), job_.Rows.end(), [](const auto& row) {
        return row.ToWrite() && row.Volume.Changes();
    });
    // Only a Layer III frame's side information holds a gain of its own.
    if (changes && job_.Format.Layer != 3)
        return Error{ErrorCategory::Format, -1,
                     job_.SourcePath + ": volume changes need Layer III: Layer I and II frames "
                                       "have no gain to change without decoding"};
    return {};
}

void SplitWalk::Walk() {
    try {
        WalkRows();
    } catch (const std::exception& error) {
        // An exception of the library (memory, say) ends the run; the steps so
        // far are still done.
        problem_ = error.what();
    }
    if (!source_.Cancelled()) // else the write stage has ended the run
        source_.Finish();
}

// Row by row, as the list shows them, up to a part that fails.
void SplitWalk::WalkRows() {
    PlanEntries();
    for (std::size_t row = 0; row < job_.Rows.size() && !partFailed_ && !source_.Cancelled();
         ++row) {
        if (job_.Rows[row].ToWrite())
            WalkPart(row);
        if (!partFailed_)
            Step(WriteStep::Of(WriteStep::Kind::EndRow, row));
    }
}

void SplitWalk::ReadInformationFrame() {
    frontier_.Position = job_.Format.FirstFrameOffset;
    if (!job_.Format.HasInfoFrame)
        return;
    const std::uint8_t* header = source_.Fetch(job_.Format.FirstFrameOffset, 4);
    const std::int32_t length =
        header == nullptr
            ? 0
            : InformationFrameLength(header, job_.Format.VersionId, job_.Format.Layer);
    // A length too short to hold its own header, or a frame that runs past the
    // end of the source, cannot be carried into the parts.
    const std::uint8_t* frame =
        length >= 4 ? source_.Fetch(job_.Format.FirstFrameOffset, length) : nullptr;
    if (frame == nullptr) {
        informationFits_ = false;
        informationProblem_ = "the information frame does not fit in the source";
        return;
    }
    informationFrame_.assign(frame, frame + length);
    frontier_.Position = job_.Format.FirstFrameOffset + length;
}

// An unknown frame count is counted in the walk when the walk is the scan's
// own; when the scan would walk the information frame differently, it runs.
Result<void> SplitWalk::SettleFrameCount() {
    audioStart_ = frontier_.Position;
    if (job_.FrameCount != 0)
        return {};
    counting_ = CountingEnd::Of(source_.Size(), job_.Format.FirstFrameBytes,
                                job_.Format.HasInfoFrame ? -1 : audioStart_);
    const std::uint8_t* first = source_.Fetch(job_.Format.FirstFrameOffset, 4);
    const bool sameWalk = !job_.Format.HasInfoFrame || informationFrame_.empty() ||
                          (first != nullptr &&
                           EvaluateFrame(first, job_.Format.VersionId, job_.Format.Layer).Length ==
                               static_cast<std::int32_t>(informationFrame_.size()));
    if (sameWalk) {
        countInWalk_ = true;
        return {};
    }
    const ScanSource scan{job_.SourcePath, job_.Format};
    const Result<ScanResult> counted = PreloadScan(scan);
    if (!counted)
        return counted.Failure();
    frameCount_ = counted.Value().FrameCount;
    return {};
}

void SplitWalk::PlanEntries() {
    for (std::size_t row = 0; row < job_.Rows.size(); ++row) {
        if (job_.Rows[row].ToWrite())
            startsAhead_.emplace_back(EntryKey(job_.Rows[row]), row);
    }
    std::stable_sort(startsAhead_.begin(), startsAhead_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    MoveFrontier(frontier_);
}

// A part that fails ends the walk: the write stage discards it and ends the run.
void SplitWalk::WalkPart(std::size_t row) {
    Step(WriteStep::Of(WriteStep::Kind::BeginPart, row));
    const Result<std::int32_t> framesWritten = WrittenFrames(row);
    if (framesWritten) {
        Step(WriteStep::EndPart(row, framesWritten.Value(), std::move(partFrames_)));
        return;
    }
    run_ = PendingRun{};
    Step(WriteStep::FailPart(row, framesWritten.Failure().Text));
    partFailed_ = true;
}

Result<std::int32_t> SplitWalk::WrittenFrames(std::size_t row) {
    if (!informationFits_)
        return PartFailure(informationProblem_);
    const Result<std::int32_t> framesWritten = job_.ExactCuts ? ExactCopyPass(row) : CopyPass(row);
    if (framesWritten && framesWritten.Value() == 0)
        return PartFailure("holds no whole frame");
    return framesWritten;
}

Error SplitWalk::UnreadableCandidate() const {
    return PartFailure(source_.ReadFailed() ? "the source cannot be read"
                                            : "a read runs past the end of the source");
}

// The copy pass: the first candidate at or after the start without condition,
// then on while the elapsed time has not passed the end and frames remain; a
// frame that does not lie wholly within the source ends the part.
Result<std::int32_t> SplitWalk::CopyPass(std::size_t row) {
    const std::int32_t endMs = job_.Rows[row].EndMs;
    Result<WalkState> entry = EntryOf(row);
    if (!entry)
        return entry.Failure();
    WalkState state = entry.Value();
    const double originMs = state.ElapsedMs;
    volume_.reset();
    if (job_.Rows[row].Volume.Changes()) {
        const double sourceMs = job_.FrameCount > 0 && job_.Format.SampleRateHz > 0
                                    ? 1000.0 * job_.FrameCount * (versionId_ == 1 ? 1152 : 576) /
                                          job_.Format.SampleRateHz
                                    : endMs;
        volume_.emplace(job_.Rows[row].Volume, std::min<double>(endMs, sourceMs) - originMs,
                        versionId_, job_.Format.SampleRateHz);
    }
    bool withFrontier = state.Position == frontier_.Position;
    std::int32_t framesWritten = 0;
    partFrames_ = PartFrameList{};
    // As it always was, unless rebuilt: the information frame counted too.
    partFrames_.CountsItself = !job_.RebuildInfoFrame;
    bool lastFrameTaken = false;
    do {
        const Candidate candidate = Evaluate(state);
        if (!candidate.Readable)
            return UnreadableCandidate();
        if (candidate.Frame.Accepted) {
            const std::int64_t length = candidate.Frame.Length;
            if (state.Position + length > source_.Size()) {
                lastFrameTaken = true;
                break;
            }
            const std::uint8_t* bytes = Bytes(state.Position, length);
            if (bytes == nullptr)
                return PartFailure("the source cannot be read");
            if (volume_)
                TakeOwn(state, Shaped(bytes, length, state.ElapsedMs - originMs));
            else
                TakeFrame(state, length);
            ++framesWritten;
        }
        Advance(state, candidate);
        // Past the frontier only by a run of bytes that start no frame: the
        // walk's state there is this one.
        if (!withFrontier)
            withFrontier = state.Position >= frontier_.Position;
        if (withFrontier)
            MoveFrontier(state);
    } while (endMs >= state.ElapsedMs && FramesRemain(state));
    partFrames_.ToSourceEnd = lastFrameTaken || !FramesRemain(state);
    Flush();
    return framesWritten;
}

// The exact copy pass: the frames before the first one to copy only fill the
// reservoir; from it, frames up to the tail frame, or the source's end.
Result<std::int32_t> SplitWalk::ExactCopyPass(std::size_t row) {
    const ExactSpan span(gapless_, job_.Rows[row].StartMs, job_.Rows[row].EndMs);
    Result<WalkState> entry = EntryOf(row);
    if (!entry)
        return entry.Failure();
    WalkState state = entry.Value();
    bool withFrontier = state.Position == frontier_.Position;
    partFrames_ = PartFrameList{};
    reservoir_.clear();
    const double sampleMs = 1000.0 / gapless_.SampleRate;
    volume_.reset();
    if (job_.Rows[row].Volume.Changes())
        volume_.emplace(job_.Rows[row].Volume,
                        static_cast<double>(span.End() - span.Start()) * sampleMs, versionId_,
                        gapless_.SampleRate);
    std::int32_t framesWritten = 0;
    std::int32_t silentFrames = 0;
    std::int64_t lastFrame = -1;
    std::array<std::uint8_t, 4> lastHeader{};
    bool tailTaken = false;
    while (!tailTaken && FramesRemain(state)) {
        const Candidate candidate = Evaluate(state);
        if (!candidate.Readable)
            return UnreadableCandidate();
        if (candidate.Frame.Accepted) {
            const std::int64_t length = candidate.Frame.Length;
            if (state.Position + length > source_.Size())
                break;
            const std::uint8_t* bytes = Bytes(state.Position, length);
            if (bytes == nullptr)
                return PartFailure("the source cannot be read");
            if (state.FrameIndex < span.FirstFrame()) {
                KeepMainData(bytes, length);
            } else {
                bool inserted = false;
                std::vector<std::uint8_t> own = Shaped(
                    bytes, length,
                    static_cast<double>(state.FrameIndex * gapless_.FrameSamples - span.Start()) *
                        sampleMs);
                if (framesWritten == 0) {
                    const Result<ExactSpan::LeadIn> lead =
                        InsertLeadIn(span, own.empty() ? bytes : own.data(), length);
                    if (!lead)
                        return lead.Failure();
                    silentFrames = lead.Value().SilentFrames;
                    inserted = lead.Value().FirstHoldsReservoir;
                }
                if (!inserted) {
                    NoteBitrate(bytes);
                    if (own.empty())
                        TakeFrame(state, length);
                    else
                        TakeOwn(state, std::move(own));
                }
                ++framesWritten;
                lastFrame = state.FrameIndex;
                std::copy_n(bytes, lastHeader.size(), lastHeader.begin());
                tailTaken = state.FrameIndex >= span.TailFrame();
            }
        }
        Advance(state, candidate);
        if (!withFrontier)
            withFrontier = state.Position >= frontier_.Position;
        if (withFrontier)
            MoveFrontier(state);
    }
    Flush();
    const bool atSourceEnd = !tailTaken || !FramesRemain(state);
    if (framesWritten == 0 || (atSourceEnd && gapless_.AudioEnd(lastFrame) <= span.Start()))
        return PartFailure("the section starts after the end of the source");
    partFrames_.Trim = span.Trim(silentFrames, lastFrame, atSourceEnd);
    const std::int32_t fillers = FillTinyPart(lastHeader.data());
    partFrames_.Trim->Padding += fillers * gapless_.FrameSamples;
    return framesWritten + silentFrames + fillers;
}

// The frames that go before the part's first: silence, the last of them
// holding the bytes the first frame reads from its predecessors, or the first
// frame rebuilt to hold them itself. At the source's first frame there are
// none to hold: the source lacks them too.
Result<ExactSpan::LeadIn> SplitWalk::InsertLeadIn(const ExactSpan& span,
                                                  const std::uint8_t* firstFrame,
                                                  std::int64_t length) {
    const std::int32_t mainDataBegin =
        span.FirstFrame() > 0
            ? Layer3MainDataBegin(firstFrame, static_cast<std::size_t>(length), versionId_)
            : 0;
    const bool bridge = mainDataBegin > 0;
    const std::vector<std::uint8_t> borrowed =
        bridge ? Borrowed(mainDataBegin) : std::vector<std::uint8_t>();
    // A CBR part stays CBR where the stream's bit rate holds what a frame must.
    const std::int32_t lowestIndex = job_.Format.IsVbr ? 1 : firstFrame[2] >> 4;
    ExactSpan::LeadIn lead = span.LeadInFor(bridge, true);
    std::vector<std::uint8_t> holding;
    if (lead.FirstHoldsReservoir) {
        holding = SelfContainedLayer3Frame(firstFrame, static_cast<std::size_t>(length), versionId_,
                                           borrowed, lowestIndex);
        if (holding.empty())
            lead = span.LeadInFor(bridge, false);
    }
    for (std::int32_t i = 0; i < lead.SilentFrames; ++i) {
        const bool last = i == lead.SilentFrames - 1;
        std::vector<std::uint8_t> frame = SilentLayer3Frame(
            firstFrame, versionId_,
            bridge && last && !lead.FirstHoldsReservoir ? borrowed : std::vector<std::uint8_t>(),
            lowestIndex);
        if (frame.empty())
            return PartFailure("no frame can hold the first frame's reservoir");
        Insert(std::move(frame));
    }
    if (lead.FirstHoldsReservoir)
        Insert(std::move(holding));
    return lead;
}

// ffmpeg takes a file that runs more than a sixteenth past the information
// frame's byte count for one with another file after it, and then trims
// nothing: the ID3v1 tag at the end does that to a part of under 16 x 124
// bytes (the tag's 128, less the header ffmpeg has read). Silent frames after
// the last, in the padding, bring such a part up to size. The count of them
// added.
std::int32_t SplitWalk::FillTinyPart(const std::uint8_t* header) {
    constexpr std::int64_t kLeastTrimmedBytes = 16 * (std::tuple_size_v<TagBlockBytes> - 4);
    constexpr std::int32_t kHighestIndex = 14;
    std::int64_t bytes = static_cast<std::int64_t>(exactInformationFrame_.size());
    for (const std::uint16_t length : partFrames_.Lengths)
        bytes += length;
    const std::int64_t sideInfo = 4 + Layer3SideInfoBytes(versionId_, (header[3] >> 6) == 3);
    std::int32_t fillers = 0;
    for (; bytes < kLeastTrimmedBytes; ++fillers) {
        // The smallest frame that closes the gap, else the largest.
        std::vector<std::uint8_t> frame = SilentLayer3Frame(
            header, versionId_,
            std::vector<std::uint8_t>(static_cast<std::size_t>(
                std::max<std::int64_t>(0, kLeastTrimmedBytes - bytes - sideInfo))));
        if (frame.empty())
            frame = SilentLayer3Frame(header, versionId_, {}, kHighestIndex);
        bytes += static_cast<std::int64_t>(frame.size());
        Insert(std::move(frame));
    }
    return fillers;
}

void SplitWalk::Insert(std::vector<std::uint8_t> frame) {
    NoteBitrate(frame.data());
    NoteLength(static_cast<std::int64_t>(frame.size()));
    NoteAudio(frame.data(), static_cast<std::int64_t>(frame.size()));
    Step(WriteStep::Insert(std::move(frame)));
}

// The main data of the frames before a part's first, of which it may read the last 511 bytes.
void SplitWalk::KeepMainData(const std::uint8_t* bytes, std::int64_t length) {
    constexpr std::size_t kLongestReservoir = 511;
    const std::int64_t begin = Layer3MainDataOffset(bytes, versionId_);
    if (begin >= length)
        return;
    reservoir_.insert(reservoir_.end(), bytes + begin, bytes + length);
    if (reservoir_.size() > 8 * kLongestReservoir)
        reservoir_.erase(reservoir_.begin(),
                         reservoir_.end() - static_cast<std::ptrdiff_t>(kLongestReservoir));
}

// The last count bytes of main data before the part's first frame; zeros
// stand for any the source does not hold.
std::vector<std::uint8_t> SplitWalk::Borrowed(std::int32_t count) const {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count), 0);
    const std::size_t held = std::min(bytes.size(), reservoir_.size());
    std::copy(reservoir_.end() - static_cast<std::ptrdiff_t>(held), reservoir_.end(),
              bytes.end() - static_cast<std::ptrdiff_t>(held));
    return bytes;
}

// One source frame into the part, in the pending run.
void SplitWalk::TakeFrame(const WalkState& state, std::int64_t length) {
    NoteFrame(state, length);
    if (run_.End != state.Position) {
        Flush();
        run_.Begin = state.Position;
    }
    run_.End = state.Position + length;
}

// The frame with the part's gains, or nothing when the part keeps the source's.
std::vector<std::uint8_t> SplitWalk::Shaped(const std::uint8_t* bytes, std::int64_t length,
                                            double frameMs) const {
    if (!volume_)
        return {};
    std::vector<std::uint8_t> frame(bytes, bytes + length);
    volume_->Shape(frame, frameMs);
    return frame;
}

// A frame of the part's own in place of the source's at state.
void SplitWalk::TakeOwn(const WalkState& state, std::vector<std::uint8_t> frame) {
    NoteFrame(state, static_cast<std::int64_t>(frame.size()));
    Flush();
    NoteAudio(frame.data(), static_cast<std::int64_t>(frame.size()));
    Step(WriteStep::Insert(std::move(frame)));
}

// Keeps what the part's information frame tells of its frames.
void SplitWalk::NoteFrame(const WalkState& state, std::int64_t length) {
    if (!job_.CarriesInformationFrame())
        return;
    if (partFrames_.Lengths.empty())
        partFrames_.FromSourceStart = state.FrameIndex == 0;
    NoteLength(length);
}

// The music CRC, over the part's audio bytes in the order they are written.
// Taken in the walk: the write stage's thread, handing every byte to the
// system, is the busier of the two.
void SplitWalk::NoteAudio(const std::uint8_t* bytes, std::int64_t count) {
    if (job_.CarriesInformationFrame())
        partFrames_.AudioCrc = Crc16(partFrames_.AudioCrc, bytes, static_cast<std::size_t>(count));
}

// Whether the part's frames have more than one bit rate, the first one's
// being the frame list's first.
void SplitWalk::NoteBitrate(const std::uint8_t* header) {
    const std::int32_t index = header[2] >> 4;
    if (partFrames_.Lengths.empty())
        partBitrateIndex_ = index;
    partFrames_.MixedBitrates = partFrames_.MixedBitrates || index != partBitrateIndex_;
}

void SplitWalk::NoteLength(std::int64_t length) {
    partFrames_.Lengths.push_back(static_cast<std::uint16_t>(length));
}

std::int64_t SplitWalk::EntryKey(const SplitJobRow& row) const {
    if (job_.ExactCuts)
        return ExactSpan(gapless_, row.StartMs, row.EndMs).EntryFrame();
    return row.StartMs;
}

// How far the walk has come, in the measure of the entry keys.
double SplitWalk::Progress(const WalkState& state) const {
    return job_.ExactCuts ? static_cast<double>(state.FrameIndex) : state.ElapsedMs;
}

// The state at which the row's skip pass ends, walking the frontier on (the
// skip pass moves over a frame without testing that it lies within the source)
// until it gets there. A skip that runs out of source fails the part.
Result<WalkState> SplitWalk::EntryOf(std::size_t row) {
    while (!entries_[row] && !frontierEnded_) {
        WalkState next = frontier_;
        const Candidate candidate = Evaluate(next);
        if (!candidate.Readable) {
            frontierEnded_ = true;
            break;
        }
        Advance(next, candidate);
        MoveFrontier(next);
    }
    if (!entries_[row])
        return PartFailure(source_.ReadFailed() ? "the source cannot be read"
                                                : "the section starts after the end of the source");
    return *entries_[row];
}

Candidate SplitWalk::Evaluate(const WalkState& state) {
    const Candidate candidate = stepper_.Evaluate(state.Position);
    headersExamined_ += candidate.Readable ? 1 : 0;
    return candidate;
}

void SplitWalk::MoveFrontier(const WalkState& state) {
    frontier_ = state;
    while (nextStart_ < startsAhead_.size() &&
           static_cast<double>(startsAhead_[nextStart_].first) <= Progress(frontier_)) {
        entries_[startsAhead_[nextStart_].second] = frontier_;
        ++nextStart_;
    }
}

// The frame index is below the frame count: a counted frame lies ahead.
bool SplitWalk::FramesRemain(const WalkState& state) {
    if (!countInWalk_)
        return state.FrameIndex < frameCount_;
    if (state.CountEnded)
        return false;
    if (state.Position >= knownFrom_ && state.Position <= knownTo_)
        return knownAnswer_;
    knownFrom_ = state.Position;
    knownAnswer_ = CountedFrameFrom(state.Position);
    return knownAnswer_;
}

// Whether the first frame at or after position (the bytes before it are
// junk the walk passes one by one) is one that the scan counts.
bool SplitWalk::CountedFrameFrom(std::int64_t position) {
    for (std::int64_t p = position;; ++p) {
        knownTo_ = p;
        const std::uint8_t* header = Bytes(p, 4);
        if (header == nullptr)
            return false;
        ++headersExamined_;
        const FrameCandidate& frame = stepper_.Rule(header);
        if (frame.Accepted)
            return counting_.FrameCounts(p, frame.Length);
        const std::int64_t next = header[0] == 0xFF ? p + 1 : stepper_.NextPossibleFrame(p);
        if (counting_.StepEndsCount(p, next))
            return false;
        p = next - 1;
    }
}

// The source's bytes; the pending stretch of frames goes to the writer first
// when the block that holds it is to move on.
const std::uint8_t* SplitWalk::Bytes(std::int64_t offset, std::int64_t count) {
    if (run_.End > run_.Begin && !source_.Holds(offset, count))
        Flush();
    return source_.Fetch(offset, count);
}

void SplitWalk::Flush() {
    if (run_.End > run_.Begin) {
        NoteAudio(source_.HeldBytes(run_.Begin), run_.End - run_.Begin);
        Step(WriteStep::Frames(run_.Begin, run_.End - run_.Begin));
    }
    run_ = PendingRun{};
}

// Walk and write overlap: the walk reads ahead into the ring while the write
// stage writes the blocks it has handed on.
constexpr std::size_t kRingBlocks = 8;

class SplitRun {
public:
    SplitRun(const SplitJob& job, const SplitCallbacks& callbacks)
        : job_(job), stage_(job, callbacks, outcome_) {}

    SplitOutcome Run();

private:
    void Split(ByteSource& bytes);

    const SplitJob& job_;
    SplitOutcome outcome_;
    WriteStage stage_;
};

SplitOutcome SplitRun::Run() {
    try {
        FileSource file;
        if (const Result<void> opened = file.Open(job_.SourcePath))
            Split(file);
        else
            stage_.Fail(job_.SourcePath + ": cannot open the source: " + opened.Failure().Text);
    } catch (const std::exception& error) {
        stage_.Fail(job_.SourcePath + ": " + error.what());
    }
    outcome_.Success = outcome_.Errors.empty() && outcome_.PartsWritten == job_.PartsToWrite();
    return outcome_;
}

void SplitRun::Split(ByteSource& bytes) {
    SourceRing ring(kRingBlocks);
    SourceReader source(bytes, ring);
    SplitWalk walk(job_, source);
    if (const Result<void> prepared = walk.Prepare(); !prepared) {
        stage_.Fail(prepared.Failure().Text);
        return;
    }
    stage_.SetInformationFrame(walk.InformationFrame());
    {
        std::jthread walker([&walk] { walk.Walk(); });
        // However the stage ends, the walk stops waiting for blocks and is joined.
        struct CancelOnExit {
            SourceRing& Ring;
            ~CancelOnExit() { Ring.Cancel(); }
        } cancel{ring};
        stage_.Drain(ring);
    }
    outcome_.HeadersExamined = walk.HeadersExamined();
    if (!walk.Problem().empty() && !stage_.Ended())
        stage_.Fail(job_.SourcePath + ": " + walk.Problem());
}

} // namespace

SplitOutcome WriteAllParts(const SplitJob& job, const SplitCallbacks& callbacks) {
    return SplitRun(job, callbacks).Run();
}
