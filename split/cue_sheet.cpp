#include "split/cue_sheet.h"

#include "core/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::int64_t kFramesPerSecond = 75;

constexpr std::array<std::string_view, 23> kCommands = {
    "ARRANGER",   "CATALOG", "CDTEXTFILE", "COMPOSER",  "DISC_ID", "FILE",    "FLAGS", "GENRE",
    "INDEX",      "ISRC",    "MESSAGE",    "PERFORMER", "POSTGAP", "PREGAP",  "REM",   "SIZE_INFO",
    "SONGWRITER", "TITLE",   "TOC_INFO1",  "TOC_INFO2", "TRACK",   "UPC_EAN", "ENDCUE"};

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits off the first blank-separated word.
std::string_view NextWord(std::string_view& rest) {
    rest = Trim(rest);
    const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest = Trim(rest.substr(end));
    return word;
}

std::string Unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A run of digits no longer than maxDigits (after leading zeros) as a number; -1 otherwise.
std::int64_t SmallNumber(std::string_view digits, std::size_t maxDigits) {
    if (!AllDigits(digits))
        return -1;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > maxDigits)
        return -1;
    std::int64_t value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

// "MM:SS:FF" with SS below 60 and FF below 75.
std::optional<std::int64_t> ParseCueTime(std::string_view text) {
    const std::size_t a = text.find(':');
    const std::size_t b = text.find(':', a == std::string_view::npos ? a : a + 1);
    if (a == std::string_view::npos || b == std::string_view::npos)
        return std::nullopt;
    const std::string_view mm = text.substr(0, a);
    const std::string_view ss = text.substr(a + 1, b - a - 1);
    const std::string_view ff = text.substr(b + 1);
    const std::int64_t minutes = mm.size() <= 4 ? SmallNumber(mm, 4) : -1;
    const std::int64_t seconds = ss.size() == 2 ? SmallNumber(ss, 2) : -1;
    const std::int64_t frames = ff.size() == 2 ? SmallNumber(ff, 2) : -1;
    if (minutes < 0 || seconds < 0 || frames < 0 || seconds >= 60 || frames >= kFramesPerSecond)
        return std::nullopt;
    return (minutes * 60 + seconds) * kFramesPerSecond + frames;
}

// The name of a FILE line: its words but the last (the type), unquoted.
std::string FileNameOfLine(std::string_view rest) {
    const std::size_t type = rest.find_last_of(" \t");
    return CueTextToUtf8(Unquoted(Trim(rest.substr(0, type == std::string_view::npos ? 0 : type))));
}

struct LineScan {
    CueSheet& Sheet;
    int Line = 0;
    std::string File;
    int FileLine = 0;

    Error Fail(std::string text) const { return SheetError(Line, std::move(text)); }

    Result<void> Command(std::string_view keyword, std::string_view rest) {
        if (std::find(kCommands.begin(), kCommands.end(), keyword) == kCommands.end()) {
            std::string message = "'";
            message += CutForMessage(keyword);
            return Fail(message + "' is not a cue sheet command");
        }
        if (keyword == "FILE") {
            File = FileNameOfLine(rest);
            FileLine = Line;
        }
        if (keyword == "TRACK")
            return Track(rest);
        if (keyword == "INDEX")
            return Index(rest);
        if (keyword == "REM")
            Remark(rest);
        return {};
    }

    Result<void> Track(std::string_view rest) {
        const std::string_view number = NextWord(rest);
        if (!AllDigits(number) || rest.empty())
            return Fail("a TRACK needs a number and a type");
        if (SmallNumber(number, 3) < 0)
            return Fail("a TRACK number runs from 1 to 999");
        CueTrack track;
        track.Line = Line;
        track.File = File;
        track.FileLine = FileLine;
        Sheet.Tracks.push_back(std::move(track));
        return {};
    }

    Result<void> Index(std::string_view rest) {
        if (Sheet.Tracks.empty())
            return Fail("an INDEX before the first TRACK");
        const std::string_view number = NextWord(rest);
        const std::optional<std::int64_t> frames = ParseCueTime(NextWord(rest));
        if (!AllDigits(number) || !frames || !rest.empty())
            return Fail("an INDEX needs a number and a time MM:SS:FF");
        const std::int64_t index = SmallNumber(number, 2);
        if (index < 0)
            return Fail("an INDEX number runs from 00 to 99");
        if (index == 1) {
            Sheet.Tracks.back().Frames = *frames;
            Sheet.Tracks.back().Line = Line;
        }
        return {};
    }

    void Remark(std::string_view rest) {
        std::string key(NextWord(rest));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        auto& rem = Sheet.Tracks.empty() ? Sheet.Rem : Sheet.Tracks.back().Rem;
        rem[key] = CueTextToUtf8(Unquoted(rest));
    }
};

} // namespace

std::int32_t CueFramesToMs(std::int64_t frames) {
    const std::int64_t ms =
        frames / kFramesPerSecond * 1000 + frames % kFramesPerSecond * 1000 / kFramesPerSecond;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, 0, INT32_MAX));
}

std::int64_t MsToCueFrames(std::int32_t ms) {
    if (ms <= 0)
        return 0;
    return (std::int64_t{ms} * kFramesPerSecond + 999) / 1000;
}

std::string CueTimeText(std::int64_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld",
                  static_cast<long long>(frames / kFramesPerSecond / 60),
                  static_cast<long long>(frames / kFramesPerSecond % 60),
                  static_cast<long long>(frames % kFramesPerSecond));
    return text;
}

Result<void> ScanCueLines(std::string_view text, CueSheet& sheet) {
    LineScan scan{sheet, 0, {}, 0};
    while (!text.empty()) {
        ++scan.Line;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view rest = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (rest.empty())
            continue;
        // libcue reads the sheet as a C string: it would end there.
        if (rest.find('\0') != std::string_view::npos)
            return scan.Fail("the line holds a NUL byte");
        if (std::count(rest.begin(), rest.end(), '"') % 2 != 0)
            return scan.Fail("a quoted text is not closed");
        const std::string_view keyword = NextWord(rest);
        if (Result<void> read = scan.Command(keyword, rest); !read)
            return read;
    }
    if (sheet.Tracks.empty())
        return SheetError(std::max(scan.Line, 1), "the sheet has no TRACK");
    sheet.FileName = sheet.Tracks.front().File;
    for (const CueTrack& track : sheet.Tracks)
        if (track.Frames < 0)
            return SheetError(track.Line, "the TRACK has no INDEX 01");
    return {};
}

std::string WithLfLineEnds(std::string_view text) {
    std::string lf;
    lf.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            lf += text[i];
        else if (i + 1 == text.size() || text[i + 1] != '\n')
            lf += '\n';
    }
    // libcue refuses a last line without an end, which an editor may leave.
    if (!lf.empty() && lf.back() != '\n')
        lf += '\n';
    return lf;
}

std::string CueTextToUtf8(std::string_view text) {
    return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool EscapeAt(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
           HexValue(text[i + 2]) >= 0;
}

} // namespace

std::string PlainCueText(std::string_view text) {
    std::string plain(text);
    for (char& c : plain) {
        if (c == '"')
            c = '\'';
        else if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return plain;
}

std::string EncodeCueText(std::string_view text) {
    std::string encoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte < 0x20 || byte == 0x7F || EscapeAt(text, i)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            encoded += hex;
        } else {
            encoded += text[i];
        }
    }
    return encoded;
}

std::string DecodeCueText(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EscapeAt(text, i)) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}
