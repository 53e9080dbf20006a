#pragma once

#include "core/block_reader.h"
#include "core/block_ring.h"
#include "core/information_frame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One thing the writer does, in the order the walk finds it.
struct WriteStep {
    enum class Kind {
        BeginPart, // create the row's part file
        Frames,    // write Count bytes of the source from Offset, held by the step's block
        Insert,    // write Data, bytes of the part's own
        EndPart,   // finish the part: Count audio frames were written
        FailPart,  // discard the part: Reason
        EndRow,    // the row is done, written or not
    };
    Kind What = Kind::EndRow;
    std::size_t Row = 0;
    std::int64_t Offset = 0;
    std::int64_t Count = 0;
    std::string Reason;
    std::vector<std::uint8_t> Data;
    PartFrameList FrameList; // EndPart: the part's frames, where the information frame is rebuilt

    static WriteStep Of(Kind what, std::size_t row) {
        WriteStep step;
        step.What = what;
        step.Row = row;
        return step;
    }
    static WriteStep Frames(std::int64_t offset, std::int64_t count) {
        WriteStep step = Of(Kind::Frames, 0);
        step.Offset = offset;
        step.Count = count;
        return step;
    }
    static WriteStep Insert(std::vector<std::uint8_t> data) {
        WriteStep step = Of(Kind::Insert, 0);
        step.Data = std::move(data);
        return step;
    }
    static WriteStep EndPart(std::size_t row, std::int64_t framesWritten, PartFrameList frames) {
        WriteStep step = Of(Kind::EndPart, row);
        step.Count = framesWritten;
        step.FrameList = std::move(frames);
        return step;
    }
    static WriteStep FailPart(std::size_t row, std::string reason) {
        WriteStep step = Of(Kind::FailPart, row);
        step.Reason = std::move(reason);
        return step;
    }
};

// A block of the source as the walk read it, and what the writer does with
// it. The walk hands a block on once it has moved past it; the writer gives
// it back once its steps are done.
struct SourceBlock : ReadBlock {
    std::vector<WriteStep> Steps;
};

using SourceRing = BlockRing<SourceBlock>;
