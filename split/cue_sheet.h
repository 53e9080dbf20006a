#pragma once

#include "core/engine_error.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A cue sheet's contents as Kerfline uses them. Texts are UTF-8.
struct CueTrack {
    int Line = 0;             // the line of its INDEX 01 (of its TRACK when it has none)
    std::int64_t Frames = -1; // INDEX 01 in 1/75 s, -1 when missing
    std::string File;         // the name on the FILE line above it
    int FileLine = 0;         // that line
    std::string Title;
    std::string Performer;
    std::string Date;
    std::map<std::string, std::string> Rem; // REM KEY value lines inside the track
};

struct CueSheet {
    std::string FileName; // the first FILE line's name
    std::string Title;
    std::string Performer;
    std::string Date;
    std::map<std::string, std::string> Rem; // REM KEY value lines before the first track
    std::vector<CueTrack> Tracks;
    std::vector<Error> Warnings; // what was read other than written, with its line
};

// A fault of the sheet at its line, for the caller to give the sheet's path.
inline Error SheetError(int line, std::string text) {
    return Error{ErrorCategory::Format, -1, std::move(text), {}, line};
}

// (MM × 60 + SS) × 1000 + FF × 1000 / 75, truncated.
std::int32_t CueFramesToMs(std::int64_t frames);
// The first frame at or after ms, so that CueFramesToMs gives a frame's time back.
std::int64_t MsToCueFrames(std::int32_t ms);
// "MM:SS:FF"; minutes go past 99 when they must.
std::string CueTimeText(std::int64_t frames);

// What libcue does not tell: the first line that is not a cue command, the
// line of every track's INDEX 01, the FILE each track is under, and the REM
// lines. Fills the tracks' Line, Frames, File and Rem and the sheet's FileName
// and Rem; the caller takes the rest from libcue. Lines end in LF.
Result<void> ScanCueLines(std::string_view text, CueSheet& sheet);

// CR LF and a lone CR (old Mac sheets) as LF, so that every reader counts the
// same lines; every line ends, the last one too.
std::string WithLfLineEnds(std::string_view text);

// A text that is not valid UTF-8 is taken as Latin-1, as older rippers wrote.
std::string CueTextToUtf8(std::string_view text);

// The REM key of a saved list's entry line: "start end checked genre".
inline constexpr const char* kSavedEntryRem = "KERFLINE-ENTRY";

// A text for a quoted cue field: cue has no escapes, so a double quote
// becomes ' and a line break a space.
std::string PlainCueText(std::string_view text);
// The same for a saved list, which must give every text back: a double quote,
// a control character, and a '%' that would read as an escape become %XX.
std::string EncodeCueText(std::string_view text);
std::string DecodeCueText(std::string_view text);
