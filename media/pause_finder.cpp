#include "media/pause_finder.h"

#include "media/mpeg_decoder.h"
#include "split/pause_cuts.h"

LevelScan MeasureLevels(const std::string& path, std::int64_t firstFrameOffset, double totalMs,
                        const std::function<bool(double)>& progress) {
    LevelScan scan;
    LevelSeries series;
    std::int64_t sampleFrames = 0;
    std::int32_t rate = 0;
    scan.Error = DecodeFile(path, firstFrameOffset, [&](const DecodedFrame& frame) {
        if (frame.Channels <= 0)
            return true;
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
    return scan;
}
