#pragma once

// Talks made at test time by scripts/make-talk.sh (espeak-ng, sox and lame):
// sentences with pauses over room noise of several colours and levels, at
// several rates, modes and bit rates; and the levels a decode of every frame
// measures in them, which the pause search must match.

#include "frame_stream.h"
#include "split/pause_cuts.h"
#include "whole_decode.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace talks {

struct Talk {
    std::string Name;
    std::string Noise; // white, pink, brown or none (digital silence)
    int NoiseDb = 0;
    int Rate = 44100;
    int Channels = 1;
    std::string Lame; // lame's options
};

// Enough of each kind to meet every path of the search, short enough to make in a second or two.
inline const std::vector<Talk>& Family() {
    static const std::vector<Talk> talks = {
        {"white67_joint128", "white", -67, 44100, 2, "-b 128"},
        {"white45_mono64", "white", -45, 44100, 1, "-b 64"},
        {"white80_stereo160", "white", -80, 44100, 2, "-b 160 -m s"},
        {"pink55_vbr5", "pink", -55, 44100, 1, "-V 5"},
        {"pink75_joint_vbr2", "pink", -75, 44100, 2, "-V 2"},
        {"brown50_mono64", "brown", -50, 44100, 1, "-b 64"},
        {"brown85_joint128", "brown", -85, 44100, 2, "-b 128"},
        {"white60_mpeg2_22k", "white", -60, 22050, 1, "-b 48"},
        {"pink70_mpeg2_16k_joint", "pink", -70, 16000, 2, "-b 32"},
        {"pink65_mpeg25_11k", "pink", -65, 11025, 1, "-b 24"},
        {"brown72_mpeg25_8k", "brown", -72, 8000, 1, "-b 16"},
        {"silence_joint128", "none", 0, 44100, 2, "-b 128"},
    };
    return talks;
}

// Five pauses of 0.9 to 3 s between six sentences.
inline std::string Make(const frame_stream::TempDir& folder, const Talk& talk) {
    const std::string out = (folder.Path() / (talk.Name + ".mp3")).string();
    const std::string command = "TALK_PAUSES='0.9 2.5 1.2 3 1.5' TALK_NOISE=" + talk.Noise +
                                " TALK_NOISE_DB=" + std::to_string(talk.NoiseDb) +
                                " TALK_RATE=" + std::to_string(talk.Rate) +
                                " TALK_CHANNELS=" + std::to_string(talk.Channels) + " '" +
                                KERFLINE_TEST_DATA + "/../../scripts/make-talk.sh' '" + out + "' " +
                                talk.Lame;
    return std::system(command.c_str()) == 0 ? out : std::string();
}

// The family, made once for every test that asks (empty paths for those make-talk.sh failed on).
inline const std::vector<std::string>& FamilyPaths() {
    static const frame_stream::TempDir folder;
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> made;
        for (const Talk& talk : Family())
            made.push_back(Make(folder, talk));
        return made;
    }();
    return paths;
}

// The levels of a decode of every frame.
inline std::vector<float> WholeDecodeLevels(const std::string& path) {
    std::vector<float> levels;
    std::optional<LevelWindows> windows;
    DecodeFile(path, 0, [&](const DecodedFrame& frame) {
        if (!windows) {
            windows.emplace(levels, frame.SampleRateHz);
            windows->Begin(0);
        }
        windows->Add(frame.Samples, frame.Channels);
        return true;
    });
    if (windows)
        windows->EndOfAudio();
    return levels;
}

} // namespace talks
