#include "split/split_worker.h"

#include "core/audio_info.h"
#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "core/preload_scan.h"
#include "split/output_naming.h"
#include "split/part_file_writer.h"
#include "split/source_reader.h"
#include "split/split_list.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

std::int32_t SplitJob::PartsToWrite() const {
    return static_cast<std::int32_t>(
        std::count_if(Rows.begin(), Rows.end(),
                      [](const SplitJobRow& row) { return row.Checked && row.DoWrite; }));
}

namespace {

bool IsToWrite(const SplitJobRow& row) {
    return row.Checked && row.DoWrite;
}

// Where a walk from the first audio frame stands: every part's walk passes
// through the same states, so a state reached once serves every later part.
struct WalkState {
    std::int64_t Position = 0;
    std::int32_t FrameIndex = 0;
    double ElapsedMs = 0.0;
};

struct Candidate {
    bool Readable = false;      // four header bytes were there to read
    bool CanStartFrame = false; // the first byte is 0xFF
    FrameCandidate Frame;
};

// A stretch of whole frames that lie back to back in the source, written at once.
struct PendingRun {
    std::int64_t Begin = 0;
    std::int64_t End = 0;
};

// The frame rule, asked again only when a header's first three bytes differ
// from the last one's (the rule reads nothing else), as they seldom do.
class RememberedRule {
public:
    RememberedRule(std::int32_t versionId, std::int32_t layer)
        : versionId_(versionId), layer_(layer) {}

    const FrameCandidate& Evaluate(const std::uint8_t* b) {
        const std::uint32_t key = std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
        if (key != lastKey_) {
            last_ = EvaluateFrame(b, versionId_, layer_);
            lastKey_ = key;
        }
        return last_;
    }

private:
    std::int32_t versionId_;
    std::int32_t layer_;
    std::uint32_t lastKey_ = 0xFFFFFFFF;
    FrameCandidate last_;
};

class PartFailure {
public:
    explicit PartFailure(std::string reason) : Reason(std::move(reason)) {}
    std::string Reason;
};

class SplitRun {
public:
    SplitRun(const SplitJob& job, const SplitCallbacks& callbacks)
        : job_(job), callbacks_(callbacks), rule_(job.VersionId, job.Layer),
          frameCount_(job.FrameCount), entries_(job.Rows.size()) {}

    SplitOutcome Run();

private:
    bool OpenSource();
    void ReadInformationFrame();
    bool SettleFrameCount();
    void WriteRows();
    void PlanEntries();
    void WritePart(std::size_t row);
    void WritePartBody(std::size_t row, PartFileWriter& writer);
    std::int32_t CopyPass(std::size_t row);
    void NoteFrame(const WalkState& state, const std::uint8_t* bytes, std::int64_t length);
    void PatchInformationFrame(std::int32_t framesWritten, PartFileWriter& writer);

    WalkState EntryOf(std::size_t row);
    bool FramesRemain(const WalkState& state);
    bool CountedFrameFrom(std::int64_t position);
    const std::uint8_t* Bytes(std::int64_t offset, std::int64_t count);
    Candidate Evaluate(const WalkState& state);
    void Advance(WalkState& state, const Candidate& candidate);
    std::int64_t NextPossibleFrame(std::int64_t position);
    void MoveFrontier(const WalkState& state);
    void Flush();
    void Fail(const std::string& line);

    const SplitJob& job_;
    const SplitCallbacks& callbacks_;
    SplitOutcome outcome_;
    SourceReader source_;
    RememberedRule rule_;

    // The information frame, read once: every part begins with the same one.
    bool informationFits_ = true;
    std::string informationProblem_;
    std::vector<std::uint8_t> informationFrame_;
    std::int64_t audioStart_ = 0;

    // With the frame count unknown, a frame counts as the scan would count it:
    // the first audio frame of a source without information frame, and every
    // frame that starts at least the first frame's length before the end.
    bool countInWalk_ = false;
    std::int64_t lastCountedStart_ = 0;
    std::int64_t knownFrom_ = -1; // positions known to reach (or not) a counted frame
    std::int64_t knownTo_ = -1;
    bool knownAnswer_ = false;

    // The part being written and its pending stretch of frames.
    PartFileWriter* writer_ = nullptr;
    PendingRun run_;
    std::int64_t prefixBytes_ = 0; // where the information frame stands in the part
    PartFrameList partFrames_;     // what a rebuilt information frame describes

    // The walk's furthest state, and for each part to write the state at
    // which its skip ends (the first state whose elapsed time reaches its start).
    std::int32_t frameCount_ = 0;
    WalkState frontier_;
    bool frontierEnded_ = false;
    std::vector<std::pair<std::int32_t, std::size_t>> startsAhead_; // (StartMs, row), sorted
    std::size_t nextStart_ = 0;
    std::vector<std::optional<WalkState>> entries_;
    bool runEnded_ = false;
};

SplitOutcome SplitRun::Run() {
    try {
        if (OpenSource()) {
            ReadInformationFrame();
            if (SettleFrameCount())
                WriteRows();
        }
    } catch (const std::exception& error) {
        // Anything else (memory, say) ends the run too; the part's file is gone with its writer.
        Fail(job_.SourcePath + ": " + error.what());
    }
    outcome_.Success = outcome_.Errors.empty() && outcome_.PartsWritten == job_.PartsToWrite();
    return outcome_;
}

// Row by row, as the list shows them; a stop request is read after each row.
void SplitRun::WriteRows() {
    PlanEntries();
    for (std::size_t row = 0; row < job_.Rows.size() && !runEnded_; ++row) {
        if (IsToWrite(job_.Rows[row]))
            WritePart(row);
        if (!runEnded_ && callbacks_.StopRequested && callbacks_.StopRequested()) {
            outcome_.Stopped = true;
            return;
        }
    }
}

bool SplitRun::OpenSource() {
    std::string reason;
    if (!source_.Open(job_.SourcePath, reason)) {
        Fail(job_.SourcePath + ": cannot open the source: " + reason);
        return false;
    }
    if (job_.FirstFrameOffset < 0) {
        Fail(job_.SourcePath + ": no MPEG audio frame found");
        return false;
    }
    return true;
}

void SplitRun::ReadInformationFrame() {
    frontier_.Position = job_.FirstFrameOffset;
    if (!job_.HasInfoFrame)
        return;
    const std::uint8_t* header = source_.Fetch(job_.FirstFrameOffset, 4);
    const std::int32_t length =
        header == nullptr ? 0 : InformationFrameLength(header, job_.VersionId, job_.Layer);
    // A length too short to hold its own header, or a frame that runs past the
    // end of the source, cannot be carried into the parts.
    const std::uint8_t* frame =
        length >= 4 ? source_.Fetch(job_.FirstFrameOffset, length) : nullptr;
    if (frame == nullptr) {
        informationFits_ = false;
        informationProblem_ = "the information frame does not fit in the source";
        return;
    }
    informationFrame_.assign(frame, frame + length);
    frontier_.Position = job_.FirstFrameOffset + length;
}

// An unknown frame count is counted in the walk when the walk is the scan's
// own; when the scan would walk the information frame differently, it runs.
bool SplitRun::SettleFrameCount() {
    audioStart_ = frontier_.Position;
    if (job_.FrameCount != 0)
        return true;
    lastCountedStart_ = source_.Size() - std::max<std::int64_t>(job_.FirstFrameBytes, 4);
    const std::uint8_t* first = source_.Fetch(job_.FirstFrameOffset, 4);
    const bool sameWalk =
        !job_.HasInfoFrame || informationFrame_.empty() ||
        (first != nullptr && EvaluateFrame(first, job_.VersionId, job_.Layer).Length ==
                                 static_cast<std::int32_t>(informationFrame_.size()));
    if (sameWalk) {
        countInWalk_ = true;
        return true;
    }
    ScanSource scan;
    scan.Path = job_.SourcePath;
    scan.FirstFrameOffset = job_.FirstFrameOffset;
    scan.HasInfoFrame = job_.HasInfoFrame;
    scan.VersionId = job_.VersionId;
    scan.Layer = job_.Layer;
    scan.FrameBytes = job_.FirstFrameBytes;
    try {
        frameCount_ = PreloadScan(scan).FrameCount;
    } catch (const ScanError& error) {
        Fail(error.what());
        return false;
    }
    return true;
}

void SplitRun::PlanEntries() {
    for (std::size_t row = 0; row < job_.Rows.size(); ++row) {
        if (IsToWrite(job_.Rows[row]))
            startsAhead_.emplace_back(job_.Rows[row].StartMs, row);
    }
    std::stable_sort(startsAhead_.begin(), startsAhead_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    MoveFrontier(frontier_);
}

void SplitRun::WritePart(std::size_t row) {
    const SplitJobRow& part = job_.Rows[row];
    if (callbacks_.StepProgress)
        callbacks_.StepProgress();
    PartFileWriter writer;
    writer_ = &writer;
    run_ = PendingRun{};
    try {
        if (IsSourceFile(part.OutPath, job_.SourcePath))
            throw PartFailure("it is the source file itself");
        std::string reason;
        if (!writer.Create(part.OutPath, part.MayReplace, reason))
            throw PartFailure(reason);
        const std::vector<std::uint8_t> prefix =
            job_.PartPrefix ? job_.PartPrefix(row) : std::vector<std::uint8_t>();
        prefixBytes_ = static_cast<std::int64_t>(prefix.size());
        if (!writer.Write(prefix.data(), prefixBytes_, reason))
            throw PartFailure(reason);
        WritePartBody(row, writer);
        switch (writer.Commit(reason)) {
        case CommitResult::Written:
            ++outcome_.PartsWritten;
            break;
        case CommitResult::NameTaken:
            // Like a name found taken before the run: this part is skipped, the run goes on.
            outcome_.Errors.push_back(part.OutPath + ": the file exists; not overwritten");
            break;
        case CommitResult::Failed:
            throw PartFailure(reason);
        }
    } catch (const PartFailure& failure) {
        writer.Discard();
        Fail(part.OutPath + ": " + failure.Reason);
    }
    writer_ = nullptr;
}

void SplitRun::WritePartBody(std::size_t row, PartFileWriter& writer) {
    std::string reason;
    if (!informationFits_)
        throw PartFailure(informationProblem_);
    const bool carriesInformation = job_.HasInfoFrame && job_.SaveFrameOption;
    if (carriesInformation &&
        !writer.Write(informationFrame_.data(), static_cast<std::int64_t>(informationFrame_.size()),
                      reason))
        throw PartFailure(reason);
    const std::int32_t framesWritten = CopyPass(row);
    if (framesWritten == 0)
        throw PartFailure("holds no whole frame");
    if (carriesInformation)
        PatchInformationFrame(framesWritten, writer);
    const TagBlockBytes& tag = job_.Rows[row].Tag;
    if (!writer.Write(tag.data(), static_cast<std::int64_t>(tag.size()), reason))
        throw PartFailure(reason);
}

// The copy pass: the first candidate at or after the start without condition,
// then on while the elapsed time has not passed the end and frames remain; a
// frame that does not lie wholly within the source ends the part.
std::int32_t SplitRun::CopyPass(std::size_t row) {
    const std::int32_t endMs = job_.Rows[row].EndMs;
    WalkState state = EntryOf(row);
    bool withFrontier = state.Position == frontier_.Position;
    std::int32_t framesWritten = 0;
    partFrames_ = PartFrameList{};
    bool lastFrameTaken = false;
    do {
        const Candidate candidate = Evaluate(state);
        if (!candidate.Readable)
            throw PartFailure(source_.ReadFailed() ? "the source cannot be read"
                                                   : "a read runs past the end of the source");
        if (candidate.Frame.Accepted) {
            const std::int64_t length = candidate.Frame.Length;
            if (state.Position + length > source_.Size()) {
                lastFrameTaken = true;
                break;
            }
            const std::uint8_t* bytes = Bytes(state.Position, length);
            if (bytes == nullptr)
                throw PartFailure("the source cannot be read");
            NoteFrame(state, bytes, length);
            if (run_.End != state.Position) {
                Flush();
                run_.Begin = state.Position;
            }
            run_.End = state.Position + length;
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

// Keeps what a rebuilt information frame tells of the part's frames.
void SplitRun::NoteFrame(const WalkState& state, const std::uint8_t* bytes, std::int64_t length) {
    if (!job_.RebuildInfoFrame)
        return;
    if (partFrames_.Lengths.empty())
        partFrames_.FromSourceStart = state.FrameIndex == 0;
    partFrames_.Lengths.push_back(static_cast<std::uint16_t>(length));
    partFrames_.AudioCrc = Crc16(partFrames_.AudioCrc, bytes, static_cast<std::size_t>(length));
}

void SplitRun::PatchInformationFrame(std::int32_t framesWritten, PartFileWriter& writer) {
    const std::int32_t markerOffset = InformationHeaderOffset(job_.VersionId, job_.ChannelMode);
    std::vector<std::uint8_t> frame =
        job_.RebuildInfoFrame
            ? RebuildInformationFrame(informationFrame_, markerOffset, partFrames_)
            : informationFrame_;
    const auto marker = static_cast<std::size_t>(markerOffset);
    if (!job_.RebuildInfoFrame && marker + 12 <= frame.size() && (frame[marker + 7] & 1) != 0) {
        const std::uint32_t count = static_cast<std::uint32_t>(framesWritten) + 1;
        for (std::size_t i = 0; i < 4; ++i)
            frame[marker + 8 + i] = static_cast<std::uint8_t>(count >> (24 - 8 * i));
    }
    std::string reason;
    if (!writer.WriteAt(prefixBytes_, frame.data(), static_cast<std::int64_t>(frame.size()),
                        reason))
        throw PartFailure(reason);
}

// The state at which the row's skip pass ends, walking the frontier on (the
// skip pass moves over a frame without testing that it lies within the source)
// until it gets there. A skip that runs out of source fails the part.
WalkState SplitRun::EntryOf(std::size_t row) {
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
        throw PartFailure(source_.ReadFailed() ? "the source cannot be read"
                                               : "the section starts after the end of the source");
    return *entries_[row];
}

Candidate SplitRun::Evaluate(const WalkState& state) {
    Candidate candidate;
    const std::uint8_t* header = Bytes(state.Position, 4);
    if (header == nullptr)
        return candidate;
    ++outcome_.HeadersExamined;
    candidate.Readable = true;
    candidate.CanStartFrame = header[0] == 0xFF;
    candidate.Frame = rule_.Evaluate(header);
    return candidate;
}

// A rejected candidate adds no time and no frame: the walk moves one byte on,
// or where no frame can start there, on to the next 0xFF at once.
void SplitRun::Advance(WalkState& state, const Candidate& candidate) {
    if (!candidate.Frame.Accepted) {
        state.Position =
            candidate.CanStartFrame ? state.Position + 1 : NextPossibleFrame(state.Position);
        return;
    }
    state.Position += candidate.Frame.Length;
    ++state.FrameIndex;
    state.ElapsedMs =
        AddFrameDuration(state.ElapsedMs, candidate.Frame.Length, candidate.Frame.BitrateBps);
}

void SplitRun::MoveFrontier(const WalkState& state) {
    frontier_ = state;
    while (nextStart_ < startsAhead_.size() &&
           startsAhead_[nextStart_].first <= frontier_.ElapsedMs) {
        entries_[startsAhead_[nextStart_].second] = frontier_;
        ++nextStart_;
    }
}

// The next position after position (which holds no 0xFF) at which a frame
// can start, looked for within a span of the source; at most the first
// position too close to the end to hold a header, where every walk ends.
std::int64_t SplitRun::NextPossibleFrame(std::int64_t position) {
    const std::int64_t span = std::min(SourceReader::kMaxSpan, source_.Size() - 3 - position);
    const std::uint8_t* bytes = span > 1 ? Bytes(position, span) : nullptr;
    if (bytes == nullptr)
        return position + 1;
    const void* found = std::memchr(bytes, 0xFF, static_cast<std::size_t>(span));
    return found == nullptr ? position + span
                            : position + (static_cast<const std::uint8_t*>(found) - bytes);
}

// The frame index is below the frame count: a counted frame lies ahead.
bool SplitRun::FramesRemain(const WalkState& state) {
    if (!countInWalk_)
        return state.FrameIndex < frameCount_;
    if (state.Position >= knownFrom_ && state.Position <= knownTo_)
        return knownAnswer_;
    knownFrom_ = state.Position;
    knownAnswer_ = CountedFrameFrom(state.Position);
    return knownAnswer_;
}

// Whether the first frame at or after position (the bytes before it are
// junk the walk passes one by one) is one that the scan counts.
bool SplitRun::CountedFrameFrom(std::int64_t position) {
    for (std::int64_t p = position;; ++p) {
        knownTo_ = p;
        const bool firstAudioFrame = !job_.HasInfoFrame && p == audioStart_;
        if (p > lastCountedStart_ && !firstAudioFrame)
            return false;
        const std::uint8_t* header = Bytes(p, 4);
        if (header == nullptr)
            return false;
        ++outcome_.HeadersExamined;
        if (rule_.Evaluate(header).Accepted)
            return true;
        if (header[0] != 0xFF)
            p = NextPossibleFrame(p) - 1;
    }
}

// The source's bytes, written out first when the block that holds the
// pending stretch of frames has to move.
const std::uint8_t* SplitRun::Bytes(std::int64_t offset, std::int64_t count) {
    if (run_.End > run_.Begin && !source_.Holds(offset, count))
        Flush();
    return source_.Fetch(offset, count);
}

void SplitRun::Flush() {
    if (run_.End > run_.Begin) {
        std::string reason;
        if (!writer_->Write(source_.HeldBytes(run_.Begin), run_.End - run_.Begin, reason))
            throw PartFailure(reason);
    }
    run_ = PendingRun{};
}

void SplitRun::Fail(const std::string& line) {
    outcome_.Errors.push_back(line);
    runEnded_ = true;
    if (callbacks_.SplitError)
        callbacks_.SplitError(line);
}

} // namespace

SplitOutcome WriteAllParts(const SplitJob& job, const SplitCallbacks& callbacks) {
    return SplitRun(job, callbacks).Run();
}
