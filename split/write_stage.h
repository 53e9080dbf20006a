#pragma once

#include "split/part_file_writer.h"
#include "split/split_worker.h"
#include "split/write_step.h"

#include <cstdint>
#include <string>
#include <vector>

// The writer's side of a split, on the caller's thread: it takes the walk's
// blocks in order and does their steps. A part is its information frame (when
// carried), its runs of frames, the information frame filled in with the
// part's own fields, and its tag. Every callback is made here, so the caller
// sees them on its own thread, in row order.
class WriteStage {
public:
    WriteStage(const SplitJob& job, const SplitCallbacks& callbacks, SplitOutcome& outcome);

    // The source's information frame, to be carried into each part.
    void SetInformationFrame(std::vector<std::uint8_t> frame) {
        informationFrame_ = std::move(frame);
    }
    // Does the steps of each block handed on, until the last block or the end of the run.
    void Drain(SourceRing& ring);
    // Reports a problem; it ends the run.
    void Fail(const std::string& line);
    bool Ended() const { return ended_; }

private:
    void Do(const WriteStep& step, const SourceBlock& block);
    Result<void> DoStep(const WriteStep& step, const SourceBlock& block);
    Result<void> BeginPart(std::size_t row);
    Result<void> WriteFrames(const std::uint8_t* bytes, std::int64_t count);
    Result<void> EndPart(const WriteStep& step);
    Result<void> PatchInformationFrame(const WriteStep& step);
    void FailPart(const std::string& reason);
    void EndRow();

    const SplitJob& job_;
    const SplitCallbacks& callbacks_;
    SplitOutcome& outcome_;
    std::vector<std::uint8_t> informationFrame_;
    bool carriesInformation_ = false;
    PartFileWriter writer_;
    std::size_t row_ = 0;
    std::int64_t prefixBytes_ = 0; // where the information frame stands in the part
    std::int64_t partBytes_ = 0;
    bool ended_ = false;
};
