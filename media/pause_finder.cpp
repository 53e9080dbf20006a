#include "media/pause_finder.h"

#include "media/mpeg_decoder.h"
#include "split/pause_cuts.h"
#include "state/format_time.h"

#include <algorithm>
#include <optional>

namespace {

// Damage often holds chance frame syncs that decode as a frame or two: gaps
// fewer frames apart than this are one damaged stretch.
constexpr std::int64_t kFramesBetweenStretches = 8;

// Stretches of the source that the decoder passed over, told apart from
// stray frames found inside them.
class DamageLog {
public:
    DamageLog(std::string path, std::int64_t firstFrameOffset)
        : path_(std::move(path)), base_(firstFrameOffset) {}

    void Frame(const DecodedFrame& frame, double elapsedMs) {
        if (expected_ && frame.StreamOffset > *expected_) {
            if (!open_ || framesSinceGap_ >= kFramesBetweenStretches) {
                Close();
                open_ = Stretch{*expected_, frame.StreamOffset, elapsedMs};
            }
            open_->End = frame.StreamOffset;
            framesSinceGap_ = 0;
        }
        ++framesSinceGap_;
        expected_ = frame.StreamOffset + frame.StreamBytes;
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

} // namespace

LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset, double totalMs,
                        const std::function<bool(double)>& progress) {
    LevelScan scan;
    LevelSeries series;
    DamageLog damage(path, firstFrameOffset);
    std::int64_t sampleFrames = 0;
    std::int32_t rate = 0;
    scan.Error = DecodeFile(path, firstFrameOffset, [&](const DecodedFrame& frame) {
        if (frame.Channels <= 0)
            return true;
        damage.Frame(frame, rate > 0 ? static_cast<double>(sampleFrames) * 1000.0 / rate : 0.0);
        series.Add(frame.Samples, frame.Channels, frame.SampleRateHz);
        rate = frame.SampleRateHz;
        sampleFrames += static_cast<std::int64_t>(frame.Samples.size()) / frame.Channels;
        // Every 64th frame is often enough for a bar and cheap enough to ask.
        if (frame.Index % 64 != 0 || totalMs <= 0.0 || rate <= 0)
            return true;
        const double doneMs = static_cast<double>(sampleFrames) * 1000.0 / rate;
        scan.Cancelled = !progress(std::min(1.0, doneMs / totalMs));
        return !scan.Cancelled;
    });
    series.Finish();
    scan.LevelsDb = series.LevelsDb();
    scan.Warnings = damage.Lines();
    return scan;
}
