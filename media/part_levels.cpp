#include "media/part_levels.h"

#include "media/mpeg_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ebur128.h>
#include <memory>

namespace {

using MeterHandle = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;

void DestroyMeter(ebur128_state* state) {
    ebur128_destroy(&state);
}

double Dbfs(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -200.0;
}

// One span's meter, made once the decoder tells the rate and channels.
class SpanMeter {
public:
    SpanMeter(const LevelSpan& span, bool truePeak) : span_(span), truePeak_(truePeak) {}

    // The samples of frame from sample first on, those within the span.
    void Add(const DecodedFrame& frame, std::int64_t first) {
        const auto channels = static_cast<std::size_t>(frame.Channels);
        const std::int64_t count = static_cast<std::int64_t>(frame.Samples.size() / channels);
        const std::int64_t from =
            std::clamp(SampleAt(span_.StartMs, frame) - first, std::int64_t{0}, count);
        const std::int64_t to =
            std::clamp(SampleAt(span_.EndMs, frame) - first, std::int64_t{0}, count);
        if (to <= from || !Ready(frame))
            return;
        ebur128_add_frames_short(meter_.get(),
                                 frame.Samples.data() + static_cast<std::size_t>(from) * channels,
                                 static_cast<std::size_t>(to - from));
    }

    PartLevel Level() const {
        PartLevel level;
        if (!meter_)
            return level;
        double loudness = 0.0;
        if (ebur128_loudness_global(meter_.get(), &loudness) == EBUR128_SUCCESS &&
            std::isfinite(loudness))
            level.IntegratedLufs = loudness;
        double peak = 0.0;
        double truePeak = 0.0;
        for (unsigned channel = 0; channel < meter_->channels; ++channel) {
            double value = 0.0;
            if (ebur128_sample_peak(meter_.get(), channel, &value) == EBUR128_SUCCESS)
                peak = std::max(peak, value);
            if (truePeak_ && ebur128_true_peak(meter_.get(), channel, &value) == EBUR128_SUCCESS)
                truePeak = std::max(truePeak, value);
        }
        level.PeakDbfs = Dbfs(peak);
        level.TruePeakDbfs = truePeak_ ? Dbfs(truePeak) : level.PeakDbfs;
        return level;
    }

    std::int32_t EndMs() const { return span_.EndMs; }

private:
    static std::int64_t SampleAt(std::int32_t ms, const DecodedFrame& frame) {
        return (std::int64_t{ms} * frame.SampleRateHz + 500) / 1000;
    }

    bool Ready(const DecodedFrame& frame) {
        if (!meter_) {
            const int mode = EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK |
                             (truePeak_ ? EBUR128_MODE_TRUE_PEAK : 0);
            meter_ = MeterHandle(ebur128_init(static_cast<unsigned>(frame.Channels),
                                              static_cast<unsigned long>(frame.SampleRateHz), mode),
                                 DestroyMeter);
        }
        return meter_ != nullptr;
    }

    LevelSpan span_;
    bool truePeak_;
    MeterHandle meter_{nullptr, DestroyMeter};
};

} // namespace

Result<std::vector<PartLevel>> MeasureLevels(const ScanSource& source,
                                             const std::vector<LevelSpan>& spans, bool truePeak) {
    std::vector<SpanMeter> meters;
    std::int32_t lastEnd = 0;
    for (const LevelSpan& span : spans) {
        meters.emplace_back(span, truePeak);
        lastEnd = std::max(lastEnd, span.EndMs);
    }
    MpegDecoder decoder;
    if (!decoder.Ready())
        return Error{ErrorCategory::Internal, -1, decoder.ErrorText()};
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(source.Path.c_str(), "rb"), &std::fclose);
    // The information frame decodes to silence in no part.
    const std::int64_t audioStart =
        source.Format.FirstFrameOffset +
        (source.Format.HasInfoFrame ? source.Format.FirstFrameBytes : 0);
    if (!file || std::fseek(file.get(), static_cast<long>(audioStart), SEEK_SET) != 0)
        return Error{ErrorCategory::Read, -1, source.Path + ": cannot be read"};
    std::vector<std::uint8_t> bytes(1 << 16);
    std::int64_t decoded = 0; // samples per channel before the next frame
    double decodedMs = 0.0;
    bool more = true;
    while (decodedMs < lastEnd) {
        if (const std::optional<DecodedFrame> frame = decoder.NextFrame()) {
            for (SpanMeter& meter : meters)
                meter.Add(*frame, decoded);
            decoded += static_cast<std::int64_t>(frame->Samples.size()) / frame->Channels;
            decodedMs = 1000.0 * static_cast<double>(decoded) / frame->SampleRateHz;
            continue;
        }
        if (!more)
            break;
        const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
        more = read == bytes.size();
        // An empty feed lets the decoder give the last frame it holds.
        decoder.Feed(std::span<const std::uint8_t>(bytes.data(), read));
    }
    std::vector<PartLevel> levels;
    for (const SpanMeter& meter : meters)
        levels.push_back(meter.Level());
    return levels;
}
