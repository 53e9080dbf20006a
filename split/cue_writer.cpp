#include "split/cue_writer.h"

#include "split/cue_sheet.h"
#include "core/frame_walk.h"
#include "state/format_time.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
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

void Index(std::string& out, std::int64_t cueFrames) {
    out += "    INDEX 01 " + CueTimeText(cueFrames) + "\n";
}

// How many tracks a sheet could not give as the list has them, and the first one.
struct Shortfall {
    int Count = 0;
    std::string First;

    void Note(std::size_t track, std::int32_t ms) {
        if (Count++ == 0)
            First = "track " + TrackNumber(track) + " at " + FormatTime(ms);
    }
    void Report(std::vector<std::string>& warnings, const std::string& what) const {
        if (Count > 0)
            warnings.push_back(what + ": " + std::to_string(Count) + " track" +
                               (Count == 1 ? "" : "s") + ", the first " + First);
    }
};

// The cue time of a part that starts at startMs. Best between the frame before
// the part and its first frame (on that frame when startMs is on it), so that
// the part before, ending where this one starts, keeps its frames too; else on
// or before the part's first frame. exact is false when no cue time falls there.
std::int64_t CueFramesOfStart(std::int32_t startMs, const SourceFrames& frames, bool& exact) {
    const std::int64_t rounded = MsToCueFrames(startMs);
    exact = true;
    const auto found = frames.Around.find(startMs);
    if (found == frames.Around.end())
        return rounded;
    const FramesAround& around = found->second;
    const auto ms = [](std::int64_t cueFrames) {
        return static_cast<double>(CueFramesToMs(cueFrames));
    };
    const std::int64_t candidates[] = {rounded, std::max<std::int64_t>(rounded - 1, 0)};
    if (around.AtOrAfter == startMs && ms(rounded) == startMs)
        return rounded;
    for (const std::int64_t c : candidates)
        if (around.AtOrAfter != startMs && ms(c) > around.Before && ms(c) < around.AtOrAfter)
            return c;
    exact = false;
    for (const std::int64_t c : candidates)
        if (ms(c) > around.Before && ms(c) <= around.AtOrAfter)
            return c;
    return rounded;
}

std::vector<SplitListItem> TickedInTimeOrder(const std::vector<SplitListItem>& entries) {
    std::vector<SplitListItem> ticked;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(ticked),
                 [](const SplitListItem& entry) { return entry.Checked; });
    std::stable_sort(ticked.begin(), ticked.end(),
                     [](const auto& a, const auto& b) { return a.StartMs < b.StartMs; });
    return ticked;
}

} // namespace

Result<SourceFrames> FindFramesAround(const ScanSource& source,
                                      const std::vector<std::int32_t>& times, std::int32_t endMs) {
    SourceFrames frames;
    FrameWalk walk;
    if (Result<void> opened = walk.Open(source); !opened)
        return opened.Failure();
    std::vector<std::int32_t> ahead = times;
    std::sort(ahead.begin(), ahead.end());
    auto next = ahead.begin();
    double before = -std::numeric_limits<double>::infinity();
    WalkPoint at = walk.Start();
    while (const std::optional<WalkFrame> frame = walk.Next(at)) {
        for (; next != ahead.end() && *next <= frame->StartMs; ++next)
            frames.Around[*next] = FramesAround{before, frame->StartMs};
        before = frame->StartMs;
        if (frame->Counted && frame->StartMs > endMs) {
            frames.FirstStartAfterEndMs = std::min(frames.FirstStartAfterEndMs, frame->StartMs);
            if (next == ahead.end())
                break;
        }
    }
    for (; next != ahead.end(); ++next)
        frames.Around[*next] = FramesAround{before, std::numeric_limits<double>::infinity()};
    return frames;
}

CueExport WriteCueSheet(const std::vector<SplitListItem>& entries, const std::string& sourcePath,
                        const SourceFrames& frames) {
    CueExport result;
    const std::vector<SplitListItem> ticked = TickedInTimeOrder(entries);
    Shortfall inexact;
    Shortfall gaps;
    Shortfall overlaps;
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        const SplitListItem& entry = ticked[i];
        if (i == 0) {
            Field(result.Text, "", "TITLE", entry.Album, PlainCueText);
            result.Text += "FILE \"" + PlainCueText(FileNameOf(sourcePath)) + "\" MP3\n";
        }
        Track(result.Text, i + 1, entry, PlainCueText);
        bool exact = true;
        Index(result.Text, CueFramesOfStart(entry.StartMs, frames, exact));
        if (!exact)
            inexact.Note(i + 1, entry.StartMs);
        if (i > 0 && ticked[i - 1].EndMs < entry.StartMs)
            gaps.Note(i, ticked[i - 1].EndMs);
        if (i > 0 && ticked[i - 1].EndMs > entry.StartMs)
            overlaps.Note(i, ticked[i - 1].EndMs);
    }
    gaps.Report(result.Warnings,
                "a cue sheet has no gaps: a track that ends before the next one starts runs on "
                "to it");
    overlaps.Report(result.Warnings, "a cue sheet has no overlaps: a track that ends after the "
                                     "next one starts ends there");
    inexact.Report(result.Warnings, "no cue time (1/75 s) falls between the frames where these "
                                    "parts begin, so read back they may differ by a frame");
    if (!ticked.empty() && frames.FirstStartAfterEndMs <= frames.LengthMs)
        result.Warnings.push_back("a cue sheet's last track runs to the end of the audio: track " +
                                  TrackNumber(ticked.size()) + " ended at " +
                                  FormatTime(ticked.back().EndMs));
    return result;
}

Result<CueExport> ExportCueSheet(const std::vector<SplitListItem>& entries,
                                 const ScanSource& source, std::int32_t lengthMs) {
    const std::vector<SplitListItem> ticked = TickedInTimeOrder(entries);
    std::vector<std::int32_t> starts;
    for (const SplitListItem& entry : ticked)
        starts.push_back(entry.StartMs);
    Result<SourceFrames> frames =
        FindFramesAround(source, starts, ticked.empty() ? lengthMs : ticked.back().EndMs);
    if (!frames)
        return frames.Failure();
    frames.Value().LengthMs = lengthMs;
    return WriteCueSheet(entries, source.Path, frames.Value());
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
        Index(out, MsToCueFrames(entry.StartMs));
    }
    return out;
}
