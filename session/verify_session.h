#pragma once

#include "core/engine_error.h"
#include "media/part_check.h"

#include <string>
#include <utility>

// Telling parts where their audio comes from in a source: the source's
// frames are read once, then each part is checked against them. Every error
// names its file.
class VerifySession {
public:
    static Result<VerifySession> Open(const std::string& sourcePath);

    Result<PartCheck> Check(const std::string& partPath) const { return index_.Check(partPath); }
    // A part whose frames are the source's is what it claims to be; its sound
    // may still differ at its start, where a plain cut borrows bits.
    static bool CutFromSource(const PartCheck& check) { return check.Match != PartMatch::NotCut; }

private:
    explicit VerifySession(SourceFrameIndex index) : index_(std::move(index)) {}

    SourceFrameIndex index_;
};
