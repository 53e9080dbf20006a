// PreloadScan over an arbitrary file: once as the analysis sets it up, once
// with a start offset, version and first frame length taken from the input,
// from the file and from memory.
#include "core/audio_info.h"
#include "core/byte_source.h"
#include "core/preload_scan.h"
#include "fuzz_files.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

void CheckResult(const ScanResult& r, std::int64_t fileSize) {
    if (r.FrameCount < -1 || r.ErrorCount < 0 || !(r.DurationMsExact >= 0))
        FuzzFailure("negative scan results");
    if (r.ErrorCount > fileSize)
        FuzzFailure("more errors than bytes");
    if (r.FrameCount > 0 && fileSize / r.FrameCount < 1)
        FuzzFailure("more frames than bytes");
}

void ScanAsAnalysed(const std::string& path, std::int64_t fileSize) {
    TAudioInfo info;
    const Result<AnalysisResult> analysed = info.AnalyseFile(path);
    if (!analysed || analysed.Value() != AnalysisResult::Ok)
        return;
    std::int64_t lastPosition = -1;
    const Result<ScanResult> r =
        PreloadScan(ScanSource::From(path, info), [&](std::int64_t position, std::int64_t) {
            if (position < lastPosition)
                FuzzFailure("scan progress went backwards");
            lastPosition = position;
        });
    if (!r)
        FuzzFailure("an analysed file could not be scanned");
    CheckResult(r.Value(), fileSize);
}

template <typename T> T TakeFrom(const std::uint8_t* data, std::size_t size, std::size_t at) {
    T value{};
    if (at + sizeof(T) <= size)
        std::memcpy(&value, data + at, sizeof(T));
    return value;
}

void ScanWithArbitrarySetup(const std::string& path, const std::uint8_t* data, std::size_t size,
                            std::int64_t fileSize) {
    ScanSource source;
    source.Path = path;
    // Mostly offsets inside the file, sometimes anything at all.
    const auto rawOffset = TakeFrom<std::int64_t>(data, size, 0);
    source.Format.FirstFrameOffset =
        (rawOffset & 1) ? rawOffset : (rawOffset >> 1) % (fileSize + 2);
    source.Format.VersionId = TakeFrom<std::int8_t>(data, size, 8);
    source.Format.FirstFrameBytes = TakeFrom<std::int16_t>(data, size, 9);
    source.Format.HasInfoFrame = TakeFrom<std::uint8_t>(data, size, 11) & 1;
    source.Format.Layer = TakeFrom<std::int8_t>(data, size, 12);
    // A clean refusal is a defined result.
    const Result<ScanResult> fromFile = PreloadScan(source);
    if (fromFile)
        CheckResult(fromFile.Value(), fileSize);
    // The same bytes from memory walk the same way.
    MemorySource memory(std::vector<std::uint8_t>(data, data + size));
    const Result<ScanResult> fromMemory = PreloadScan(source, memory);
    if (fromFile.Ok() != fromMemory.Ok() ||
        (fromFile && (fromFile.Value().FrameCount != fromMemory.Value().FrameCount ||
                      fromFile.Value().ErrorCount != fromMemory.Value().ErrorCount ||
                      fromFile.Value().DurationMsExact != fromMemory.Value().DurationMsExact)))
        FuzzFailure("the scan of the file and of its bytes in memory differ");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = (ScratchFolder() / "source.mp3").string();
    WriteBytes(path, data, size);
    const auto fileSize = static_cast<std::int64_t>(size);
    ScanAsAnalysed(path, fileSize);
    ScanWithArbitrarySetup(path, data, size, fileSize);
    return 0;
}
