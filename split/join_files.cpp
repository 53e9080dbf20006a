#include "split/join_files.h"

#include "core/bridge_frame.h"
#include "core/information_frame.h"
#include "split/part_file_writer.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace {

// Exact parts overlap by a few frames at most: the warm-up and the tail are
// about 1056 and 529 samples, and the silent lead-in fits a delay of 2880.
constexpr std::size_t kOverlapFrames = 16;
constexpr std::int64_t kProgressStep = std::int64_t{4} << 20;

using FrameBytes = std::vector<std::uint8_t>;

std::string VersionText(std::int32_t versionId) {
    return versionId == 1 ? "MPEG 1" : versionId == 2 ? "MPEG 2" : "MPEG 2.5";
}

std::string ChannelsText(std::int32_t channels) {
    return channels == 1 ? "mono" : "stereo";
}

// The frames exact parts of adjacent sections share: their LAME tags say how
// many, the earlier one's padding and the later one's delay together
// covering the later one's silent lead-in and the shared frames, to the
// sample. Frames that merely look alike (digital silence) fail that count.
std::size_t SharedByExactParts(const std::deque<FrameBytes>& tail,
                               const std::deque<FrameBytes>& head,
                               const std::optional<GaplessTrim>& earlier,
                               const std::optional<GaplessTrim>& later, const AudioFormat& format) {
    if (!earlier || !later)
        return 0;
    const std::int32_t frameSamples = format.SamplesPerFrame();
    const std::int32_t trimmed = earlier->Padding + later->Delay;
    if (trimmed % frameSamples != 0)
        return 0;
    const auto covered = static_cast<std::size_t>(trimmed / frameSamples);
    // The later part's first shared frame may hold its own reservoir.
    const auto sharedAfter = [&](std::size_t silent) {
        const std::size_t repeated = covered - silent;
        if (repeated > tail.size() || covered > head.size())
            return false;
        const auto shared = head.begin() + static_cast<std::ptrdiff_t>(silent);
        const auto ending = tail.end() - static_cast<std::ptrdiff_t>(repeated);
        return (*shared == *ending || HoldsOwnReservoirOf(*shared, *ending, format.VersionId)) &&
               std::equal(shared + 1, head.begin() + static_cast<std::ptrdiff_t>(covered),
                          ending + 1);
    };
    for (std::size_t silent = 0; silent < covered && silent < head.size(); ++silent) {
        if (sharedAfter(silent))
            return covered;
        if (!IsSilentFrame(head[silent], format))
            return 0;
    }
    return 0;
}

// Plain parts cut without rebuilding their information frame carry the
// source's, their frame counts alone changed.
bool SameSourceInformationFrame(const AudioFile& earlier, const AudioFile& later) {
    const FrameBytes& a = earlier.InformationFrame;
    const FrameBytes& b = later.InformationFrame;
    if (a.empty() || a.size() != b.size() || earlier.MarkerOffset != later.MarkerOffset)
        return false;
    const auto count = static_cast<std::size_t>(earlier.MarkerOffset) + 8;
    return count + 4 <= a.size() && std::equal(a.begin(), a.begin() + count, b.begin()) &&
           std::equal(a.begin() + count + 4, a.end(), b.begin() + count + 4);
}

// Whether a frame both files hold, the later one's first, proves them parts
// of one source: it borrows from frames before it, so the later file begins
// in the middle of a stream, or their information frames are the source's.
// Whole files begin with a frame that borrows nothing, and frames of digital
// silence look alike in any two files.
bool SharedByPlainParts(const FrameBytes& frame, const AudioFile& earlier, const AudioFile& later) {
    return (earlier.Format.Layer == 3 &&
            Layer3MainDataBegin(frame.data(), frame.size(), earlier.Format.VersionId) > 0) ||
           SameSourceInformationFrame(earlier, later);
}

// How many of head's first frames to leave out because the output already
// ends with them: those exact parts share, or the one frame plain parts of
// adjacent sections share when their cut falls inside it.
std::size_t RepeatedLeadIn(const std::deque<FrameBytes>& tail, const std::deque<FrameBytes>& head,
                           const AudioFile& earlier, const AudioFile& later) {
    if (const std::size_t shared =
            SharedByExactParts(tail, head, earlier.Trim, later.Trim, later.Format))
        return shared;
    return !tail.empty() && !head.empty() && tail.back() == head.front() &&
                   SharedByPlainParts(head.front(), earlier, later)
               ? 1
               : 0;
}

// Files without a LAME tag are played as decoded, the decoder's delay
// included; a tag of the join's own, even with no delay, would have players
// drop that delay. Without its encoder name no decoder reads it as one.
void LeaveOutOwnLameTag(FrameBytes& frame) {
    const std::string_view own(kOwnEncoder);
    const auto at = std::search(frame.begin(), frame.end(), own.begin(), own.end());
    std::fill_n(at, at == frame.end() ? 0 : own.size(), std::uint8_t{0});
}

// CBR files without an information frame join into one without it too, so
// that it plays as they did: every decoder reads such a frame as the sign
// of a gapless stream and drops the decoder's delay at its start.
bool NeedsInformationFrame(const std::vector<AudioFile>& sources) {
    const std::uint8_t bitrateIndex = sources.front().Info.Header.RawHeader[2] >> 4;
    return std::any_of(sources.begin(), sources.end(), [bitrateIndex](const AudioFile& source) {
        return source.Info.HasInfoFrame || (source.Info.Header.RawHeader[2] >> 4) != bitrateIndex;
    });
}

// The output file as it grows: the information frame's place, the frames and
// what the information frame must say of them.
class JoinedOutput {
public:
    JoinedOutput(PartFileWriter& writer, const AudioFormat& format)
        : writer_(writer), format_(format) {
        pending_.reserve(kBlockBytes);
    }

    Result<void> Begin(const std::vector<AudioFile>& sources) {
        const AudioFile& first = sources.front();
        if (first.Info.Id3v2Size > 0) {
            FrameBytes tag(static_cast<std::size_t>(first.Info.Id3v2Size));
            if (!ReadFileBytes(first.Path, 0, tag))
                return Error{ErrorCategory::Read, 0, "the ID3v2 tag could not be read", first.Path};
            offset_ += static_cast<std::int64_t>(tag.size());
            if (Result<void> written =
                    writer_.Write(tag.data(), static_cast<std::int64_t>(tag.size()));
                !written)
                return written;
        }
        informationOffset_ = offset_;
        template_ = first.InformationFrame;
        markerOffset_ = first.MarkerOffset;
        if (template_.empty() && format_.Layer == 3 && NeedsInformationFrame(sources)) {
            template_ = ExactInformationFrame({}, 0, first.Info.Header.RawHeader.data(),
                                              format_.VersionId, false);
            markerOffset_ =
                InformationHeaderOffset(format_.VersionId, format_.Channels == 1 ? 3 : 0);
        }
        const FrameBytes placeholder(template_.size(), 0);
        offset_ += static_cast<std::int64_t>(placeholder.size());
        return writer_.Write(placeholder.data(), static_cast<std::int64_t>(placeholder.size()));
    }

    // Frames gather in one large block, whose CRC is taken at once: frame by
    // frame, the CRC's short runs would cost more than the copy.
    Result<void> Add(std::span<const std::uint8_t> frame) {
        if (pending_.size() + frame.size() > kBlockBytes)
            if (Result<void> flushed = Flush(); !flushed)
                return flushed;
        pending_.insert(pending_.end(), frame.begin(), frame.end());
        lengths_.push_back(static_cast<std::uint16_t>(frame.size()));
        const int bitrateIndex = frame[2] >> 4;
        firstBitrate_ = firstBitrate_ < 0 ? bitrateIndex : firstBitrate_;
        vbr_ = vbr_ || bitrateIndex != firstBitrate_;
        offset_ += static_cast<std::int64_t>(frame.size());
        return {};
    }

    // The last frames added, oldest first.
    std::deque<FrameBytes> Tail() const {
        const FrameBytes bytes = LastBytes(TailBytes());
        std::deque<FrameBytes> tail;
        auto at = bytes.begin();
        for (auto length = lengths_.end() - static_cast<std::ptrdiff_t>(TailFrames());
             length != lengths_.end(); at += *length++)
            tail.emplace_back(at, at + *length);
        return tail;
    }

    Result<void> Finish(const AudioFile& first, const AudioFile& last) {
        if (Result<void> flushed = Flush(); !flushed)
            return flushed;
        if (first.Info.Tag.Present) {
            FrameBytes tag(128);
            if (!ReadFileBytes(first.Path, first.AudioEnd, tag))
                return Error{ErrorCategory::Read, first.AudioEnd, "the ID3v1 tag could not be read",
                             first.Path};
            if (Result<void> written = writer_.Write(tag.data(), 128); !written)
                return written;
        }
        if (template_.empty())
            return {};
        FrameBytes frame = template_;
        const auto marker = static_cast<std::size_t>(markerOffset_);
        if (std::memcmp(frame.data() + marker, "Xing", 4) == 0 ||
            std::memcmp(frame.data() + marker, "Info", 4) == 0)
            std::memcpy(frame.data() + marker, vbr_ ? "Xing" : "Info", 4);
        PartFrameList whole{lengths_, true, true, audioCrc_, std::nullopt};
        if (first.Trim || last.Trim)
            whole.Trim =
                GaplessTrim{first.Trim ? first.Trim->Delay : 0, last.Trim ? last.Trim->Padding : 0};
        else
            LeaveOutOwnLameTag(frame);
        frame = RebuildInformationFrame(std::move(frame), markerOffset_, whole);
        return writer_.WriteAt(informationOffset_, frame.data(),
                               static_cast<std::int64_t>(frame.size()));
    }

    std::int64_t Frames() const { return static_cast<std::int64_t>(lengths_.size()); }
    std::int64_t Bytes() const { return offset_; }

private:
    static constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

    Result<void> Flush() {
        if (!template_.empty())
            audioCrc_ = Crc16(audioCrc_, pending_.data(), pending_.size());
        Result<void> written =
            writer_.Write(pending_.data(), static_cast<std::int64_t>(pending_.size()));
        // The frames a later file may repeat stay at hand after the block is gone.
        flushedTail_ = LastBytes(TailBytes());
        pending_.clear();
        return written;
    }

    std::size_t TailFrames() const { return std::min(lengths_.size(), kOverlapFrames); }
    std::size_t TailBytes() const {
        std::size_t bytes = 0;
        for (auto length = lengths_.end() - static_cast<std::ptrdiff_t>(TailFrames());
             length != lengths_.end(); ++length)
            bytes += *length;
        return bytes;
    }
    // The last count bytes of the frames added; count is at most TailBytes().
    FrameBytes LastBytes(std::size_t count) const {
        FrameBytes bytes;
        const std::size_t fromPending = std::min(count, pending_.size());
        const std::size_t fromFlushed = count - fromPending;
        bytes.insert(bytes.end(), flushedTail_.end() - static_cast<std::ptrdiff_t>(fromFlushed),
                     flushedTail_.end());
        bytes.insert(bytes.end(), pending_.end() - static_cast<std::ptrdiff_t>(fromPending),
                     pending_.end());
        return bytes;
    }

    PartFileWriter& writer_;
    AudioFormat format_;
    std::int64_t offset_ = 0;
    std::int64_t informationOffset_ = 0;
    FrameBytes template_;
    std::int32_t markerOffset_ = 0;
    std::vector<std::uint16_t> lengths_;
    std::uint16_t audioCrc_ = 0;
    int firstBitrate_ = -1;
    bool vbr_ = false;
    FrameBytes pending_;
    FrameBytes flushedTail_;
};

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code failed;
    return std::filesystem::equivalent(a, b, failed);
}

class Join {
public:
    Join(const JoinRequest& request, const JoinCallbacks& callbacks)
        : request_(request), callbacks_(callbacks) {}

    Result<JoinReport> Run() {
        if (Result<void> ready = LoadAll(); !ready || !(ready = CheckTarget()))
            return ready.Failure();
        PartFileWriter writer;
        if (Result<void> created = writer.Create(request_.OutPath, request_.Overwrite); !created)
            return AtTarget(created.Failure());
        JoinedOutput output(writer, sources_.front().Format);
        Result<void> copied = output.Begin(sources_);
        for (std::size_t i = 0; copied && i < sources_.size() && !stopped_; ++i)
            copied = CopyFrames(i, output);
        if (stopped_) {
            writer.Discard();
            return Error{ErrorCategory::Stopped, -1, "stopped, nothing written", request_.OutPath};
        }
        if (copied)
            copied = output.Finish(sources_.front(), sources_.back());
        if (!copied) {
            writer.Discard();
            // A source's read error names the source already; the writer's names no file.
            const Error& error = copied.Failure();
            return error.Path.empty() ? AtTarget(error) : error;
        }
        return Commit(writer, output);
    }

private:
    Result<void> LoadAll() {
        if (request_.Files.empty())
            return Error{ErrorCategory::Input, -1, "nothing to join"};
        std::vector<JoinFileFacts> facts;
        for (const std::string& path : request_.Files) {
            Result<AudioFile> source = OpenAudioFile(path);
            if (!source.Ok())
                return source.Failure();
            facts.push_back({path, {}, source.Value().Format, 0, source.Value().Info.FileSize});
            total_ += source.Value().Info.FileSize;
            sources_.push_back(std::move(source.Value()));
        }
        if (std::optional<Error> refusal = JoinRefusal(facts))
            return *std::move(refusal);
        return {};
    }

    Result<void> CheckTarget() const {
        if (std::optional<Error> input = TargetAmongInputs(request_))
            return *input;
        std::error_code failed;
        if (!request_.Overwrite && std::filesystem::exists(request_.OutPath, failed))
            return Error{ErrorCategory::Name, -1, std::string(kJoinTargetExists), request_.OutPath};
        return {};
    }

    Result<void> CopyFrames(std::size_t index, JoinedOutput& output) {
        const AudioFile& source = sources_[index];
        AudioFrameReader frames;
        if (Result<void> opened = frames.Open(source); !opened)
            return opened;
        std::deque<FrameBytes> head;
        for (std::span<const std::uint8_t> frame;
             head.size() < kOverlapFrames && !(frame = frames.Next()).empty();)
            head.emplace_back(frame.begin(), frame.end());
        std::size_t skipped = 0;
        if (index > 0)
            skipped = RepeatedLeadIn(output.Tail(), head, sources_[index - 1], source);
        for (std::size_t i = skipped; i < head.size(); ++i)
            if (Result<void> added = output.Add(head[i]); !added)
                return added;
        std::int64_t reported = 0;
        for (std::span<const std::uint8_t> frame; !(frame = frames.Next()).empty();) {
            if (Result<void> added = output.Add(frame); !added)
                return added;
            if (frames.Position() - reported >= kProgressStep) {
                reported = frames.Position();
                if (!Report(reported))
                    return {};
            }
        }
        done_ += source.Info.FileSize;
        Report(0);
        return {};
    }

    // Tells the progress; false once a stop is asked for.
    bool Report(std::int64_t inFile) {
        if (callbacks_.Progress)
            callbacks_.Progress(done_ + inFile, total_);
        stopped_ = stopped_ || (callbacks_.StopRequested && callbacks_.StopRequested());
        return !stopped_;
    }

    Result<JoinReport> Commit(PartFileWriter& writer, const JoinedOutput& output) const {
        const Result<CommitResult> committed = writer.Commit();
        if (!committed)
            return AtTarget(committed.Failure());
        if (committed.Value() == CommitResult::NameTaken)
            return Error{ErrorCategory::Name, -1, std::string(kJoinTargetExists), request_.OutPath};
        return JoinReport{output.Frames(), output.Bytes()};
    }

    Error AtTarget(Error error) const {
        error.Path = request_.OutPath;
        return error;
    }

    const JoinRequest& request_;
    const JoinCallbacks& callbacks_;
    std::vector<AudioFile> sources_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    bool stopped_ = false;
};

} // namespace

std::optional<Error> TargetAmongInputs(const JoinRequest& request) {
    for (const std::string& path : request.Files)
        if (SameFile(path, request.OutPath))
            return Error{ErrorCategory::Name, -1, "is one of the files being joined",
                         request.OutPath};
    return std::nullopt;
}

JoinFileFacts InspectJoinFile(const std::string& path) {
    JoinFileFacts facts;
    facts.Path = path;
    const Result<AudioFile> opened = OpenAudioFile(path);
    if (!opened.Ok()) {
        facts.Problem = opened.Failure();
        return facts;
    }
    facts.Format = opened.Value().Format;
    facts.DurationMs = opened.Value().DurationMs;
    facts.Bytes = opened.Value().Info.FileSize;
    return facts;
}

std::string FormatDifference(const AudioFormat& first, const AudioFormat& other,
                             const std::string& firstPath) {
    auto differs = [&firstPath](const std::string& mine, const std::string& theirs) {
        return mine + " where " + firstPath + " has " + theirs;
    };
    if (other.VersionId != first.VersionId)
        return differs(VersionText(other.VersionId), VersionText(first.VersionId));
    if (other.Layer != first.Layer)
        return differs("Layer " + std::to_string(other.Layer),
                       "Layer " + std::to_string(first.Layer));
    if (other.SampleRateHz != first.SampleRateHz)
        return differs(std::to_string(other.SampleRateHz) + " Hz",
                       std::to_string(first.SampleRateHz) + " Hz");
    if (other.Channels != first.Channels)
        return differs(ChannelsText(other.Channels), ChannelsText(first.Channels));
    return {};
}

std::optional<Error> JoinRefusal(const std::vector<JoinFileFacts>& files) {
    for (const JoinFileFacts& file : files) {
        if (file.Problem)
            return file.Problem;
        const std::string difference =
            FormatDifference(files.front().Format, file.Format, files.front().Path);
        if (!difference.empty())
            return Error{ErrorCategory::Format, -1,
                         difference + "; only files of one format can be joined", file.Path};
    }
    return std::nullopt;
}

Result<JoinReport> JoinFiles(const JoinRequest& request, const JoinCallbacks& callbacks) {
    return Join(request, callbacks).Run();
}
