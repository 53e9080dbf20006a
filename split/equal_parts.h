#pragma once

#include "core/engine_error.h"
#include "split/split_list.h"

#include <cstdint>
#include <string>

struct EqualPartsInput {
    std::string CountText;             // the count field's text, as typed
    std::int32_t OverlapPositions = 0; // the overlap up-down's position
    std::int32_t PositionStep = 100;
    double TotalMs = 0.0; // player length / Koef, or DurationMsExact
};

struct EqualPartsResult {
    std::int32_t FirstNewIndex = 0;
    std::int32_t PartsAdded = 0;
    std::string CountText; // "2" when the field was empty
    // The parts that did not fit below MaxParts (LimitMessage is shown after
    // the parts that did); empty when all were appended.
    SectionTimes LeftOut;
};

// Appends PartCount equal entries (with overlap) to the list. A count that is
// no integer is an Input error ("'%s' is not a valid integer value") and adds nothing.
Result<EqualPartsResult> SplitByEqualParts(SplitList& list, const EqualPartsInput& input,
                                           const TID3v1Tag& sourceTag);
