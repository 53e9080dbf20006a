#include "media/cue_reader.h"

#include <fstream>
#include <libcue.h>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

// libcue's parser keeps its state in globals: one sheet at a time.
std::mutex gParserMutex;

std::string TextOf(const char* text) {
    return text == nullptr ? std::string() : CueTextToUtf8(text);
}

std::string WithoutByteOrderMark(const std::string& text) {
    return text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text;
}

// Titles, performers, dates and the FILE name, which libcue reads; the
// scan of the lines has already placed the tracks, their times and REM lines.
void TakeFromLibcue(const Cd& cd, CueSheet& sheet) {
    const Cdtext* discText = cd_get_cdtext(&cd);
    sheet.Title = TextOf(cdtext_get(PTI_TITLE, discText));
    sheet.Performer = TextOf(cdtext_get(PTI_PERFORMER, discText));
    sheet.Date = TextOf(rem_get(REM_DATE, cd_get_rem(&cd)));
    const int count = std::min<int>(cd_get_ntrack(&cd), static_cast<int>(sheet.Tracks.size()));
    for (int i = 0; i < count; ++i) {
        const Track* track = cd_get_track(&cd, i + 1);
        CueTrack& ours = sheet.Tracks[static_cast<std::size_t>(i)];
        if (i == 0)
            sheet.FileName = TextOf(track_get_filename(track));
        ours.Title = TextOf(cdtext_get(PTI_TITLE, track_get_cdtext(track)));
        ours.Performer = TextOf(cdtext_get(PTI_PERFORMER, track_get_cdtext(track)));
        ours.Date = TextOf(rem_get(REM_DATE, track_get_rem(const_cast<Track*>(track))));
    }
}

} // namespace

CueReadResult ReadCueText(const std::string& rawText) {
    CueReadResult result;
    const std::string text = WithoutByteOrderMark(rawText);
    if ((result.Error = ScanCueLines(text, result.Sheet)))
        return result;
    std::unique_ptr<Cd, void (*)(Cd*)> cd(nullptr, &cd_delete);
    {
        const std::lock_guard<std::mutex> lock(gParserMutex);
        cd.reset(cue_parse_string(text.c_str()));
    }
    if (!cd || cd_get_ntrack(cd.get()) != static_cast<int>(result.Sheet.Tracks.size())) {
        result.Error = CueError{1, "the sheet cannot be read as a cue sheet"};
        return result;
    }
    TakeFromLibcue(*cd, result.Sheet);
    return result;
}

CueReadResult ReadCueFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad()) {
        CueReadResult result;
        result.Error = CueError{0, "cannot be read"};
        return result;
    }
    return ReadCueText(text.str());
}

std::string CueErrorMessage(const std::string& path, const CueError& error) {
    if (error.Line == 0)
        return path + ": " + error.Text;
    return path + ":" + std::to_string(error.Line) + ": " + error.Text;
}
