#include "split/cue_writer.h"

#include "split/cue_sheet.h"

#include <cstdio>
#include <functional>
#include <string_view>

namespace {

using TextForm = std::function<std::string(std::string_view)>;

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Field(std::string& out, std::string_view indent, std::string_view command,
           const std::string& text, const TextForm& form) {
    if (!text.empty())
        out.append(indent).append(command).append(" \"").append(form(text)).append("\"\n");
}

std::string TrackNumber(std::size_t n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02zu", n);
    return text;
}

void Track(std::string& out, std::size_t number, const SplitListItem& entry, const TextForm& form) {
    out += "  TRACK " + TrackNumber(number) + " AUDIO\n";
    Field(out, "    ", "TITLE", entry.Title, form);
    Field(out, "    ", "PERFORMER", entry.Artist, form);
    Field(out, "    ", "REM DATE", entry.Year, form);
    Field(out, "    ", "REM COMMENT", entry.Comment, form);
}

void Index(std::string& out, std::int32_t startMs) {
    out += "    INDEX 01 " + CueTimeText(MsToCueFrames(startMs)) + "\n";
}

} // namespace

std::string WriteCueSheet(const std::vector<SplitListItem>& entries,
                          const std::string& sourcePath) {
    std::string out;
    std::size_t number = 0;
    for (const SplitListItem& entry : entries) {
        if (!entry.Checked)
            continue;
        if (number == 0) {
            Field(out, "", "TITLE", entry.Album, PlainCueText);
            out += "FILE \"" + PlainCueText(FileNameOf(sourcePath)) + "\" MP3\n";
        }
        Track(out, ++number, entry, PlainCueText);
        Index(out, entry.StartMs);
    }
    return out;
}

std::string WriteSavedList(const std::vector<SplitListItem>& entries,
                           const std::string& sourcePath) {
    std::string out = "FILE \"" + EncodeCueText(sourcePath) + "\" MP3\n";
    std::size_t number = 0;
    for (const SplitListItem& entry : entries) {
        Track(out, ++number, entry, EncodeCueText);
        Field(out, "    ", "REM ALBUM", entry.Album, EncodeCueText);
        out += "    REM " + std::string(kSavedEntryRem) + " \"" + std::to_string(entry.StartMs) +
               " " + std::to_string(entry.EndMs) + " " + (entry.Checked ? "1" : "0") + " " +
               std::to_string(entry.Genre) + "\"\n";
        Index(out, entry.StartMs);
    }
    return out;
}
