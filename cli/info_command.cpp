#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_source.h"
#include "cli/text_encoding.h"
#include "core/audio_info.h"
#include "core/preload_scan.h"
#include "media/part_levels.h"
#include "state/format_time.h"
#include "state/session_state.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

namespace {

struct InfoOptions {
    std::string File;
    bool Preload = false;
    bool Json = false;
    bool Loudness = false;
};

std::int32_t ClampedMs(std::int64_t ms) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX));
}

std::string TagLine(const char* prefix, const char* bare, const std::string& value, bool present) {
    return present ? prefix + PrintableText(Latin1ToUtf8(value)) : bare;
}

// "  3  01:02.5  02:10.0  Title", a line per chapter, under their count.
void PrintChapters(const SourceChapters& chapters, std::ostream& out) {
    if (chapters.Chapters.empty())
        return;
    out << "\nChapters:            " << chapters.Chapters.size() << "\n";
    for (std::size_t i = 0; i < chapters.Chapters.size(); ++i) {
        const SourceChapter& chapter = chapters.Chapters[i];
        out << std::setw(5) << i + 1 << "  " << FormatTime(ClampedMs(chapter.StartMs)) << "  "
            << FormatTime(ClampedMs(chapter.EndMs)) << "  " << PrintableText(chapter.Title) << "\n";
    }
}

void PrintText(const SourceSession& report, bool withScan, std::ostream& out) {
    const TAudioInfo& info = report.Info;
    const TMpegFrameHdr& h = info.Header;
    const SessionState& state = report.State;
    // The main window shows the low 32 bits of the duration.
    out << "Time:                " << FormatTime(static_cast<std::int32_t>(state.DurationMs))
        << "\n"
        << "Filesize:            " << info.FileSize << " bytes\n"
        << "Version:            MPEG " << h.VersionText() << " Layer " << h.LayerText() << "\n"
        << "BitRate:            " << info.ConstantBitrate() << "kbit"
        << (info.IsVbr ? " (VBR)" : " (CBR)") << "\n"
        << "SampleRate:    " << h.SampleRate << "Hz, " << h.ChannelModeText() << "\n";
    if (withScan) {
        out << "Frames:              " << state.FrameCount << "\n"
            << "Errors:              " << state.ErrorCount << "\n";
    }
    const TID3v1Tag& tag = info.Tag;
    const bool present = tag.Present;
    out << "\n"
        << TagLine("Title:          ", "Title:", tag.Title, present) << "\n"
        << TagLine("Artist:         ", "Artist:", tag.Artist, present) << "\n"
        << TagLine("Album:       ", "Album:", tag.Album, present) << "\n"
        << TagLine("Year:         ", "Year:", tag.Year, present) << "\n"
        << TagLine("Genre:       ", "Genre:", tag.GenreName, present) << "\n"
        << TagLine("Comment:  ", "Comment:", tag.Comment, present) << "\n";
}

std::string Decibels(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

void PrintLoudness(const PartLevel& level, std::ostream& out) {
    out << "\nLoudness:            " << Decibels(level.IntegratedLufs) << " LUFS integrated\n"
        << "True peak:           " << Decibels(level.TruePeakDbfs) << " dBTP\n";
}

void PrintJson(const std::string& path, const SourceSession& report, const SourceChapters& chapters,
               const std::optional<PartLevel>& level, std::ostream& out) {
    const TAudioInfo& info = report.Info;
    const TMpegFrameHdr& h = info.Header;
    const SessionState& state = report.State;
    const TID3v1Tag& tag = info.Tag;
    JsonWriter json;
    json.BeginObject();
    json.String("file", FileNameToUtf8(path));
    json.Integer("file_size", info.FileSize);
    json.Integer("first_frame_offset", info.FirstFrameOffset);
    json.Boolean("valid", h.Valid);
    json.String("version", h.VersionText());
    json.String("layer", h.LayerText());
    json.Integer("bitrate_kbps", info.ConstantBitrate());
    json.Integer("sample_rate_hz", h.SampleRate);
    json.String("channel_mode", h.ChannelModeText());
    json.Integer("frame_bytes", h.FrameBytes);
    json.Boolean("vbr", info.IsVbr);
    json.Integer("play_time_ms", info.PlayTimeMs);
    json.Integer("duration_ms", state.DurationMs);
    json.Number("duration_ms_exact", state.DurationMsExact);
    json.Integer("frame_count", state.FrameCount);
    json.Integer("error_count", state.ErrorCount);
    json.BeginObject("tag");
    json.Boolean("present", tag.Present);
    json.String("title", Latin1ToUtf8(tag.Title));
    json.String("artist", Latin1ToUtf8(tag.Artist));
    json.String("album", Latin1ToUtf8(tag.Album));
    json.String("year", Latin1ToUtf8(tag.Year));
    json.String("comment", Latin1ToUtf8(tag.Comment));
    json.Integer("genre_id", tag.GenreId);
    json.String("genre_name", tag.GenreName);
    json.Boolean("full_comment", tag.FullComment);
    json.EndObject();
    json.BeginArray("chapters");
    for (const SourceChapter& chapter : chapters.Chapters) {
        json.BeginObject();
        json.Integer("start_ms", chapter.StartMs);
        json.Integer("end_ms", chapter.EndMs);
        json.String("title", chapter.Title);
        json.EndObject();
    }
    json.EndArray();
    if (level) {
        json.Number("integrated_lufs", level->IntegratedLufs);
        json.Number("true_peak_dbtp", level->TruePeakDbfs);
    }
    json.EndObject();
    out << json.Text();
}

int RunInfo(const InfoOptions& options) {
    SplitSession session;
    if (!OpenOrReport(session, options.File, options.Preload, std::cerr))
        return 1;
    std::optional<PartLevel> level;
    if (options.Loudness) {
        // The whole file, decoded: as long as the longest part could be.
        const Result<std::vector<PartLevel>> measured =
            MeasureLevels(ScanSource::From(options.File, session.Source().Info),
                          {{0, std::numeric_limits<std::int32_t>::max()}}, true);
        if (!measured) {
            std::cerr << PrintableText(measured.Failure().Text) << "\n";
            return 1;
        }
        level = measured.Value().front();
    }
    if (options.Json) {
        PrintJson(options.File, session.Source(), session.Chapters(), level, std::cout);
        return 0;
    }
    PrintText(session.Source(), options.Preload, std::cout);
    PrintChapters(session.Chapters(), std::cout);
    if (level)
        PrintLoudness(*level, std::cout);
    return 0;
}

} // namespace

void RegisterInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand(
        "info", "Show the MPEG information, length, ID3v1 tag and chapters of an MP3 file");
    info->add_option("FILE", options->File, "The MP3 file")->required();
    info->add_flag("--preload", options->Preload,
                   "Walk every frame for the exact frame count and length");
    info->add_flag("--json", options->Json, "Write one JSON object instead of text");
    info->add_flag("--loudness", options->Loudness,
                   "Decode the file and measure its integrated loudness (EBU R128) and true peak");
    info->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}
