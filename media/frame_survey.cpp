#include "media/frame_survey.h"

#include "core/layer3_gain.h"
#include "media/granule_energy.h"
#include "media/mpeg_decoder.h"
#include "state/format_time.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <thread>

namespace {

// Damage often holds chance frame syncs that decode as a frame or two: gaps
// fewer frames apart than this are one damaged stretch.
constexpr std::int64_t kFramesBetweenStretches = 8;

// Sources this long (from the first frame) have their two halves walked at once.
constexpr std::int64_t kSurveyHalvesFrom = 64 * 1024;

// Stretches of the source that the decoder passed over, told apart from
// stray frames found inside them.
class DamageLog {
public:
    DamageLog(std::string path, std::int64_t firstFrameOffset)
        : path_(std::move(path)), base_(firstFrameOffset) {}

    void Frame(std::int64_t offset, std::int32_t bytes, double elapsedMs) {
        if (expected_ && offset > *expected_) {
            if (!open_ || framesSinceGap_ >= kFramesBetweenStretches) {
                Close();
                open_ = Stretch{*expected_, offset, elapsedMs};
            }
            open_->End = offset;
            framesSinceGap_ = 0;
        }
        ++framesSinceGap_;
        expected_ = offset + bytes;
    }

    std::vector<std::string> Lines() {
        Close();
        return std::move(lines_);
    }

private:
    struct Stretch {
        std::int64_t Begin;
        std::int64_t End;
        double AtMs;
    };

    void Close() {
        if (!open_)
            return;
        lines_.push_back(path_ + ": warning: " + std::to_string(open_->End - open_->Begin) +
                         " bytes at offset " + std::to_string(base_ + open_->Begin) + " (" +
                         FormatTime(static_cast<std::int32_t>(open_->AtMs)) +
                         ") could not be decoded; pauses are looked for on both sides");
        open_.reset();
    }

    std::string path_;
    std::int64_t base_;
    std::optional<std::int64_t> expected_; // where the next frame would start
    std::optional<Stretch> open_;
    std::int64_t framesSinceGap_ = 0;
    std::vector<std::string> lines_;
};

// Feeds the file from byteOffset through decoder, handing every frame read to
// onFrame until it returns false. Returns an error text, empty on success.
std::string WalkFile(const std::string& path, std::int64_t byteOffset, MpegDecoder& decoder,
                     const std::function<bool(const ReadFrame&)>& onFrame) {
    if (!decoder.Ready())
        return decoder.ErrorText();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return "cannot be opened";
    if (fseeko(file.get(), static_cast<off_t>(byteOffset), SEEK_SET) != 0)
        return "cannot be read";
    std::vector<std::uint8_t> block(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0)
            return std::ferror(file.get()) ? "cannot be read" : std::string();
        decoder.Feed({block.data(), got});
        while (auto frame = decoder.Read())
            if (!onFrame(*frame))
                return {};
    }
}

// One frame as the first walk finds it.
struct SurveyedFrame {
    std::int64_t Offset = 0; // from the first frame
    std::int32_t Bytes = 0;
    std::int32_t SampleFrames = 0;
    std::int32_t SampleRateHz = 0;
    bool Silent = false;      // a Layer III frame that codes no bits at all
    std::int8_t Granules = 0; // Layer III granules, 0 for other layers
    std::int8_t Channels = 0;
    std::array<float, 2> Energy{}; // each granule's energy bound
    std::array<float, 2> Spectrum{};
    std::array<std::uint8_t, 2> Windows{};

    // A frame read from bytes fed from `base` bytes past the first frame, the
    // frames before it fed to spectrum.
    static SurveyedFrame Of(const ReadFrame& frame, std::int64_t base, GranuleEnergy& spectrum) {
        SurveyedFrame surveyed{base + frame.StreamOffset, frame.StreamBytes, frame.SampleFrames,
                               frame.SampleRateHz};
        surveyed.Channels = ((frame.Header >> 6) & 3) == 3 ? 1 : 2;
        const std::array<double, 2> spectral = spectrum.Frame(frame.Header, frame.Body);
        if (frame.Layer != 3)
            return surveyed;
        const Layer3Loudness loudness = ReadLayer3Loudness(frame.Header, frame.Body);
        surveyed.Silent = !loudness.PeakGain;
        surveyed.Granules = static_cast<std::int8_t>(loudness.Granules);
        for (std::size_t g = 0; g < 2; ++g) {
            surveyed.Energy[g] = static_cast<float>(loudness.GranuleEnergy[g]);
            surveyed.Spectrum[g] = static_cast<float>(spectral[g]);
        }
        surveyed.Windows = loudness.GranuleWindows;
        return surveyed;
    }
};

// Fills a FrameSurvey frame by frame, in the order of the file.
class SurveyBuilder {
public:
    SurveyBuilder(const std::string& path, std::int64_t firstFrameOffset)
        : damage_(path, firstFrameOffset) {}

    // The first frame's header sets the blocks' length and the channels.
    void Begin(const ReadFrame& first) {
        if (((first.Header >> 19) & 3) == 3 && first.Layer == 3)
            survey_.BlockFrames = kGranulesPerBlock / 2; // two granules a frame
        survey_.Channels = ((first.Header >> 6) & 3) == 3 ? 1 : 2;
        firstRate_ = first.SampleRateHz;
    }

    void Add(const SurveyedFrame& frame) {
        damage_.Frame(frame.Offset, frame.Bytes,
                      frame.SampleRateHz > 0 ? samples_ * 1000.0 / frame.SampleRateHz : 0.0);
        if (survey_.Frames() % survey_.BlockFrames == 0) {
            survey_.BlockStarts.push_back(samples_);
            survey_.BlockOffsets.push_back(frame.Offset);
            survey_.OffsetsBefore.push_back(previousOffset_);
        }
        AddGranules(frame);
        previousOffset_ = frame.Offset;
        survey_.EndOffset = frame.Offset + frame.Bytes;
        survey_.Rate = frame.SampleRateHz;
        survey_.Silent.push_back(frame.Silent);
        survey_.SmallestFrame = std::min(survey_.SmallestFrame, frame.Bytes);
        samples_ += frame.SampleFrames;
    }

    std::int64_t Frames() const { return survey_.Frames(); }

    // Each granule's energy bound. A frame of another layer, rate or channel
    // count (a chance sync in damage, most often) is taken as granules of its
    // length without a bound.
    void AddGranules(const SurveyedFrame& frame) {
        const bool fits = frame.Granules > 0 && frame.Channels == survey_.Channels &&
                          frame.SampleRateHz == firstRate_;
        for (std::int32_t from = 0, g = 0; from < frame.SampleFrames;
             from += kGranuleSamples, ++g) {
            survey_.GranuleEnergy.push_back(fits ? frame.Energy[static_cast<std::size_t>(g)]
                                                 : std::numeric_limits<float>::infinity());
            survey_.GranuleWindows.push_back(fits ? frame.Windows[static_cast<std::size_t>(g)] : 0);
            survey_.GranuleSpectrum.push_back(fits ? frame.Spectrum[static_cast<std::size_t>(g)]
                                                   : std::numeric_limits<float>::quiet_NaN());
            const std::int32_t samples = std::min(kGranuleSamples, frame.SampleFrames - from);
            if (samples < kGranuleSamples) {
                shift_ += samples - kGranuleSamples;
                survey_.GranuleShifts.push_back(
                    {static_cast<std::int64_t>(survey_.GranuleEnergy.size()), shift_});
            }
        }
    }

    void End(SurveyResult& result) {
        survey_.BlockStarts.push_back(samples_);
        result.Survey = std::move(survey_);
        result.Warnings = damage_.Lines();
    }

private:
    FrameSurvey survey_;
    DamageLog damage_;
    std::int64_t samples_ = 0; // sample frames in the frames added so far
    std::int64_t previousOffset_ = 0;
    std::int32_t firstRate_ = 0;
    std::int64_t shift_ = 0; // of the granules to come
};

// The second half of a source surveyed on a thread of its own while the
// first half is: libmpg123's framing from its middle on.
class SecondHalf {
public:
    static constexpr std::int64_t kUnknown = -1;
    static constexpr std::int64_t kNone = -2;

    SecondHalf(const std::string& path, std::int64_t firstFrameOffset, std::int64_t middle,
               double enoughEnergy)
        : middle_(middle), thread_([this, path, firstFrameOffset, enoughEnergy] {
              Walk(path, firstFrameOffset, enoughEnergy);
          }) {}
    ~SecondHalf() { Stop(); }

    std::int64_t Middle() const { return middle_; }
    // Where its first frame lies, waiting until it is found; kNone when none was.
    std::int64_t FirstOffset() {
        firstOffset_.wait(kUnknown);
        return firstOffset_.load();
    }
    // How far it has come, from the middle.
    std::int64_t Done() const { return done_.load(std::memory_order_relaxed); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Waits for the walk's end: its frames, or why it could not read them.
    const std::vector<SurveyedFrame>& Frames() {
        if (thread_.joinable())
            thread_.join();
        return frames_;
    }
    const std::string& Error() const { return error_; }

private:
    void Walk(const std::string& path, std::int64_t firstFrameOffset, double enoughEnergy) {
        MpegDecoder decoder;
        GranuleEnergy spectrum(enoughEnergy);
        error_ = WalkFile(path, firstFrameOffset + middle_, decoder, [&](const ReadFrame& frame) {
            frames_.push_back(SurveyedFrame::Of(frame, middle_, spectrum));
            if (frames_.size() == 1) {
                firstOffset_ = frames_.front().Offset;
                firstOffset_.notify_all();
            }
            done_.store(frame.StreamOffset, std::memory_order_relaxed);
            return !stop_;
        });
        if (frames_.empty()) {
            firstOffset_ = kNone;
            firstOffset_.notify_all();
        }
    }

    std::int64_t middle_;
    std::vector<SurveyedFrame> frames_;
    std::string error_;
    std::atomic<std::int64_t> firstOffset_{kUnknown};
    std::atomic<std::int64_t> done_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_; // last: started once the rest is in place
};

} // namespace

std::int64_t FrameSurvey::SettleBlocks() const {
    const std::int64_t mainDataBytes = std::max(8, SmallestFrame - 40);
    const std::int64_t frames = std::max<std::int64_t>(2, 512 / mainDataBytes + 2);
    return (frames + BlockFrames - 1) / BlockFrames;
}

SurveyResult SurveyFrames(const std::string& path, std::int64_t firstFrameOffset,
                          const std::function<bool(double done)>& progress, double enoughEnergy) {
    SurveyResult result;
    MpegDecoder decoder;
    SurveyBuilder builder(path, firstFrameOffset);
    std::error_code unknownSize;
    const std::int64_t bytes = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(std::filesystem::file_size(path, unknownSize)) -
               firstFrameOffset);
    std::optional<SecondHalf> second;
    if (bytes >= kSurveyHalvesFrom)
        second.emplace(path, firstFrameOffset, bytes / 2, enoughEnergy);
    bool joined = false;
    std::int64_t done = 0;
    GranuleEnergy spectrum(enoughEnergy);
    result.Error = WalkFile(path, firstFrameOffset, decoder, [&](const ReadFrame& frame) {
        const SurveyedFrame surveyed = SurveyedFrame::Of(frame, 0, spectrum);
        if (second && surveyed.Offset >= second->Middle()) {
            const std::int64_t meeting = second->FirstOffset();
            if (surveyed.Offset == meeting)
                return !(joined = true);
            if (surveyed.Offset > meeting) {
                second->Stop();
                second.reset();
            }
        }
        if (builder.Frames() == 0)
            builder.Begin(frame);
        builder.Add(surveyed);
        if (builder.Frames() % 64 != 0)
            return true;
        // What a second half stopped for a false sync had done stays on the bar.
        done = std::max(done, surveyed.Offset + (second ? second->Done() : 0));
        result.Cancelled = !progress(static_cast<double>(done) / static_cast<double>(bytes));
        return !result.Cancelled;
    });
    if (joined) {
        for (const SurveyedFrame& frame : second->Frames())
            builder.Add(frame);
        result.Error = second->Error();
    }
    builder.End(result);
    return result;
}
