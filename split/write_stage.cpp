#include "split/write_stage.h"

#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "split/output_naming.h"

#include <utility>

WriteStage::WriteStage(const SplitJob& job, const SplitCallbacks& callbacks, SplitOutcome& outcome)
    : job_(job), callbacks_(callbacks), outcome_(outcome),
      carriesInformation_(job.CarriesInformationFrame()) {}

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
    if (Result<void> done = DoStep(step, block); !done)
        FailPart(done.Failure().Text);
}

Result<void> WriteStage::DoStep(const WriteStep& step, const SourceBlock& block) {
    switch (step.What) {
    case WriteStep::Kind::BeginPart:
        return BeginPart(step.Row);
    case WriteStep::Kind::Frames:
        return WriteFrames(block.Bytes.get() + (step.Offset - block.Start), step.Count);
    case WriteStep::Kind::Insert:
        return WriteFrames(step.Data.data(), static_cast<std::int64_t>(step.Data.size()));
    case WriteStep::Kind::EndPart:
        return EndPart(step);
    case WriteStep::Kind::FailPart:
        return Error{ErrorCategory::Read, -1, step.Reason};
    case WriteStep::Kind::EndRow:
        EndRow();
        break;
    }
    return {};
}

Result<void> WriteStage::BeginPart(std::size_t row) {
    row_ = row;
    if (callbacks_.StepProgress)
        callbacks_.StepProgress();
    const SplitJobRow& part = job_.Rows[row];
    if (IsSourceFile(part.OutPath, job_.SourcePath))
        return Error{ErrorCategory::Name, -1, "it is the source file itself"};
    if (Result<void> created = writer_.Create(part.OutPath, part.MayReplace); !created)
        return created;
    partBytes_ = 0;
    const std::vector<std::uint8_t> prefix =
        job_.PartPrefix ? job_.PartPrefix(row) : std::vector<std::uint8_t>();
    prefixBytes_ = static_cast<std::int64_t>(prefix.size());
    if (Result<void> written = WriteFrames(prefix.data(), prefixBytes_); !written)
        return written;
    // Written now to hold its place; patched once the part's frames are counted.
    if (carriesInformation_)
        return WriteFrames(informationFrame_.data(),
                           static_cast<std::int64_t>(informationFrame_.size()));
    return {};
}

Result<void> WriteStage::WriteFrames(const std::uint8_t* bytes, std::int64_t count) {
    if (Result<void> written = writer_.Write(bytes, count); !written)
        return written;
    partBytes_ += count;
    return {};
}

Result<void> WriteStage::EndPart(const WriteStep& step) {
    if (carriesInformation_)
        if (Result<void> patched = PatchInformationFrame(step); !patched)
            return patched;
    const TagBlockBytes& tag = job_.Rows[row_].Tag;
    if (Result<void> written = WriteFrames(tag.data(), static_cast<std::int64_t>(tag.size()));
        !written)
        return written;
    const Result<CommitResult> committed = writer_.Commit();
    if (!committed)
        return committed.Failure();
    switch (committed.Value()) {
    case CommitResult::Written:
        ++outcome_.PartsWritten;
        outcome_.Written.push_back({row_, step.Count, partBytes_});
        break;
    case CommitResult::NameTaken:
        // Like a name found taken before the run: this part is skipped, the run goes on.
        outcome_.Errors.push_back(job_.Rows[row_].OutPath + ": the file exists; not overwritten");
        break;
    }
    return {};
}

Result<void> WriteStage::PatchInformationFrame(const WriteStep& step) {
    const std::int32_t markerOffset =
        InformationHeaderOffset(job_.Format.VersionId, job_.Format.ChannelMode);
    std::vector<std::uint8_t> frame =
        RebuildInformationFrame(informationFrame_, markerOffset, step.FrameList);
    if (job_.Rows[step.Row].Volume.Changes())
        frame = ClearLevelFields(std::move(frame), markerOffset);
    return writer_.WriteAt(prefixBytes_, frame.data(), static_cast<std::int64_t>(frame.size()));
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
