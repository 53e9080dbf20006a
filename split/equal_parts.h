#pragma once

#include "split/split_list.h"

#include <cstdint>
#include <string>

struct EqualPartsInput {
    std::string CountText;             // the count field's text, as typed
    std::int32_t OverlapPositions = 0; // the overlap up-down's position
    std::int32_t PositionStep = 100;
    double TotalMs = 0.0; // player length / Koef, or DurationMsExact
};

enum class EqualPartsOutcome {
    Added,        // every part appended: the dialog closes with OK
    LimitReached, // LimitMessage shown after the parts that fit; the dialog stays open
    InvalidCount, // "'%s' is not a valid integer value"; nothing added
};

struct EqualPartsResult {
    EqualPartsOutcome Outcome = EqualPartsOutcome::Added;
    std::int32_t FirstNewIndex = 0;
    std::int32_t PartsAdded = 0;
    std::string CountText;    // "2" when the field was empty
    std::string ErrorMessage; // the text to show for LimitReached or InvalidCount
    SectionTimes LeftOut;     // LimitReached: the parts that did not fit
};

// Appends PartCount equal entries (with overlap) to the list.
EqualPartsResult SplitByEqualParts(SplitList& list, const EqualPartsInput& input,
                                   const TID3v1Tag& sourceTag);
