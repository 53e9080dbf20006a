#pragma once

#include "core/information_frame.h"
#include "core/source_format.h"

#include <algorithm>
#include <cstdint>
#include <optional>

// How an exact cut maps a part's two times onto the source's frames.
//
// Times map to samples as (ms x rate + 500) div 1000 on the source's timeline
// as a gapless player plays it. A decoder starts with no history: a part
// begins with warm-up frames before its first sample and ends with tail frames
// after its last one, and its LAME tag tells players to drop both.

// The source as the exact cuts see it.
struct GaplessSource {
    std::int32_t SampleRate = 44100;
    std::int32_t FrameSamples = 1152;
    // Decoded samples before the timeline's first: the LAME tag's delay plus
    // the decoder's 529, or 0 for a source without LAME tag (taken as decoded).
    std::int64_t Lead = 0;
    // Decoded samples a gapless player drops at the source's end, counted as
    // in the LAME tag; 529 (none) without it.
    std::int64_t EndPadding = 529;
    // The audio frames the information frame counts, 0 when it does not. A
    // source that ends before them has lost its padding with its end: mpg123
    // then plays every sample its whole frames hold, and so do its parts.
    std::int64_t CountedFrames = 0;
    // mpg123's synthesis sums in an order that turns with every 32 samples,
    // so a part rounds as the source only where mpg123 has synthesised as
    // many granules before the part's first sample, modulo 4 in mono and 2 in
    // stereo: in frames, this period (1: any count will do).
    std::int32_t RoundingPeriod = 1;
    // Frames enough to hold the longest reservoir at the lowest bit rate.
    std::int64_t ReservoirFrames = 10;

    static GaplessSource Of(std::int32_t versionId, std::int32_t sampleRate, bool mono,
                            const std::optional<GaplessTrim>& sourceTrim,
                            std::int64_t countedFrames = 0);
    // The end of the audio, in decoded samples, of a source whose last frame is lastFrame.
    std::int64_t AudioEnd(std::int64_t lastFrame) const;
    // As the source's analysis found it; nothing for a source that is not Layer III.
    static std::optional<GaplessSource> For(const SourceFormat& format);
};

inline constexpr std::int64_t kDecoderDelay = 529;
// Decoded samples a decoder needs before its output matches the source's:
// the first granule's missing overlap and the synthesis filter's memory.
inline constexpr std::int64_t kWarmUp = kDecoderDelay + 527;
// Beyond this delay (or a padding of 2304, which parts stay below), Rockbox
// ignores the whole gapless information.
inline constexpr std::int32_t kMaxDelay = 2880;
// mpg123 decodes at most this many frames before the one holding the first
// sample it plays, whatever the delay puts before it.
inline constexpr std::int64_t kDecoderPreroll = 4;

std::int64_t SampleAtMs(std::int64_t ms, std::int32_t sampleRate);

// The source frames one exact part copies, by their index among the audio frames.
class ExactSpan {
public:
    ExactSpan(const GaplessSource& source, std::int32_t startMs, std::int32_t endMs);

    // The part's samples, decoded from the source's first audio frame: [Start, End).
    std::int64_t Start() const { return start_; }
    std::int64_t End() const { return end_; }
    std::int64_t FirstFrame() const { return firstFrame_; } // the warm-up begins
    std::int64_t TailFrame() const { return tailFrame_; }   // the last frame to copy
    // Where the walk must begin to gather the first frame's reservoir.
    std::int64_t EntryFrame() const {
        return std::max<std::int64_t>(0, firstFrame_ - source_.ReservoirFrames);
    }

    // The silent frames before the first copied one, and whether that frame
    // carries the bytes it reads from the reservoir itself instead of a bridge
    // frame, the last silent one: what the delay and mpg123's rounding need.
    struct LeadIn {
        std::int32_t SilentFrames = 0;
        bool FirstHoldsReservoir = false;
    };
    // bridge: the first frame reads from the reservoir; holdable: it can be
    // rebuilt to hold those bytes.
    LeadIn LeadInFor(bool bridge, bool holdable) const;
    // How many of the source's frames, at least least, to decode before the
    // one holding the first sample, for mpg123 to have decoded as many as in
    // the source, modulo the period.
    std::int64_t RoundingLeadFrames(std::int64_t least) const;
    // The tag's trim for a part of silentFrames silent frames and the copied
    // frames up to lastFrame, which is the source's last when atSourceEnd.
    GaplessTrim Trim(std::int32_t silentFrames, std::int64_t lastFrame, bool atSourceEnd) const;

private:
    std::int32_t Delay(std::int32_t silentFrames) const;
    std::int64_t DecodedInSource() const;
    bool RoundsAsSource(std::int32_t silentFrames) const;
    std::optional<LeadIn> RoundingLeadIn(std::int32_t least, bool firstHolds,
                                         std::int32_t maxDelay) const;

    GaplessSource source_;
    std::int64_t start_; // decoded samples, from the source's first audio frame
    std::int64_t end_;
    std::int64_t firstFrame_;
    std::int64_t tailFrame_;
};
