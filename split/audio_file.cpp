#include "split/audio_file.h"

#include "core/bridge_frame.h"
#include "core/frame_rule.h"
#include "core/frame_tables.h"
#include "core/preload_scan.h"
#include "state/open_source.h"

#include <algorithm>
#include <fstream>

std::int32_t AudioFormat::SamplesPerFrame() const {
    return SamplesPerFrameFor(VersionId, Layer);
}

bool ReadFileBytes(const std::string& path, std::int64_t offset, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return in.gcount() == static_cast<std::streamsize>(bytes.size());
}

Result<AudioFile> OpenAudioFile(const std::string& path) {
    Result<SourceSession> opened = OpenSource(path);
    if (!opened.Ok())
        return opened.Failure();
    AudioFile file;
    file.Path = path;
    file.Info = opened.Value().Info;
    file.DurationMs = opened.Value().State.DurationMs;
    const TAudioInfo& info = file.Info;
    file.Format = {info.Header.VersionId, info.Header.Layer(), info.Header.SampleRateHz(),
                   info.Header.ChannelMode() == 3 ? 1 : 2};
    file.AudioEnd = info.FileSize - (info.Tag.Present ? 128 : 0);
    if (!info.HasInfoFrame)
        return file;
    file.MarkerOffset = InformationHeaderOffset(info.Header.VersionId, info.Header.ChannelMode());
    const std::int32_t length = InformationFrameLength(info.Header.RawHeader.data(),
                                                       info.Header.VersionId, info.Header.Layer());
    file.InformationFrame.resize(static_cast<std::size_t>(std::max(length, 4)));
    if (!ReadFileBytes(path, info.FirstFrameOffset, file.InformationFrame))
        return Error{ErrorCategory::Read, info.FirstFrameOffset,
                     "the information frame could not be read", path};
    file.Trim = ReadGaplessTrim(file.InformationFrame, file.MarkerOffset);
    return file;
}

bool IsSilentFrame(std::span<const std::uint8_t> frame, const AudioFormat& format) {
    if (format.Layer != 3 || frame.size() < 4)
        return false;
    const std::int32_t end = Layer3MainDataOffset(frame.data(), format.VersionId);
    const std::int32_t begin = end - Layer3SideInfoBytes(format.VersionId, format.Channels == 1);
    return end <= static_cast<std::int32_t>(frame.size()) &&
           std::all_of(frame.begin() + begin, frame.begin() + end,
                       [](std::uint8_t b) { return b == 0; });
}

Result<void> AudioFrameReader::Open(const AudioFile& file) {
    audioEnd_ = file.AudioEnd;
    if (Result<void> opened = walk_.Open(ScanSource::From(file.Path, file.Info)); !opened)
        return Error{ErrorCategory::Open, -1, opened.Failure().Text, file.Path};
    at_ = walk_.Start();
    return {};
}

std::span<const std::uint8_t> AudioFrameReader::Next() {
    while (std::optional<WalkFrame> frame = walk_.Next(at_)) {
        if (!frame->Whole || !frame->Counted || frame->Offset + frame->Length > audioEnd_)
            continue;
        const std::uint8_t* bytes = walk_.Bytes(*frame);
        if (bytes != nullptr) {
            frameOffset_ = frame->Offset;
            return {bytes, static_cast<std::size_t>(frame->Length)};
        }
    }
    return {};
}
