#include "split/write_stage.h"

#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "split/output_naming.h"

#include <utility>

namespace {

class PartFailure {
public:
    explicit PartFailure(std::string reason) : Reason(std::move(reason)) {}
    std::string Reason;
};

} // namespace

WriteStage::WriteStage(const SplitJob& job, const SplitCallbacks& callbacks, SplitOutcome& outcome)
    : job_(job), callbacks_(callbacks), outcome_(outcome),
      carriesInformation_(job.ExactCuts || (job.Format.HasInfoFrame && job.SaveFrameOption)) {}

void WriteStage::Drain(SourceRing& ring) {
    while (!ended_) {
        SourceBlock* block = ring.Next();
        if (block == nullptr)
            return;
        for (const WriteStep& step : block->Steps) {
            Do(step, *block);
            if (ended_)
                break;
        }
        block->Steps.clear();
        ring.Release(block);
    }
}

void WriteStage::Do(const WriteStep& step, const SourceBlock& block) {
    try {
        switch (step.What) {
        case WriteStep::Kind::BeginPart:
            BeginPart(step.Row);
            break;
        case WriteStep::Kind::Frames:
            WriteAudio(block.Bytes.data() + (step.Offset - block.Start), step.Count);
            break;
        case WriteStep::Kind::Insert:
            WriteAudio(step.Data.data(), static_cast<std::int64_t>(step.Data.size()));
            break;
        case WriteStep::Kind::EndPart:
            EndPart(step);
            break;
        case WriteStep::Kind::FailPart:
            throw PartFailure(step.Reason);
        case WriteStep::Kind::EndRow:
            EndRow();
            break;
        }
    } catch (const PartFailure& failure) {
        FailPart(failure.Reason);
    }
}

void WriteStage::BeginPart(std::size_t row) {
    row_ = row;
    if (callbacks_.StepProgress)
        callbacks_.StepProgress();
    const SplitJobRow& part = job_.Rows[row];
    if (IsSourceFile(part.OutPath, job_.SourcePath))
        throw PartFailure("it is the source file itself");
    std::string reason;
    if (!writer_.Create(part.OutPath, part.MayReplace, reason))
        throw PartFailure(reason);
    partBytes_ = 0;
    const std::vector<std::uint8_t> prefix =
        job_.PartPrefix ? job_.PartPrefix(row) : std::vector<std::uint8_t>();
    prefixBytes_ = static_cast<std::int64_t>(prefix.size());
    audioCrc_ = 0;
    WriteFrames(prefix.data(), prefixBytes_);
    // Written now to hold its place; patched once the part's frames are counted.
    if (carriesInformation_)
        WriteFrames(informationFrame_.data(), static_cast<std::int64_t>(informationFrame_.size()));
}

void WriteStage::WriteFrames(const std::uint8_t* bytes, std::int64_t count) {
    std::string reason;
    if (!writer_.Write(bytes, count, reason))
        throw PartFailure(reason);
    partBytes_ += count;
}

// The music CRC is taken here rather than in the walk: the walk's thread,
// reading the source, has the more to do of the two.
void WriteStage::WriteAudio(const std::uint8_t* bytes, std::int64_t count) {
    if (job_.RebuildInfoFrame || job_.ExactCuts)
        audioCrc_ = Crc16(audioCrc_, bytes, static_cast<std::size_t>(count));
    WriteFrames(bytes, count);
}

void WriteStage::EndPart(const WriteStep& step) {
    if (carriesInformation_)
        PatchInformationFrame(step);
    const TagBlockBytes& tag = job_.Rows[row_].Tag;
    WriteFrames(tag.data(), static_cast<std::int64_t>(tag.size()));
    std::string reason;
    switch (writer_.Commit(reason)) {
    case CommitResult::Written:
        ++outcome_.PartsWritten;
        outcome_.Written.push_back({row_, step.Count, partBytes_});
        break;
    case CommitResult::NameTaken:
        // Like a name found taken before the run: this part is skipped, the run goes on.
        outcome_.Errors.push_back(job_.Rows[row_].OutPath + ": the file exists; not overwritten");
        break;
    case CommitResult::Failed:
        throw PartFailure(reason);
    }
}

void WriteStage::PatchInformationFrame(const WriteStep& step) {
    const std::int32_t markerOffset =
        InformationHeaderOffset(job_.Format.VersionId, job_.Format.ChannelMode);
    const bool rebuild = job_.RebuildInfoFrame || job_.ExactCuts;
    PartFrameList part = step.FrameList;
    part.AudioCrc = audioCrc_;
    std::vector<std::uint8_t> frame =
        rebuild ? RebuildInformationFrame(informationFrame_, markerOffset, part)
                : informationFrame_;
    const auto marker = static_cast<std::size_t>(markerOffset);
    if (!rebuild && marker + 12 <= frame.size() && (frame[marker + 7] & 1) != 0) {
        const std::uint32_t count = static_cast<std::uint32_t>(step.Count) + 1;
        for (std::size_t i = 0; i < 4; ++i)
            frame[marker + 8 + i] = static_cast<std::uint8_t>(count >> (24 - 8 * i));
    }
    std::string reason;
    if (!writer_.WriteAt(prefixBytes_, frame.data(), static_cast<std::int64_t>(frame.size()),
                         reason))
        throw PartFailure(reason);
}

void WriteStage::FailPart(const std::string& reason) {
    writer_.Discard();
    Fail(job_.Rows[row_].OutPath + ": " + reason);
}

// A stop request is read after each row, as the list shows them.
void WriteStage::EndRow() {
    if (callbacks_.StopRequested && callbacks_.StopRequested()) {
        outcome_.Stopped = true;
        ended_ = true;
    }
}

void WriteStage::Fail(const std::string& line) {
    outcome_.Errors.push_back(line);
    ended_ = true;
    if (callbacks_.SplitError)
        callbacks_.SplitError(line);
}
