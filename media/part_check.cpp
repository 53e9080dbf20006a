#include "media/part_check.h"

#include "core/bridge_frame.h"
#include "core/layer3_gain_shift.h"
#include "media/mpeg_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>

namespace {

// Decoding of the source starts this many frames before the part's first
// copied frame, so that the decoder's warm-up is over when it gets there.
constexpr std::int64_t kLeadFrames = 16;
// The last bits of mpg123's output depend on how many frames it has put
// through its synthesis filter, counted in eights (four in MPEG 1).
constexpr std::int64_t kSynthesisCycle = 8;
// Frames enough to hold the longest reservoir (511 bytes) at the lowest bit rate.
constexpr std::int64_t kReservoirFrames = 10;
constexpr std::int64_t kFeedBytes = 64 << 10;

std::uint64_t HashFrame(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 1099511628211ULL;
    return hash;
}

// A Layer III frame's hash with its gains all held at 0: the same for a
// frame whose gains were changed.
std::uint64_t HashWithoutGains(std::span<const std::uint8_t> frame, std::int32_t versionId) {
    std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
    ShiftLayer3Gain(bytes, versionId, {-255, -255});
    return HashFrame(bytes);
}

struct FrameList {
    std::vector<std::int64_t> Offsets; // each frame's offset, and the end of the last
    std::vector<std::uint64_t> Hashes;
    std::vector<std::uint64_t> Gainless; // Layer III only
    std::vector<bool> Silent;
};

// Where the part's frames end but for silent frames not of the source after
// from: a tiny exact part is filled up with them, inside its trimmed padding.
std::int64_t EndBeforeFillers(const FrameList& frames, const std::vector<std::uint64_t>& hashes,
                              std::int64_t from,
                              const std::unordered_multimap<std::uint64_t, std::int64_t>& source) {
    auto end = static_cast<std::int64_t>(hashes.size());
    while (end > from && frames.Silent[static_cast<std::size_t>(end - 1)] &&
           !source.contains(hashes[static_cast<std::size_t>(end - 1)]))
        --end;
    return end;
}

Result<FrameList> ReadFrames(const AudioFile& file) {
    AudioFrameReader reader;
    if (Result<void> opened = reader.Open(file); !opened)
        return opened.Failure();
    FrameList frames;
    std::int64_t end = 0;
    for (std::span<const std::uint8_t> frame; !(frame = reader.Next()).empty();) {
        frames.Offsets.push_back(reader.FrameOffset());
        frames.Hashes.push_back(HashFrame(frame));
        frames.Silent.push_back(IsSilentFrame(frame, file.Format));
        if (file.Format.Layer == 3)
            frames.Gainless.push_back(HashWithoutGains(frame, file.Format.VersionId));
        end = reader.FrameOffset() + static_cast<std::int64_t>(frame.size());
    }
    frames.Offsets.push_back(end);
    return frames;
}

// Decodes frames first..last of a file, telling each decoded frame's index
// among the file's frames (the decoder may pass over one it cannot decode).
class RunDecoder {
public:
    // lead is fed before frame first: frames that put the decoder in the
    // state the file's earlier frames would have left it in.
    RunDecoder(const std::string& path, const std::vector<std::int64_t>& offsets,
               std::int64_t first, std::int64_t last, const std::vector<std::uint8_t>& lead = {})
        : in_(path, std::ios::binary), offsets_(offsets),
          base_(offsets[static_cast<std::size_t>(first)] - static_cast<std::int64_t>(lead.size())),
          position_(offsets[static_cast<std::size_t>(first)]),
          end_(offsets[static_cast<std::size_t>(last + 1)]) {
        in_.seekg(position_);
        decoder_.Feed(lead);
    }

    // The next decoded frame, valid until the next call, and its index.
    std::optional<DecodedFrame> Next(std::int64_t& index) {
        for (;;) {
            if (std::optional<DecodedFrame> frame = decoder_.NextFrame()) {
                const std::int64_t at = base_ + frame->StreamOffset;
                index =
                    at < offsets_.front()
                        ? -1
                        : std::lower_bound(offsets_.begin(), offsets_.end(), at) - offsets_.begin();
                return frame;
            }
            if (position_ >= end_) {
                if (ended_)
                    return std::nullopt;
                // The decoder gives out a frame once it sees the next one begin.
                ended_ = true;
                const std::vector<std::uint8_t> header = LastHeader();
                decoder_.Feed(header);
                continue;
            }
            std::vector<std::uint8_t> block(
                static_cast<std::size_t>(std::min(kFeedBytes, end_ - position_)));
            in_.read(reinterpret_cast<char*>(block.data()),
                     static_cast<std::streamsize>(block.size()));
            block.resize(static_cast<std::size_t>(in_.gcount()));
            position_ = block.empty() ? end_ : position_ + static_cast<std::int64_t>(block.size());
            decoder_.Feed(block);
        }
    }

private:
    std::vector<std::uint8_t> LastHeader() {
        std::vector<std::uint8_t> header(4);
        const auto last = std::upper_bound(offsets_.begin(), offsets_.end(), end_ - 1) - 1;
        in_.clear();
        in_.seekg(*last);
        in_.read(reinterpret_cast<char*>(header.data()), 4);
        return header;
    }

    std::ifstream in_;
    const std::vector<std::int64_t>& offsets_;
    std::int64_t base_;
    std::int64_t position_;
    std::int64_t end_;
    bool ended_ = false;
    MpegDecoder decoder_;
};

// Where to begin decoding the source so that frame target and those after it
// decode as in the whole source's decode, and what to feed before it. In
// Layer III a silent frame carries the first frame's reservoir and stands
// for the frames before it, so the first frame begins one synthesis cycle on.
struct SourceStart {
    std::int64_t Frame = 0;
    std::vector<std::uint8_t> Lead;
};

SourceStart StartFor(const AudioFile& source, const std::vector<std::int64_t>& offsets,
                     std::int64_t target) {
    const std::int64_t step = source.Format.Layer == 3 ? 1 : 0;
    const std::int64_t frame =
        (target - kLeadFrames - step) / kSynthesisCycle * kSynthesisCycle + step;
    if (step == 0)
        return {std::max<std::int64_t>(0, frame), {}};
    // Too near the start for a silent frame to stand for the frames before:
    // the decode starts where the whole source's does. Frame 1 without its
    // reservoir would be passed over, one frame off the source's count.
    if (frame < kSynthesisCycle)
        return {0, {}};
    const std::int64_t from = std::max<std::int64_t>(0, frame - kReservoirFrames);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(
        offsets[static_cast<std::size_t>(frame + 1)] - offsets[static_cast<std::size_t>(from)]));
    if (!ReadFileBytes(source.Path, offsets[static_cast<std::size_t>(from)], bytes))
        return {};
    // The main data of the frames before, one stream, as the reservoir holds it.
    std::vector<std::uint8_t> mainData;
    for (std::int64_t i = from; i < frame; ++i) {
        const std::uint8_t* bytesOf = bytes.data() + (offsets[static_cast<std::size_t>(i)] -
                                                      offsets[static_cast<std::size_t>(from)]);
        const std::int64_t length =
            offsets[static_cast<std::size_t>(i + 1)] - offsets[static_cast<std::size_t>(i)];
        const std::int32_t begin = Layer3MainDataOffset(bytesOf, source.Format.VersionId);
        if (begin < length)
            mainData.insert(mainData.end(), bytesOf + begin, bytesOf + length);
    }
    const std::uint8_t* first = bytes.data() + (offsets[static_cast<std::size_t>(frame)] -
                                                offsets[static_cast<std::size_t>(from)]);
    const std::int32_t borrowed =
        Layer3MainDataBegin(first,
                            static_cast<std::size_t>(offsets[static_cast<std::size_t>(frame + 1)] -
                                                     offsets[static_cast<std::size_t>(frame)]),
                            source.Format.VersionId);
    if (borrowed < 0 || static_cast<std::size_t>(borrowed) > mainData.size())
        return {};
    std::vector<std::uint8_t> bridge =
        SilentLayer3Frame(first, source.Format.VersionId,
                          std::vector<std::uint8_t>(mainData.end() - borrowed, mainData.end()));
    if (bridge.empty())
        return {};
    return {frame, std::move(bridge)};
}

// The bytes [from, to) of path; empty when they cannot be read.
std::vector<std::uint8_t> BytesOf(const std::string& path, std::int64_t from, std::int64_t to) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, to - from)));
    return ReadFileBytes(path, from, bytes) ? bytes : std::vector<std::uint8_t>();
}

// The decoded samples a gapless player plays, [First, End), of total.
struct Played {
    std::int64_t First = 0;
    std::int64_t End = 0;
};

Played PlayedOf(const AudioFile& file, std::int64_t decodedSamples) {
    if (!file.Trim)
        return {0, decodedSamples};
    constexpr std::int64_t kDecoderDelay = 529;
    return {std::min(decodedSamples, file.Trim->Delay + kDecoderDelay),
            std::clamp(decodedSamples - file.Trim->Padding + kDecoderDelay, std::int64_t{0},
                       decodedSamples)};
}

// The part's samples side by side with the source's, frame by frame.
class SampleComparison {
public:
    SampleComparison(std::int32_t channels, std::int64_t firstDifference)
        : channels_(channels), firstDifference_(firstDifference) {}

    // The samples [from, to) of a part frame against those of the source's
    // frame (null where it has none), the source's timeline at timeline.
    // Samples outside the source's timeline are not compared: they are counted apart.
    void Compare(const std::int16_t* part, const std::int16_t* source, std::int64_t from,
                 std::int64_t to, std::int64_t timeline, std::int64_t sourceLength) {
        for (std::int64_t i = from; i < to; ++i, ++timeline) {
            if (timeline < 0 || timeline >= sourceLength)
                continue;
            for (std::int32_t c = 0; c < channels_; ++c) {
                const std::int64_t at = i * channels_ + c;
                const int difference = std::abs(part[at] - (source != nullptr ? source[at] : 0));
                if (difference == 0 && source != nullptr)
                    continue;
                firstDifference_ = std::min(firstDifference_, timeline);
                peak_ = std::max(peak_, difference);
            }
        }
    }
    void Missing(std::int64_t timeline) {
        firstDifference_ = std::min(firstDifference_, std::max<std::int64_t>(0, timeline));
    }

    bool Differs(std::int64_t end) const { return firstDifference_ < end; }
    std::int64_t FirstDifference() const { return firstDifference_; }
    double PeakDbfs() const {
        return peak_ == 0 ? -INFINITY : 20.0 * std::log10(static_cast<double>(peak_) / 32768.0);
    }

private:
    std::int32_t channels_;
    std::int64_t firstDifference_;
    int peak_ = 0;
};

} // namespace

Result<SourceFrameIndex> SourceFrameIndex::Build(const std::string& path) {
    Result<AudioFile> source = OpenAudioFile(path);
    if (!source.Ok())
        return source.Failure();
    Result<FrameList> frames = ReadFrames(source.Value());
    if (!frames.Ok())
        return frames.Failure();
    SourceFrameIndex index;
    index.source_ = std::move(source.Value());
    index.offsets_ = std::move(frames.Value().Offsets);
    index.hashes_ = std::move(frames.Value().Hashes);
    index.byHash_.reserve(index.hashes_.size());
    for (std::size_t i = 0; i < index.hashes_.size(); ++i)
        index.byHash_.emplace(index.hashes_[i], static_cast<std::int64_t>(i));
    index.gainless_ = std::move(frames.Value().Gainless);
    for (std::size_t i = 0; i < index.gainless_.size(); ++i)
        index.byGainless_.emplace(index.gainless_[i], static_cast<std::int64_t>(i));
    return index;
}

SourceFrameIndex::Run
SourceFrameIndex::LongestRun(const std::vector<std::uint64_t>& partHashes, std::int64_t from,
                             const std::unordered_multimap<std::uint64_t, std::int64_t>& byHash,
                             const std::vector<std::uint64_t>& hashes) const {
    Run best;
    // Frames of digital silence repeat: try a bounded number of places.
    constexpr int kPlaces = 64;
    auto [place, placesEnd] = byHash.equal_range(partHashes[static_cast<std::size_t>(from)]);
    for (int tried = 0; place != placesEnd && tried < kPlaces; ++place, ++tried) {
        std::int64_t length = 0;
        const auto sourceFrames = static_cast<std::int64_t>(hashes.size());
        const auto partFrames = static_cast<std::int64_t>(partHashes.size());
        while (from + length < partFrames && place->second + length < sourceFrames &&
               partHashes[static_cast<std::size_t>(from + length)] ==
                   hashes[static_cast<std::size_t>(place->second + length)])
            ++length;
        if (length > best.Length || (length == best.Length && place->second < best.SourceFirst))
            best = {from, place->second, length};
    }
    return best;
}

Result<PartCheck> SourceFrameIndex::Check(const std::string& partPath) const {
    Result<PartCheck> copied = CheckCopied(partPath);
    if (!copied || copied.Value().Match != PartMatch::NotCut || source_.Format.Layer != 3)
        return copied;
    Result<AudioFile> part = OpenAudioFile(partPath);
    if (!part.Ok())
        return part.Failure();
    return CheckGained(partPath, part.Value());
}

Result<PartCheck> SourceFrameIndex::CheckCopied(const std::string& partPath) const {
    Result<AudioFile> opened = OpenAudioFile(partPath);
    if (!opened.Ok())
        return opened.Failure();
    const AudioFile& part = opened.Value();
    Result<FrameList> read = ReadFrames(part);
    if (!read.Ok())
        return read.Failure();
    const FrameList& frames = read.Value();
    PartCheck check;
    const auto partFrames = static_cast<std::int64_t>(frames.Hashes.size());
    if (part.Format.SampleRateHz != source_.Format.SampleRateHz ||
        part.Format.Channels != source_.Format.Channels || partFrames == 0)
        return check;
    // Silent frames may lead in (the bridge of an exact part); every frame
    // after them must be the source's, one after another.
    std::int64_t first = 0;
    while (first < partFrames &&
           !byHash_.contains(frames.Hashes[static_cast<std::size_t>(first)]) &&
           frames.Silent[static_cast<std::size_t>(first)])
        ++first;
    // The first may be the source's frame rebuilt to hold its own reservoir.
    const bool rebuilt = source_.Format.Layer == 3 && first + 1 < partFrames &&
                         !byHash_.contains(frames.Hashes[static_cast<std::size_t>(first)]);
    const std::int64_t runFrom = rebuilt ? first + 1 : first;
    if (runFrom == partFrames ||
        !byHash_.contains(frames.Hashes[static_cast<std::size_t>(runFrom)]))
        return check;
    Run run = LongestRun(frames.Hashes, runFrom, byHash_, hashes_);
    if (runFrom + run.Length != EndBeforeFillers(frames, frames.Hashes, runFrom, byHash_))
        return check;
    if (rebuilt) {
        const auto frameOf = [](const std::string& path, const std::vector<std::int64_t>& offsets,
                                std::int64_t frame) {
            return BytesOf(path, offsets[static_cast<std::size_t>(frame)],
                           offsets[static_cast<std::size_t>(frame + 1)]);
        };
        if (run.SourceFirst == 0 ||
            !HoldsOwnReservoirOf(frameOf(partPath, frames.Offsets, first),
                                 frameOf(source_.Path, offsets_, run.SourceFirst - 1),
                                 source_.Format.VersionId))
            return check;
        run = {first, run.SourceFirst - 1, run.Length + 1};
    }

    const std::int64_t frameSamples = source_.Format.SamplesPerFrame();
    const auto sourceFrames = static_cast<std::int64_t>(hashes_.size());
    const Played sourcePlayed = PlayedOf(source_, sourceFrames * frameSamples);
    const Played partPlayed = PlayedOf(part, partFrames * frameSamples);
    // A part frame j holds the decoded samples of source frame j + frameShift.
    const std::int64_t frameShift = run.SourceFirst - first;
    const std::int64_t toTimeline = frameShift * frameSamples - sourcePlayed.First;
    check.FirstFrame = run.SourceFirst + 1;
    check.LastFrame = run.SourceFirst + run.Length;
    check.SampleRateHz = source_.Format.SampleRateHz;
    const std::int64_t sourceLength = sourcePlayed.End - sourcePlayed.First;
    // A part without the source's trim plays its delay before the source's
    // first sample, or its padding after the last.
    const std::int64_t played = partPlayed.First + toTimeline;
    const std::int64_t playedEnd = partPlayed.End + toTimeline;
    check.StartSample = std::clamp<std::int64_t>(played, 0, sourceLength);
    check.EndSample = std::clamp<std::int64_t>(playedEnd, check.StartSample, sourceLength);
    check.SamplesBefore = std::min<std::int64_t>(playedEnd, 0) - std::min<std::int64_t>(played, 0);
    check.SamplesAfter = std::max<std::int64_t>(playedEnd, sourceLength) -
                         std::max<std::int64_t>(played, sourceLength);

    SampleComparison comparison(source_.Format.Channels, check.EndSample);
    RunDecoder partDecoder(partPath, frames.Offsets, 0, partFrames - 1);
    const SourceStart start = StartFor(source_, offsets_, std::max<std::int64_t>(0, frameShift));
    RunDecoder sourceDecoder(source_.Path, offsets_, start.Frame, run.SourceFirst + run.Length - 1,
                             start.Lead);
    std::int64_t sourceIndex = -1;
    std::optional<DecodedFrame> sourceFrame;
    std::int64_t expected = 0;
    std::int64_t partIndex = 0;
    while (std::optional<DecodedFrame> decoded = partDecoder.Next(partIndex)) {
        const std::int64_t begin = std::max(partIndex * frameSamples, partPlayed.First);
        const std::int64_t end = std::min((partIndex + 1) * frameSamples, partPlayed.End);
        if (partIndex != expected)
            comparison.Missing(std::max(expected * frameSamples, partPlayed.First) + toTimeline);
        expected = partIndex + 1;
        if (begin >= end)
            continue;
        const std::int64_t wanted = partIndex + frameShift;
        while (sourceIndex < wanted && (sourceFrame = sourceDecoder.Next(sourceIndex)))
            ;
        const bool haveSource = sourceFrame && sourceIndex == wanted &&
                                sourceFrame->Samples.size() == decoded->Samples.size();
        comparison.Compare(decoded->Samples.data(),
                           haveSource ? sourceFrame->Samples.data() : nullptr,
                           begin - partIndex * frameSamples, end - partIndex * frameSamples,
                           begin + toTimeline, sourceLength);
    }
    if (expected * frameSamples < partPlayed.End)
        comparison.Missing(std::max(expected * frameSamples, partPlayed.First) + toTimeline);
    const bool exact = check.StartSample < check.EndSample && check.SamplesBefore == 0 &&
                       check.SamplesAfter == 0 && !comparison.Differs(check.EndSample);
    check.Match = exact ? PartMatch::Exact : PartMatch::FramesOnly;
    check.FirstDifference = comparison.FirstDifference();
    check.PeakDbfs = comparison.PeakDbfs();
    return check;
}

namespace {

// A granule's change of gain and its place in the part.
struct GranuleGain {
    std::int64_t Granule = 0;
    std::int32_t Steps = 0;
};

// How long a fade lasts, from its granules' gains below the gain: a
// granule's level in a fade is the share of the fade's time passed at its
// middle, in amplitude, each step 2^(1/4). Taken over the granules of the
// last 12 dB, where a step's rounding errs least.
std::int32_t FadeLength(const std::vector<std::pair<double, std::int32_t>>& below) {
    double sum = 0.0;
    int count = 0;
    for (const auto& [middleMs, steps] : below) {
        if (steps < -8 || steps > -1)
            continue;
        sum += middleMs / std::exp2(steps / 4.0);
        ++count;
    }
    return count == 0 ? 0 : static_cast<std::int32_t>(std::lround(sum / count));
}

// The gain most granules have, and the fades: granules well below it before
// the first and after the last that have it.
PartGain SummarizeGains(const std::vector<GranuleGain>& gains, std::int64_t granules,
                        double granuleMs) {
    PartGain gain;
    if (gains.empty())
        return gain;
    std::unordered_map<std::int32_t, std::int64_t> counts;
    for (const GranuleGain& granule : gains)
        ++counts[granule.Steps];
    gain.Steps = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                     return a.second < b.second;
                 })->first;
    constexpr std::int32_t kFadeDepth = 8; // a fade starts far below; the odd granule falls short
    std::vector<std::pair<double, std::int32_t>> in;
    std::vector<std::pair<double, std::int32_t>> out;
    const auto full = std::find_if(gains.begin(), gains.end(), [&](const GranuleGain& granule) {
        return granule.Steps == gain.Steps;
    });
    for (auto granule = gains.begin(); granule != full; ++granule)
        in.emplace_back((static_cast<double>(granule->Granule) + 0.5) * granuleMs,
                        granule->Steps - gain.Steps);
    const auto lastFull = std::find_if(gains.rbegin(), gains.rend(),
                                       [&](const GranuleGain& g) { return g.Steps == gain.Steps; });
    for (auto granule = gains.rbegin(); granule != lastFull; ++granule)
        out.emplace_back((static_cast<double>(granules - granule->Granule) - 0.5) * granuleMs,
                         granule->Steps - gain.Steps);
    const auto deep = [](const auto& fade) {
        return std::any_of(fade.begin(), fade.end(),
                           [](const auto& granule) { return granule.second <= -kFadeDepth; });
    };
    gain.FadeInMs = deep(in) ? FadeLength(in) : 0;
    gain.FadeOutMs = deep(out) ? FadeLength(out) : 0;
    return gain;
}

} // namespace

// A part whose frames are the source's but for their gains: the run is found
// by hashes that set the gains aside, and each frame's change of gain read
// against its source frame.
PartCheck SourceFrameIndex::CheckGained(const std::string& partPath, const AudioFile& part) const {
    PartCheck check;
    Result<FrameList> read = ReadFrames(part);
    if (!read.Ok() || part.Format.SampleRateHz != source_.Format.SampleRateHz ||
        part.Format.Channels != source_.Format.Channels)
        return check;
    const FrameList& frames = read.Value();
    const auto partFrames = static_cast<std::int64_t>(frames.Gainless.size());
    // As for a copied part: silent frames may lead in, and the first be rebuilt.
    std::int64_t first = 0;
    while (first < partFrames &&
           !byGainless_.contains(frames.Gainless[static_cast<std::size_t>(first)]) &&
           frames.Silent[static_cast<std::size_t>(first)])
        ++first;
    if (first + 1 < partFrames &&
        !byGainless_.contains(frames.Gainless[static_cast<std::size_t>(first)]))
        ++first;
    if (first >= partFrames ||
        !byGainless_.contains(frames.Gainless[static_cast<std::size_t>(first)]))
        return check;
    const Run run = LongestRun(frames.Gainless, first, byGainless_, gainless_);
    if (first + run.Length != EndBeforeFillers(frames, frames.Gainless, first, byGainless_))
        return check;
    const std::vector<std::uint8_t> partBytes =
        BytesOf(partPath, frames.Offsets[static_cast<std::size_t>(first)], frames.Offsets.back());
    const std::int64_t sourceFrom = offsets_[static_cast<std::size_t>(run.SourceFirst)];
    const std::vector<std::uint8_t> sourceBytes = BytesOf(
        source_.Path, sourceFrom, offsets_[static_cast<std::size_t>(run.SourceFirst + run.Length)]);
    const std::int32_t granulesPerFrame = Layer3Granules(source_.Format.VersionId);
    std::vector<GranuleGain> gains;
    for (std::int64_t i = 0; i < run.Length; ++i) {
        const auto at = [](const std::vector<std::int64_t>& offsets, std::int64_t frame,
                           std::int64_t base) {
            return static_cast<std::size_t>(offsets[static_cast<std::size_t>(frame)] - base);
        };
        const std::size_t partAt =
            at(frames.Offsets, first + i, frames.Offsets[static_cast<std::size_t>(first)]);
        const std::size_t partEnd =
            at(frames.Offsets, first + i + 1, frames.Offsets[static_cast<std::size_t>(first)]);
        const std::size_t sourceAt = at(offsets_, run.SourceFirst + i, sourceFrom);
        if (partEnd > partBytes.size())
            return check;
        const std::optional<Layer3GainShift> shift = Layer3GainShiftOf(
            std::span(partBytes).subspan(partAt, partEnd - partAt),
            std::span(sourceBytes).subspan(sourceAt, partEnd - partAt), source_.Format.VersionId);
        if (!shift)
            return check;
        for (std::int32_t g = 0; g < granulesPerFrame; ++g)
            if (shift->Coded[static_cast<std::size_t>(g)])
                gains.push_back(
                    {i * granulesPerFrame + g, shift->Steps[static_cast<std::size_t>(g)]});
    }
    check.Match = PartMatch::Gained;
    check.FirstFrame = run.SourceFirst + 1;
    check.LastFrame = run.SourceFirst + run.Length;
    check.SampleRateHz = source_.Format.SampleRateHz;
    check.Gain = SummarizeGains(gains, run.Length * granulesPerFrame,
                                576.0 * 1000.0 / source_.Format.SampleRateHz);
    return check;
}
