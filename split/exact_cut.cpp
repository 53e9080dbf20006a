#include "split/exact_cut.h"

#include "core/bridge_frame.h"
#include "core/frame_rule.h"
#include "core/frame_tables.h"

#include <algorithm>

GaplessSource GaplessSource::Of(std::int32_t versionId, std::int32_t sampleRate, bool mono,
                                const std::optional<GaplessTrim>& sourceTrim,
                                std::int64_t countedFrames) {
    GaplessSource source;
    source.SampleRate = sampleRate;
    source.FrameSamples = SamplesPerFrameFor(versionId, 3);
    if (sourceTrim) {
        source.Lead = sourceTrim->Delay + kDecoderDelay;
        source.EndPadding = sourceTrim->Padding;
    }
    source.CountedFrames = countedFrames;
    // An MPEG 1 frame holds two granules, an MPEG 2 or 2.5 frame one.
    source.RoundingPeriod = (mono ? 4 : 2) / (versionId == 1 ? 2 : 1);
    // main_data_begin reaches back 511 bytes in MPEG 1, 255 below it.
    const std::int32_t reach = versionId == 1 ? 511 : 255;
    const std::int32_t smallest =
        FrameLengthFor(versionId, 3, std::int64_t{BitrateKbpsFor(versionId, 3, 1)} * 1000,
                       sampleRate, false) -
        4 - Layer3SideInfoBytes(versionId, mono);
    if (smallest > 0)
        source.ReservoirFrames = (reach + smallest - 1) / smallest;
    return source;
}

std::optional<GaplessSource> GaplessSource::For(const SourceFormat& format) {
    if (format.Layer != 3 || format.FirstFrameOffset < 0 || format.SampleRateHz <= 0)
        return std::nullopt;
    const std::int32_t versionId =
        format.VersionId == 1 || format.VersionId == 3 ? format.VersionId : 2;
    return Of(versionId, format.SampleRateHz, format.ChannelMode == 3, format.Trim,
              format.InfoFrameCount);
}

std::int64_t GaplessSource::AudioEnd(std::int64_t lastFrame) const {
    const bool whole = lastFrame + 1 >= CountedFrames;
    return (lastFrame + 1) * FrameSamples - (whole ? EndPadding : kDecoderDelay) + kDecoderDelay;
}

std::int64_t SampleAtMs(std::int64_t ms, std::int32_t sampleRate) {
    return (std::max<std::int64_t>(ms, 0) * sampleRate + 500) / 1000;
}

// The first copied frame leaves at least kWarmUp decoded samples before the
// start (the first frame excepted: the source starts there too), the last at
// least the decoder's delay after the end.
ExactSpan::ExactSpan(const GaplessSource& source, std::int32_t startMs, std::int32_t endMs)
    : source_(source), start_(SampleAtMs(startMs, source.SampleRate) + source.Lead),
      end_(SampleAtMs(std::max(startMs, endMs), source.SampleRate) + source.Lead) {
    const std::int64_t n = source.FrameSamples;
    firstFrame_ = start_ >= kWarmUp ? (start_ - kWarmUp) / n : 0;
    tailFrame_ = (end_ + kDecoderDelay + n - 1) / n - 1;
}

std::int32_t ExactSpan::Delay(std::int32_t silentFrames) const {
    const std::int64_t before = (silentFrames - firstFrame_) * std::int64_t{source_.FrameSamples};
    return static_cast<std::int32_t>(before + start_ - kDecoderDelay);
}

// The frames mpg123 decodes of the source before the one holding the first
// sample: of a source with LAME tag those from the preroll before the frame
// its delay reaches, of one without all.
std::int64_t ExactSpan::DecodedInSource() const {
    const std::int64_t n = source_.FrameSamples;
    return start_ / n - std::max<std::int64_t>(0, source_.Lead / n - kDecoderPreroll);
}

// Whether mpg123 decodes as many frames before the part's first sample,
// modulo the period, as before the source's: in the part it decodes the
// preroll's last before the frame its delay reaches.
bool ExactSpan::RoundsAsSource(std::int32_t silentFrames) const {
    const std::int64_t inPart =
        std::min(silentFrames + start_ / source_.FrameSamples - firstFrame_, kDecoderPreroll);
    return (DecodedInSource() - inPart) % source_.RoundingPeriod == 0;
}

std::int64_t ExactSpan::RoundingLeadFrames(std::int64_t least) const {
    const std::int64_t decoded = DecodedInSource();
    if (decoded <= least)
        return decoded;
    return least + (decoded - least) % source_.RoundingPeriod;
}

// The fewest silent frames from least on whose count rounds as the source,
// within maxDelay. One period holds it unless the preroll cuts it off (mono
// MPEG 2 and 2.5).
std::optional<ExactSpan::LeadIn> ExactSpan::RoundingLeadIn(std::int32_t least, bool firstHolds,
                                                           std::int32_t maxDelay) const {
    for (std::int32_t frames = least; frames < least + source_.RoundingPeriod; ++frames) {
        if (RoundsAsSource(frames) && Delay(frames) <= maxDelay)
            return LeadIn{frames, firstHolds};
    }
    return std::nullopt;
}

// A bridge frame of its own keeps the first frame's bytes; failing it, the
// first frame holds the bridge's bytes, a frame less; failing both, mono MPEG 1
// takes a delay beyond Rockbox's; and where no count rounds as the source, the
// fewest frames.
ExactSpan::LeadIn ExactSpan::LeadInFor(bool bridge, bool holdable) const {
    std::int32_t least = bridge ? 1 : 0;
    // A start within the decoder's delay of the first frame needs a frame more to skip.
    if (Delay(least) < 0)
        ++least;
    constexpr std::int32_t kLongestDelay = 0xFFF; // the LAME tag's field
    std::optional<LeadIn> lead = RoundingLeadIn(least, false, kMaxDelay);
    if (!lead && bridge && holdable)
        lead = RoundingLeadIn(least - 1, true, kMaxDelay);
    if (!lead)
        lead = RoundingLeadIn(least, false, kLongestDelay);
    return lead.value_or(LeadIn{least, false});
}

GaplessTrim ExactSpan::Trim(std::int32_t silentFrames, std::int64_t lastFrame,
                            bool atSourceEnd) const {
    const std::int64_t decoded = (lastFrame + 1) * source_.FrameSamples;
    std::int64_t end = end_;
    if (atSourceEnd)
        end = std::max(start_, std::min(end, source_.AudioEnd(lastFrame)));
    return GaplessTrim{Delay(silentFrames),
                       static_cast<std::int32_t>(decoded - end + kDecoderDelay)};
}
