#pragma once

#include "core/engine_error.h"
#include "core/frame_header.h"
#include "core/id3v1_tag.h"
#include "core/information_frame.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <string>

// How an analysis ended. PlayTimeMs is 0 for both failures.
enum class AnalysisResult {
    Ok,
    NoFrameFound, // no frame header in the searched bytes: refused without a message
    Failed, // an error inside the analysis: "Failed to load the information from the MP3 file!"
};

// The analysis of a source file: first frame, format, information frame,
// ID3v1 tag and play time, from a few kilobytes at its start and end.
class TAudioInfo {
public:
    static constexpr const char* FailureMessage =
        "Failed to load the information from the MP3 file!";

    TMpegFrameHdr Header;
    std::int64_t FirstFrameOffset = 0; // from the start of the file; -1 when none
    bool IsVbr = false;                // the first frame carries a "Xing" header
    bool HasInfoFrame = false;         // the first frame carries a "Xing" or "Info" header
    TID3v1Tag Tag;
    std::int64_t PlayTimeMs = 0; // 0 means the analysis failed
    std::int64_t SearchLimit = 10240;
    std::int64_t FileSize = 0;        // -1 until AnalyseFile has opened the file
    std::uint32_t XingFrameCount = 0; // frame count of the information frame, 0 if absent
    std::int64_t Id3v2Size = 0;       // bytes of a leading ID3v2 tag skipped by the search
    // kbit/s of the frames after a CBR information frame, 0 when not read:
    // exact parts, and ffmpeg at low rates, write that frame at a larger rate
    // than the audio to hold its tag.
    std::int32_t AudioBitrate = 0;
    // The delay and padding of the information frame's LAME tag, when it has
    // one: what a gapless player drops at the source's two ends.
    std::optional<GaplessTrim> SourceTrim;
    // Why the last analysis failed: a failed read (with its offset), a tag that
    // could not be read, an exception of the stream, or a format fault. Its text
    // is FailureMessage, with the reason added when there was one.
    Error Problem;

    void Reset();
    // kbit/s of a CBR file's audio, as shown and timed: AudioBitrate when read,
    // else the first frame's (a VBR file's "Xing" frame's).
    std::int32_t ConstantBitrate() const {
        return AudioBitrate > 0 ? AudioBitrate : Header.Bitrate;
    }
    // The length of audioBytes of CBR audio at ConstantBitrate(): in whole
    // tenths of a second, or in ms when under a tenth but a whole first frame.
    std::int64_t ConstantBitrateMs(std::int64_t audioBytes) const;
    // A CBR file whose information frame has another rate than its audio is
    // timed by its frame count: its bytes hold frames of more than one rate.
    bool IsTimedByFrameCount() const;
    // An Open error when the file cannot be opened: its text names the file
    // and the system's reason.
    Result<AnalysisResult> AnalyseFile(const std::string& path);
    AnalysisResult AnalyseStream(std::istream& in, std::int64_t count);

private:
    // The bytes after any ID3v2 tag begin as a file of another kind (a picture, WAVE, ...).
    Result<bool> IsOtherKindOfFile(std::istream& in, std::int64_t start, std::int64_t count);
    Result<AnalysisResult> Analyse(std::istream& in, std::int64_t count);
    Result<void> FindFirstFrame(std::istream& in, std::int64_t start, std::int64_t count);
    Result<bool> HoldsFrameRun(std::istream& in, std::int64_t start, std::int64_t count);
    Result<bool> FrameRunFrom(std::istream& in, std::int64_t start, std::int64_t audioEnd,
                              std::int64_t offset, std::int32_t length);
    Result<void> ConfirmFirstFrame(std::istream& in, std::int64_t start, std::int64_t count);
    Result<void> ReadInformationFrame(std::istream& in, std::int64_t start, std::int64_t count);
    Result<void> ReadSourceTrim(std::istream& in, std::int64_t start, std::int64_t count);
    Result<void> ReadTag(std::istream& in, std::int64_t start, std::int64_t count);
    Result<void> ReadAudioBitrate(std::istream& in, std::int64_t start, std::int64_t count);
    std::int64_t VariableBitratePlayTime() const;
    std::int64_t FrameCountPlayTime() const;
    std::int64_t ConstantBitratePlayTime(std::int64_t count) const;
};
