#include "split/split_worker.h"

#include "core/audio_info.h"
#include "core/frame_rule.h"
#include "split/output_naming.h"
#include "split/part_file_writer.h"
#include "split/source_reader.h"
#include "split/split_list.h"

#include <algorithm>
#include <optional>
#include <utility>

SplitJob SplitJob::From(const std::string& sourcePath, const TAudioInfo& info,
                        std::int32_t frameCount, bool saveFrameOption, const SplitList& list) {
    SplitJob job;
    job.SourcePath = sourcePath;
    job.FirstFrameOffset = info.FirstFrameOffset;
    job.IsVbr = info.IsVbr;
    job.HasInfoFrame = info.HasInfoFrame;
    job.VersionId = info.Header.VersionId;
    job.ChannelMode = info.Header.ChannelMode();
    job.FrameCount = frameCount;
    job.SaveFrameOption = saveFrameOption;
    for (const SplitListItem& entry : list.Entries()) {
        SplitJobRow row;
        row.Checked = entry.Checked;
        row.DoWrite = entry.DoWrite;
        row.OutPath = entry.OutPath;
        row.StartMs = entry.StartMs;
        row.EndMs = entry.EndMs;
        row.Tag = EncodeEntryTag(entry);
        job.Rows.push_back(std::move(row));
    }
    return job;
}

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
    bool Readable = false; // four header bytes were there to read
    FrameCandidate Frame;
};

// A stretch of whole frames that lie back to back in the source, written at once.
struct PendingRun {
    std::int64_t Begin = 0;
    std::int64_t End = 0;
};

class PartFailure {
public:
    explicit PartFailure(std::string reason) : Reason(std::move(reason)) {}
    std::string Reason;
};

class SplitRun {
public:
    SplitRun(const SplitJob& job, const SplitCallbacks& callbacks)
        : job_(job), callbacks_(callbacks), entries_(job.Rows.size()) {}

    SplitOutcome Run();

private:
    bool OpenSource();
    void ReadInformationFrame();
    void PlanEntries();
    void WritePart(std::size_t row);
    void WritePartBody(std::size_t row, PartFileWriter& writer);
    std::int32_t CopyPass(std::size_t row, PartFileWriter& writer);
    void PatchInformationFrame(std::int32_t framesWritten, PartFileWriter& writer);

    WalkState EntryOf(std::size_t row);
    Candidate Evaluate(const WalkState& state);
    static void Advance(WalkState& state, const Candidate& candidate);
    void MoveFrontier(const WalkState& state);
    void Flush(PendingRun& run, PartFileWriter& writer);
    void Fail(const std::string& line);

    const SplitJob& job_;
    const SplitCallbacks& callbacks_;
    SplitOutcome outcome_;
    SourceReader source_;

    // The information frame, read once: every part begins with the same one.
    bool informationFits_ = true;
    std::string informationProblem_;
    std::vector<std::uint8_t> informationFrame_;

    // The walk's furthest state, and for each part to write the state at
    // which its skip ends (the first state whose elapsed time reaches its start).
    WalkState frontier_;
    bool frontierEnded_ = false;
    std::vector<std::pair<std::int32_t, std::size_t>> startsAhead_; // (StartMs, row), sorted
    std::size_t nextStart_ = 0;
    std::vector<std::optional<WalkState>> entries_;
    bool runEnded_ = false;
};

SplitOutcome SplitRun::Run() {
    if (OpenSource()) {
        ReadInformationFrame();
        PlanEntries();
        for (std::size_t row = 0; row < job_.Rows.size() && !runEnded_; ++row) {
            if (IsToWrite(job_.Rows[row]))
                WritePart(row);
            if (!runEnded_ && callbacks_.StopRequested && callbacks_.StopRequested()) {
                outcome_.Stopped = true;
                break;
            }
        }
    }
    outcome_.SourceBytesRead = source_.BytesRead();
    outcome_.Success = outcome_.Errors.empty() && outcome_.PartsWritten == job_.PartsToWrite();
    return outcome_;
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
        header == nullptr ? 0 : InformationFrameLength(header, job_.VersionId);
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
    try {
        if (IsSourceFile(part.OutPath, job_.SourcePath))
            throw PartFailure("it is the source file itself");
        std::string reason;
        if (!writer.Create(part.OutPath, reason))
            throw PartFailure(reason);
        WritePartBody(row, writer);
        if (!writer.Commit(reason))
            throw PartFailure(reason);
        ++outcome_.PartsWritten;
    } catch (const PartFailure& failure) {
        writer.Discard();
        Fail(part.OutPath + ": " + failure.Reason);
    }
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
    const std::int32_t framesWritten = CopyPass(row, writer);
    if (carriesInformation)
        PatchInformationFrame(framesWritten, writer);
    const TagBlockBytes& tag = job_.Rows[row].Tag;
    if (!writer.Write(tag.data(), static_cast<std::int64_t>(tag.size()), reason))
        throw PartFailure(reason);
}

// The copy pass: the first candidate at or after the start without condition,
// then on while the elapsed time has not passed the end and frames remain; a
// frame that does not lie wholly within the source ends the part.
std::int32_t SplitRun::CopyPass(std::size_t row, PartFileWriter& writer) {
    const std::int32_t endMs = job_.Rows[row].EndMs;
    WalkState state = EntryOf(row);
    bool withFrontier = state.Position == frontier_.Position;
    PendingRun run;
    std::int32_t framesWritten = 0;
    do {
        if (!source_.Holds(state.Position, 4))
            Flush(run, writer);
        const Candidate candidate = Evaluate(state);
        if (!candidate.Readable)
            throw PartFailure(source_.ReadFailed() ? "the source cannot be read"
                                                   : "a read runs past the end of the source");
        if (candidate.Frame.Accepted) {
            const std::int64_t length = candidate.Frame.Length;
            if (state.Position + length > source_.Size())
                break;
            if (!source_.Holds(state.Position, length)) {
                Flush(run, writer);
                if (source_.Fetch(state.Position, length) == nullptr)
                    throw PartFailure("the source cannot be read");
            }
            if (run.End != state.Position) {
                Flush(run, writer);
                run.Begin = state.Position;
            }
            run.End = state.Position + length;
            ++framesWritten;
        }
        Advance(state, candidate);
        if (withFrontier)
            MoveFrontier(state);
        else
            withFrontier = state.Position == frontier_.Position;
    } while (endMs >= state.ElapsedMs && state.FrameIndex < job_.FrameCount);
    Flush(run, writer);
    return framesWritten;
}

void SplitRun::PatchInformationFrame(std::int32_t framesWritten, PartFileWriter& writer) {
    std::vector<std::uint8_t> frame = informationFrame_;
    const std::size_t marker =
        static_cast<std::size_t>(InformationHeaderOffset(job_.VersionId, job_.ChannelMode));
    if (marker + 12 <= frame.size() && (frame[marker + 7] & 1) != 0) {
        const std::uint32_t count = static_cast<std::uint32_t>(framesWritten) + 1;
        for (std::size_t i = 0; i < 4; ++i)
            frame[marker + 8 + i] = static_cast<std::uint8_t>(count >> (24 - 8 * i));
    }
    std::string reason;
    if (!writer.WriteAt(0, frame.data(), static_cast<std::int64_t>(frame.size()), reason))
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
    const std::uint8_t* header = source_.Fetch(state.Position, 4);
    if (header == nullptr)
        return candidate;
    candidate.Readable = true;
    candidate.Frame = EvaluateFrame(header, job_.VersionId);
    return candidate;
}

void SplitRun::Advance(WalkState& state, const Candidate& candidate) {
    if (!candidate.Frame.Accepted) {
        ++state.Position;
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

void SplitRun::Flush(PendingRun& run, PartFileWriter& writer) {
    if (run.End <= run.Begin)
        return;
    std::string reason;
    if (!writer.Write(source_.HeldBytes(run.Begin), run.End - run.Begin, reason))
        throw PartFailure(reason);
    run = PendingRun{};
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
