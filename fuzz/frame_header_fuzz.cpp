// TMpegFrameHdr and the shared frame rule on arbitrary bytes.
#include "core/frame_header.h"
#include "core/frame_rule.h"
#include "fuzz_files.h"

#include <cstdint>
#include <string>

namespace {

// Every query must answer on whatever the last decode left behind.
void AskEverything(const TMpegFrameHdr& h) {
    volatile std::int64_t sink = 0;
    sink = sink + h.IsValid() + h.HasSync() + h.Version() + h.Layer() + h.ChannelMode();
    sink = sink + h.BitrateKbps() + h.BitrateBps() + h.SampleRateHz() + h.HasPadding();
    sink = sink + h.PaddingSize() + h.FrameLength();
    const std::string texts = h.VersionText() + h.LayerText() + h.ChannelModeText();
    if (h.VersionText().size() > 3 || h.LayerText().size() > 3)
        FuzzFailure("version or layer text longer than three characters");
    sink = sink + static_cast<std::int64_t>(texts.size());
}

void CheckFindHeader(const std::uint8_t* data, std::int64_t size) {
    TMpegFrameHdr h;
    const std::int64_t found = h.FindHeader(data, size);
    if (found == -1)
        return;
    if (found < 0 || found > size - 4)
        FuzzFailure("FindHeader returned an offset outside the buffer");
    if (!h.Valid || !h.HasSync())
        FuzzFailure("FindHeader returned an offset whose header is not valid");
    TMpegFrameHdr again;
    if (!again.Decode(data + found, size - found))
        FuzzFailure("the header that FindHeader found does not decode as valid");
    for (std::int64_t i = 0; i < found; ++i) {
        TMpegFrameHdr earlier;
        if (earlier.Decode(data + i, size - i))
            FuzzFailure("FindHeader skipped an earlier valid header");
    }
    AskEverything(h);
}

void CheckFrameRule(const std::uint8_t* data, std::int64_t size) {
    if (size < 8)
        return;
    const std::int32_t version = static_cast<std::int32_t>(data[4]) - 128;
    const std::int32_t layer = static_cast<std::int32_t>(data[6]) - 128;
    const FrameCandidate c = EvaluateFrame(data, version, layer);
    if (c.Accepted) {
        if (c.Length <= 0 || c.BitrateBps <= 0 || c.SampleRateHz <= 0)
            FuzzFailure("an accepted frame with a non-positive length or rate");
        volatile long double d = FrameDurationMs(c.Length, c.BitrateBps);
        if (!(d > 0))
            FuzzFailure("an accepted frame without a positive duration");
    }
    volatile std::int32_t length = InformationFrameLength(data, version, layer);
    if (length < 0)
        FuzzFailure("a negative information frame length");
    volatile std::int32_t offset = InformationHeaderOffset(version, data[5] & 3);
    (void)offset;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto count = static_cast<std::int64_t>(size);
    TMpegFrameHdr h;
    const bool valid = h.Decode(data, count);
    if (count < 4 && (valid || h.RawHeader != decltype(h.RawHeader){}))
        FuzzFailure("Decode changed the header with fewer than four bytes");
    AskEverything(h);
    CheckFindHeader(data, count);
    CheckFrameRule(data, count);
    return 0;
}
