#include "core/source_format.h"

#include "core/audio_info.h"

SourceFormat SourceFormat::Of(const TAudioInfo& info) {
    SourceFormat format;
    format.FirstFrameOffset = info.FirstFrameOffset;
    format.IsVbr = info.IsVbr;
    format.HasInfoFrame = info.HasInfoFrame;
    format.VersionId = info.Header.VersionId;
    format.Layer = info.Header.Layer();
    format.ChannelMode = info.Header.ChannelMode();
    format.FirstFrameBytes = info.Header.FrameBytes;
    format.SampleRateHz = info.Header.SampleRate;
    format.Trim = info.SourceTrim;
    format.InfoFrameCount = info.XingFrameCount;
    return format;
}
