#include "state/source_info_text.h"

#include "core/audio_info.h"
#include "state/format_time.h"
#include "state/session_state.h"

#include <cmath>

namespace {

// A caption padded with spaces to a fixed width, so that the values line up.
std::string Prefixed(const char* caption, std::size_t width) {
    std::string text = caption;
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::array<std::string, 6> TagLines(const TID3v1Tag& tag) {
    if (!tag.Present)
        return {"Title:", "Artist:", "Album:", "Year:", "Genre:", "Comment:"};
    return {Prefixed("Title:", 16) + tag.Title,     Prefixed("Artist:", 16) + tag.Artist,
            Prefixed("Album:", 13) + tag.Album,     Prefixed("Year:", 14) + tag.Year,
            Prefixed("Genre:", 13) + tag.GenreName, Prefixed("Comment:", 10) + tag.Comment};
}

std::string BitRateLine(const TAudioInfo& info, const SessionState& state) {
    std::string line = Prefixed("BitRate:", 20) + std::to_string(info.ConstantBitrate()) + "kbit";
    if (!info.IsVbr)
        return line + " (CBR)";
    line += " (VBR)";
    if (const std::int32_t average = AverageBitrateKbps(info, state); average > 0)
        line += ", average " + std::to_string(average) + "kbit";
    return line;
}

std::string FramesLine(const SessionState& state) {
    if (state.FrameCount <= 0)
        return {};
    return "Frames: " + std::to_string(state.FrameCount) +
           ", skipped bytes: " + std::to_string(state.ErrorCount);
}

} // namespace

SourceInfoLines DescribeSource(const TAudioInfo& info, const SessionState& state) {
    const TMpegFrameHdr& header = info.Header;
    SourceInfoLines lines;
    lines.Tag = TagLines(info.Tag);
    lines.Mpeg = {Prefixed("Time:", 21) + FormatTime(static_cast<std::int32_t>(state.DurationMs)),
                  Prefixed("Filesize:", 21) + std::to_string(info.FileSize) + " bytes",
                  Prefixed("Version:", 20) + "MPEG " + header.VersionText() + " Layer " +
                      header.LayerText(),
                  BitRateLine(info, state),
                  Prefixed("SampleRate:", 15) + std::to_string(header.SampleRate) + "Hz, " +
                      header.ChannelModeText(),
                  FramesLine(state)};
    return lines;
}

std::int32_t AverageBitrateKbps(const TAudioInfo& info, const SessionState& state) {
    if (!(state.DurationMsExact > 0))
        return 0;
    std::int64_t bytes = info.FileSize - info.FirstFrameOffset - state.ErrorCount;
    if (info.HasInfoFrame)
        bytes -= info.Header.FrameBytes;
    if (info.Tag.Present)
        bytes -= 128;
    if (bytes <= 0)
        return 0;
    // Bits per millisecond are kbit/s.
    return static_cast<std::int32_t>(
        std::lround(static_cast<double>(bytes) * 8.0 / state.DurationMsExact));
}
