#include "core/audio_info.h"

#include "core/frame_rule.h"
#include "core/frame_tables.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <vector>

namespace {

constexpr std::int64_t kWindowSize = 128;
constexpr std::int64_t kCarry = 4;
constexpr std::int64_t kLongestPlayTimeMs = std::numeric_limits<std::int32_t>::max();
// Real MPEG audio follows its first frame with more frames. Sync patterns in
// data of other kinds (compressed or encoded streams) are not followed by even
// one more valid header where their length says, so a run of this many
// frames, or one that reaches the end of the file or its ID3v1 tag, tells
// audio from such data.
constexpr int kFramesInRun = 4;
// An exact part puts up to five frames of its own (silence, a bridge, a rebuilt
// first frame) between its information frame and the source's frames.
constexpr int kFramesBeforeAudio = 6;

// Any failed read inside the analysis: reported as AnalysisResult::Failed,
// with the byte at which the read began.
Error ReadFailure(std::int64_t position) {
    return Error{ErrorCategory::Read, position, TAudioInfo::FailureMessage};
}

Result<void> ReadExactly(std::istream& in, std::int64_t position, std::uint8_t* into,
                         std::int64_t count) {
    in.clear();
    in.seekg(position);
    in.read(reinterpret_cast<char*>(into), count);
    if (!in || in.gcount() != count)
        return ReadFailure(position);
    return {};
}

bool IsSpaceOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsBlankPath(const std::string& path) {
    for (char c : path) {
        if (!IsSpaceOrControl(c))
            return false;
    }
    return true;
}

// Size of a leading ID3v2 tag (header, body and footer), or 0 when the bytes
// are no valid ID3v2 header.
std::int64_t Id3v2TagSize(const std::array<std::uint8_t, 10>& h) {
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF)
        return 0;
    for (int i = 6; i < 10; ++i) {
        if (h[i] >= 0x80)
            return 0;
    }
    const std::int64_t body = (std::int64_t{h[6]} << 21) | (std::int64_t{h[7]} << 14) |
                              (std::int64_t{h[8]} << 7) | std::int64_t{h[9]};
    const bool hasFooter = (h[5] & 0x10) != 0;
    return 10 + body + (hasFooter ? 10 : 0);
}

std::int32_t SamplesPerFrame(const TMpegFrameHdr& header) {
    return SamplesPerFrameFor(header.VersionId, header.Layer());
}

std::uint32_t BigEndian32(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

Result<std::int64_t> SkippedId3v2Bytes(std::istream& in, std::int64_t start, std::int64_t count) {
    std::array<std::uint8_t, 10> header{};
    if (count < static_cast<std::int64_t>(header.size()))
        return std::int64_t{0};
    if (Result<void> read = ReadExactly(in, start, header.data(), header.size()); !read)
        return read.Failure();
    // A tag that claims more than the file holds is damaged: its size says
    // nothing, and the audio is searched for from the start.
    const std::int64_t size = Id3v2TagSize(header);
    return size < count ? size : std::int64_t{0};
}

std::uint32_t LittleEndian(const std::uint8_t* b, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | b[i];
    return value;
}

// RIFF/WAVE whose format is not MPEG audio (0x0050 MPEG, 0x0055 MPEG Layer III):
// the "fmt " chunk among the chunks the head holds decides.
bool IsNonMpegWave(const std::uint8_t* head, std::int64_t size) {
    if (size < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    for (std::int64_t chunk = 12; chunk + 10 <= size;) {
        const std::int64_t length = LittleEndian(head + chunk + 4, 4);
        if (std::memcmp(head + chunk, "fmt ", 4) == 0) {
            const std::uint32_t format = LittleEndian(head + chunk + 8, 2);
            return format != 0x0050 && format != 0x0055;
        }
        chunk += 8 + length + (length & 1);
    }
    return false;
}

// Files of other kinds begin with a signature that MPEG audio never does, yet
// hold bytes that pass for frame headers further on.
bool IsAnotherKindOfFile(const std::uint8_t* head, std::int64_t size) {
    const auto startsWith = [&](std::int64_t at, std::string_view signature) {
        return size >= at + static_cast<std::int64_t>(signature.size()) &&
               std::memcmp(head + at, signature.data(), signature.size()) == 0;
    };
    static constexpr std::string_view kSignatures[] = {
        "\x89PNG\r\n\x1A\n", "\xFF\xD8\xFF", "fLaC", "OggS", "PK\x03\x04", "PK\x05\x06", "%PDF-"};
    for (const std::string_view signature : kSignatures)
        if (startsWith(0, signature))
            return true;
    return startsWith(4, "ftyp") || IsNonMpegWave(head, size);
}

// The bytes the first-frame search reads at most: a first window, then
// windows of new bytes behind the ones carried, until limit is reached.
std::int64_t SearchReach(std::int64_t limit) {
    std::int64_t done = 0;
    for (std::int64_t chunk = kWindowSize; done < limit; chunk = kWindowSize - kCarry)
        done += chunk;
    return done;
}

Error OpenFailure(std::string message) {
    return Error{ErrorCategory::Open, -1, std::move(message)};
}

} // namespace

void TAudioInfo::Reset() {
    Header.Valid = false;
    FirstFrameOffset = -1;
    IsVbr = false;
    HasInfoFrame = false;
    Tag.Present = false;
    FileSize = -1;
    XingFrameCount = 0;
    Id3v2Size = 0;
    AudioBitrate = 0;
    SourceTrim.reset();
    Problem = {ErrorCategory::Format, -1, FailureMessage};
}

Result<AnalysisResult> TAudioInfo::AnalyseFile(const std::string& path) {
    Reset();
    // A blank or unopenable path must not leave an earlier file's play time
    // standing as if this one had been analysed.
    PlayTimeMs = 0;
    if (IsBlankPath(path))
        return OpenFailure("'" + path + "': no file name given");
    // A folder opens as a stream here, but only fails on the first read.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return OpenFailure(path + ": " + std::strerror(EISDIR));
    // A pipe or a device would block the open or never end: only files are sources.
    const auto status = std::filesystem::status(path, ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return OpenFailure(path + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return OpenFailure(path + ": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::int64_t size = in.tellg();
    if (size < 0)
        return OpenFailure(path + ": the file size could not be read");
    in.seekg(0);
    const AnalysisResult result = AnalyseStream(in, size);
    FileSize = size;
    return result;
}

AnalysisResult TAudioInfo::AnalyseStream(std::istream& in, std::int64_t count) {
    Reset();
    PlayTimeMs = 0;
    Result<AnalysisResult> result = AnalysisResult::Failed;
    // A stream set to raise exceptions (std::ios::exceptions) ends the analysis
    // with their reason.
    try {
        result = Analyse(in, count);
    } catch (const std::exception& error) {
        result = Error{ErrorCategory::Internal, -1,
                       std::string(FailureMessage) + " (" + error.what() + ")"};
    }
    if (result)
        return result.Value();
    Problem = result.Failure();
    PlayTimeMs = 0;
    return AnalysisResult::Failed;
}

Result<AnalysisResult> TAudioInfo::Analyse(std::istream& in, std::int64_t count) {
    const std::int64_t start = in.tellg();
    in.seekg(0, std::ios::end);
    const std::int64_t end = in.tellg();
    if (start < 0 || end < 0)
        return ReadFailure(-1);
    count = std::max<std::int64_t>(0, std::min(count, end - start));

    const Result<std::int64_t> id3v2 = SkippedId3v2Bytes(in, start, count);
    if (!id3v2)
        return id3v2.Failure();
    Id3v2Size = id3v2.Value();
    const Result<bool> otherKind = IsOtherKindOfFile(in, start, count);
    if (!otherKind)
        return otherKind.Failure();
    if (!otherKind.Value())
        if (Result<void> found = FindFirstFrame(in, start, count); !found)
            return found.Failure();
    if (FirstFrameOffset < 0) {
        if (Result<void> tag = ReadTag(in, start, count); !tag)
            return tag.Failure();
        return AnalysisResult::NoFrameFound;
    }
    // Free format and zero-length frames give no duration to divide by.
    if (Header.Bitrate <= 0 || Header.FrameBytes <= 0)
        return AnalysisResult::Failed;
    const Result<bool> run = HoldsFrameRun(in, start, count);
    if (!run)
        return run.Failure();
    if (!run.Value()) {
        FirstFrameOffset = -1;
        Header.Valid = false;
        if (Result<void> tag = ReadTag(in, start, count); !tag)
            return tag.Failure();
        return AnalysisResult::NoFrameFound;
    }
    if (Result<void> confirmed = ConfirmFirstFrame(in, start, count); !confirmed)
        return confirmed.Failure();
    if (Header.Valid)
        if (Result<void> information = ReadInformationFrame(in, start, count); !information)
            return information.Failure();
    if (HasInfoFrame && !IsVbr)
        if (Result<void> audio = ReadAudioBitrate(in, start, count); !audio)
            return audio.Failure();
    if (Result<void> tag = ReadTag(in, start, count); !tag)
        return tag.Failure();
    if (IsTimedByFrameCount())
        PlayTimeMs = FrameCountPlayTime();
    // A VBR file without a usable frame count is timed as if it were CBR.
    else if (!IsVbr || PlayTimeMs == 0)
        PlayTimeMs = ConstantBitratePlayTime(count);
    // Every time of a session is a signed 32-bit count of ms (24.8 days): only
    // a damaged or hostile header claims more, and nothing could be cut by it.
    if (PlayTimeMs > kLongestPlayTimeMs)
        PlayTimeMs = 0;
    return PlayTimeMs > 0 ? AnalysisResult::Ok : AnalysisResult::Failed;
}

Result<bool> TAudioInfo::IsOtherKindOfFile(std::istream& in, std::int64_t start,
                                           std::int64_t count) {
    std::array<std::uint8_t, 512> head{};
    const std::int64_t size = std::min<std::int64_t>(head.size(), count - Id3v2Size);
    if (size <= 0)
        return false;
    if (Result<void> read = ReadExactly(in, start + Id3v2Size, head.data(), size); !read)
        return read.Failure();
    return IsAnotherKindOfFile(head.data(), size);
}

Result<void> TAudioInfo::FindFirstFrame(std::istream& in, std::int64_t start, std::int64_t count) {
    const std::int64_t searchStart = Id3v2Size;
    const std::int64_t searchable = count - searchStart;
    if (searchable <= 0)
        return {};
    std::array<std::uint8_t, kWindowSize> window{};
    std::int64_t done = 0;
    std::int64_t carry = 0;
    in.clear();
    in.seekg(start + searchStart);
    while (done < SearchLimit && done < searchable) {
        const std::int64_t chunk = std::min(kWindowSize - carry, searchable - done);
        in.read(reinterpret_cast<char*>(window.data() + carry), chunk);
        if (in.gcount() != chunk)
            return ReadFailure(start + searchStart + done);
        const std::int64_t found = Header.FindHeader(window.data(), carry + chunk);
        if (found >= 0) {
            FirstFrameOffset = searchStart + found + done - carry;
            return {};
        }
        done += chunk;
        carry = kCarry;
        std::copy(window.end() - kCarry, window.end(), window.begin());
    }
    return {};
}

// Whether the first frame found, or another header in the searched bytes,
// begins a run of frames. The first frame found stays the first frame even
// when only a later header begins the run.
Result<bool> TAudioInfo::HoldsFrameRun(std::istream& in, std::int64_t start, std::int64_t count) {
    std::int64_t audioEnd = count;
    if (count >= 128) {
        std::array<std::uint8_t, 3> tag{};
        if (Result<void> read = ReadExactly(in, start + count - 128, tag.data(), tag.size()); !read)
            return read.Failure();
        if (std::memcmp(tag.data(), "TAG", 3) == 0)
            audioEnd = count - 128;
    }
    const std::int64_t searchEnd = std::min(count, Id3v2Size + SearchReach(SearchLimit));
    std::vector<std::uint8_t> searched(
        static_cast<std::size_t>(std::max<std::int64_t>(0, searchEnd - FirstFrameOffset)));
    if (Result<void> read = ReadExactly(in, start + FirstFrameOffset, searched.data(),
                                        static_cast<std::int64_t>(searched.size()));
        !read)
        return read.Failure();
    TMpegFrameHdr candidate;
    for (std::int64_t at = 0;;) {
        const std::int64_t found = candidate.FindHeader(
            searched.data() + at, static_cast<std::int64_t>(searched.size()) - at);
        if (found < 0)
            return false;
        at += found;
        const Result<bool> run =
            FrameRunFrom(in, start, audioEnd, FirstFrameOffset + at, candidate.FrameBytes);
        if (!run || run.Value())
            return run;
        ++at;
    }
}

// Whether kFramesInRun frames follow each other from offset, the first of
// length bytes, or the frames reach audioEnd before that.
Result<bool> TAudioInfo::FrameRunFrom(std::istream& in, std::int64_t start, std::int64_t audioEnd,
                                      std::int64_t offset, std::int32_t length) {
    for (int frame = 1; frame < kFramesInRun; ++frame) {
        if (length <= 0)
            return false;
        offset += length;
        if (offset + 4 >= audioEnd)
            return true;
        std::array<std::uint8_t, 4> bytes{};
        if (Result<void> read = ReadExactly(in, start + offset, bytes.data(), bytes.size()); !read)
            return read.Failure();
        TMpegFrameHdr next;
        if (!next.Decode(bytes.data(), bytes.size()))
            return false;
        length = next.FrameBytes;
    }
    return true;
}

Result<void> TAudioInfo::ConfirmFirstFrame(std::istream& in, std::int64_t start,
                                           std::int64_t count) {
    const std::int64_t next = FirstFrameOffset + Header.FrameBytes;
    if (next + 4 >= count)
        return {};
    std::array<std::uint8_t, 4> bytes{};
    if (Result<void> read = ReadExactly(in, start + next, bytes.data(), bytes.size()); !read)
        return read;
    TMpegFrameHdr following;
    following.Decode(bytes.data(), bytes.size());
    Header.Valid = following.Valid;
    return {};
}

Result<void> TAudioInfo::ReadInformationFrame(std::istream& in, std::int64_t start,
                                              std::int64_t count) {
    const std::int64_t pos =
        FirstFrameOffset + InformationHeaderOffset(Header.VersionId, Header.ChannelMode());
    if (pos + 12 >= count)
        return {};
    std::array<std::uint8_t, 12> bytes{};
    if (Result<void> read = ReadExactly(in, start + pos, bytes.data(), bytes.size()); !read)
        return read;
    const bool xing = std::memcmp(bytes.data(), "Xing", 4) == 0;
    const bool info = std::memcmp(bytes.data(), "Info", 4) == 0;
    if (!xing && !info)
        return {};
    IsVbr = xing;
    HasInfoFrame = true;
    XingFrameCount = (bytes[7] & 1) != 0 ? BigEndian32(bytes.data() + 8) : 0;
    if (IsVbr)
        PlayTimeMs = VariableBitratePlayTime();
    return ReadSourceTrim(in, start, count);
}

Result<void> TAudioInfo::ReadSourceTrim(std::istream& in, std::int64_t start, std::int64_t count) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(
        std::clamp<std::int64_t>(count - FirstFrameOffset, 0, Header.FrameBytes)));
    if (Result<void> read = ReadExactly(in, start + FirstFrameOffset, frame.data(), frame.size());
        !read)
        return read;
    SourceTrim =
        ReadGaplessTrim(frame, InformationHeaderOffset(Header.VersionId, Header.ChannelMode()));
    return {};
}

// The rate of the frame kFramesBeforeAudio after the information frame, or of
// the last one a shorter file holds.
Result<void> TAudioInfo::ReadAudioBitrate(std::istream& in, std::int64_t start,
                                          std::int64_t count) {
    std::int64_t position = FirstFrameOffset + Header.FrameBytes;
    for (int frame = 0; frame < kFramesBeforeAudio && position + 4 <= count; ++frame) {
        std::array<std::uint8_t, 4> bytes{};
        if (Result<void> read = ReadExactly(in, start + position, bytes.data(), bytes.size());
            !read)
            return read;
        TMpegFrameHdr header;
        header.Decode(bytes.data(), bytes.size());
        if (!header.Valid || header.Bitrate <= 0 || header.FrameBytes <= 0)
            break;
        AudioBitrate = header.Bitrate;
        position += header.FrameBytes;
    }
    return {};
}

bool TAudioInfo::IsTimedByFrameCount() const {
    return HasInfoFrame && !IsVbr && XingFrameCount > 0 && ConstantBitrate() != Header.Bitrate;
}

// Whole milliseconds of the audio frames the information frame counts.
std::int64_t TAudioInfo::FrameCountPlayTime() const {
    if (Header.SampleRate <= 0)
        return 0;
    return std::int64_t{SamplesPerFrame(Header)} * XingFrameCount * 1000 / Header.SampleRate;
}

std::int64_t TAudioInfo::VariableBitratePlayTime() const {
    if (Header.SampleRate <= 0)
        return 0;
    const long double seconds = static_cast<long double>(SamplesPerFrame(Header)) /
                                Header.SampleRate * static_cast<long double>(XingFrameCount);
    // nearbyint rounds halves to even in the default rounding mode. A file
    // shorter than half a second is timed in milliseconds instead of refused.
    const auto wholeSeconds = static_cast<std::int64_t>(std::nearbyint(seconds)) * 1000;
    return wholeSeconds > 0 ? wholeSeconds
                            : static_cast<std::int64_t>(std::nearbyint(seconds * 1000));
}

Result<void> TAudioInfo::ReadTag(std::istream& in, std::int64_t start, std::int64_t count) {
    const std::int64_t afterFirst = Header.Valid ? FirstFrameOffset + Header.FrameBytes : 0;
    in.clear();
    in.seekg(start + afterFirst);
    if (Result<void> tag = Tag.ReadFromStream(in, count - afterFirst); !tag)
        return Error{ErrorCategory::Internal, -1,
                     std::string(FailureMessage) + " (" + tag.Failure().Text + ")"};
    return {};
}

std::int64_t TAudioInfo::ConstantBitratePlayTime(std::int64_t count) const {
    return ConstantBitrateMs(count - FirstFrameOffset - (Tag.Present ? 128 : 0));
}

std::int64_t TAudioInfo::ConstantBitrateMs(std::int64_t audioBytes) const {
    const std::int64_t kbps = ConstantBitrate();
    if (kbps <= 0 || audioBytes <= 0)
        return 0;
    // A file shorter than a tenth of a second that holds a whole audio frame
    // (a part of one frame) is timed in milliseconds instead of refused.
    const std::int64_t tenths = audioBytes * 8 / (kbps * 100) * 100;
    const std::int64_t leastBytes = std::int64_t{Header.FrameBytes} * (HasInfoFrame ? 2 : 1);
    return tenths > 0 || audioBytes < leastBytes ? tenths : audioBytes * 8 / kbps;
}
