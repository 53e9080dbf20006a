// Builds the overview of one file as the window does at open, and says what
// it holds and what it costs in memory.
#include "core/audio_info.h"
#include "media/source_loudness.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: overview_probe FILE\n");
        return 2;
    }
    try {
        TAudioInfo info;
        info.AnalyseFile(argv[1]);
        SourceWalk walk(ScanSource::From(argv[1], info));
        const Result<LoudnessOverview> estimated = SourceLoudness(walk);
        if (!estimated) {
            std::fprintf(stderr, "%s\n", estimated.Failure().Text.c_str());
            return 1;
        }
        const LoudnessOverview& overview = estimated.Value();
        const auto bytes =
            overview.Levels.capacity() + walk.Checkpoints().All().capacity() * sizeof(WalkPoint);
        std::printf("%lld frames, %zu levels, overview memory %.1f MB\n",
                    static_cast<long long>(overview.FrameCount), overview.Levels.size(),
                    bytes / 1048576.0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
