#include "media/cue_reader.h"

#include "core/text_encoding.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <libcue.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// libcue's parser keeps its state in globals: one sheet at a time.
std::mutex gParserMutex;

// libcue keeps the first 1022 bytes of a quoted text, and may cut a UTF-8
// character in two; the text is then cut before that character, not taken for Latin-1.
constexpr std::size_t kLongestLibcueText = 1022;

std::string WholeCharacters(std::string_view text) {
    for (std::size_t partial = 1; partial <= 3 && partial < text.size(); ++partial)
        if (!IsValidUtf8(text) && IsValidUtf8(text.substr(0, text.size() - partial)))
            return std::string(text.substr(0, text.size() - partial));
    return CueTextToUtf8(text);
}

struct LibcueText {
    CueSheet& Sheet;

    std::string operator()(const char* text, int line, const char* field) const {
        if (text == nullptr)
            return {};
        const std::string_view raw(text);
        if (raw.size() < kLongestLibcueText)
            return CueTextToUtf8(raw);
        std::string kept = WholeCharacters(raw);
        Sheet.Warnings.push_back(SheetError(line, std::string(field) + " is longer than " +
                                                      std::to_string(kLongestLibcueText) +
                                                      " bytes: only its start is read"));
        return kept;
    }
};

// libcue reports what it cannot read on stderr, where a user would see lines
// such as "11: syntax error"; the line scan has its own words for the problem.
// Every caller holds gParserMutex, so fd 2 is swapped by one thread at a time;
// a line another thread writes meanwhile is lost.
Cd* ParseQuietly(const std::string& text) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0)
        ::dup2(null, STDERR_FILENO);
    Cd* cd = cue_parse_string(text.c_str());
    std::fflush(stderr);
    if (saved >= 0 && null >= 0)
        ::dup2(saved, STDERR_FILENO);
    for (const int fd : {saved, null})
        if (fd >= 0)
            ::close(fd);
    return cd;
}

std::string WithoutByteOrderMark(const std::string& text) {
    return text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text;
}

// libcue reads at most 99 tracks, and a list may hold 999 rows: it is given the
// sheet in runs of 99 tracks, each behind the lines before the first track.
constexpr std::size_t kTracksPerRun = 99;

struct SheetText {
    std::string Head;                // the lines before the first TRACK
    std::vector<std::string> Tracks; // each TRACK line with the lines up to the next one
};

SheetText SplitAtTracks(const std::string& text) {
    SheetText sheet;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size() - 1) + 1;
        const std::size_t word = text.find_first_not_of(" \t", begin);
        if (word < end && text.compare(word, 5, "TRACK") == 0 &&
            std::string_view(" \t").find(text[word + 5]) != std::string_view::npos)
            sheet.Tracks.emplace_back();
        (sheet.Tracks.empty() ? sheet.Head : sheet.Tracks.back()) +=
            text.substr(begin, end - begin);
        begin = end;
    }
    return sheet;
}

// Titles, performers and dates, which libcue reads, for the tracks from first
// on; the scan of the lines has already placed the tracks, their times, files
// and REM lines.
void TakeFromLibcue(const Cd& cd, std::size_t first, CueSheet& sheet) {
    const LibcueText text{sheet};
    if (first == 0) {
        const Cdtext* discText = cd_get_cdtext(&cd);
        sheet.Title = text(cdtext_get(PTI_TITLE, discText), 0, "the disc's TITLE");
        sheet.Performer = text(cdtext_get(PTI_PERFORMER, discText), 0, "the disc's PERFORMER");
        sheet.Date = text(rem_get(REM_DATE, cd_get_rem(&cd)), 0, "the disc's REM DATE");
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(cd_get_ntrack(&cd)),
                                                    sheet.Tracks.size() - first);
    for (std::size_t i = 0; i < count; ++i) {
        const Track* track = cd_get_track(&cd, static_cast<int>(i) + 1);
        CueTrack& ours = sheet.Tracks[first + i];
        ours.Title =
            text(cdtext_get(PTI_TITLE, track_get_cdtext(track)), ours.Line, "the track's TITLE");
        ours.Performer = text(cdtext_get(PTI_PERFORMER, track_get_cdtext(track)), ours.Line,
                              "the track's PERFORMER");
        ours.Date = text(rem_get(REM_DATE, track_get_rem(const_cast<Track*>(track))), ours.Line,
                         "the track's REM DATE");
    }
}

} // namespace

Result<CueSheet> ReadCueText(const std::string& rawText) {
    CueSheet sheet;
    const std::string text = WithLfLineEnds(WithoutByteOrderMark(rawText));
    if (Result<void> scanned = ScanCueLines(text, sheet); !scanned)
        return scanned.Failure();
    const SheetText parts = SplitAtTracks(text);
    for (std::size_t first = 0; first < parts.Tracks.size(); first += kTracksPerRun) {
        const std::size_t count = std::min(kTracksPerRun, parts.Tracks.size() - first);
        std::string run = parts.Head;
        for (std::size_t i = first; i < first + count; ++i)
            run += parts.Tracks[i];
        std::unique_ptr<Cd, void (*)(Cd*)> cd(nullptr, &cd_delete);
        {
            const std::lock_guard<std::mutex> lock(gParserMutex);
            cd.reset(ParseQuietly(run));
        }
        if (!cd || static_cast<std::size_t>(cd_get_ntrack(cd.get())) != count ||
            parts.Tracks.size() != sheet.Tracks.size())
            return SheetError(1, "the sheet cannot be read as a cue sheet");
        TakeFromLibcue(*cd, first, sheet);
    }
    return sheet;
}

Result<CueSheet> ReadCueFile(const std::string& path) {
    // A folder, a pipe or a device is no sheet, and a file this large is some other file.
    constexpr std::uintmax_t kLargestSheet = 16 << 20;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    if (error || !std::filesystem::is_regular_file(status))
        return Error{ErrorCategory::Open, -1, error ? error.message() : "not a regular file", path};
    if (const std::uintmax_t size = std::filesystem::file_size(path, error);
        !error && size > kLargestSheet)
        return Error{ErrorCategory::Format, -1, "too large for a cue sheet", path};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad())
        return Error{ErrorCategory::Read, -1, "cannot be read", path};
    Result<CueSheet> sheet = ReadCueText(text.str());
    if (!sheet) {
        Error atSheet = sheet.Failure();
        atSheet.Path = path;
        return atSheet;
    }
    return sheet;
}
