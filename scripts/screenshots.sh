#!/usr/bin/env bash
# Retakes the pictures in docs/ on a virtual display: the main window at its
# first size and grown, the split list and its dialogs, each with an album made
# here open from the Music folder of a home made in the temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kerfline_screenshots
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# The file chooser keeps its history in the user's settings: a throwaway place for them.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
work=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME" "$work"' EXIT

# One stretch of the album: its length in seconds, its level in dB and its sound.
stretches=0
stretch() {
    local seconds=$1 level=$2 sound=$3 file
    file=$(printf '%s/%03d.wav' "$work" "$stretches")
    stretches=$((stretches + 1))
    case $sound in
    silence) sox -n -r 44100 -c 2 "$file" trim 0 "$seconds" ;;
    bells) sox -n -r 44100 -c 2 "$file" synth "$seconds" sine 523 sine 659 tremolo 0.5 60 \
        gain "$level" fade t 0.5 "$seconds" 0.5 ;;
    band) sox -n -r 44100 -c 2 "$file" synth "$seconds" pinknoise pinknoise lowpass 3000 \
        tremolo 0.2 40 gain "$level" fade t 0.3 "$seconds" 0.8 ;;
    voice) sox -n -r 44100 -c 2 "$file" synth "$seconds" brownnoise bandpass 700 500 \
        tremolo 3.5 90 gain "$level" fade t 0.1 "$seconds" 0.2 ;;
    esac
}

# An album of four tracks with quiet intros, spoken pauses and loud stretches,
# so that the overview shows what it is for; the cue sheet in
# tests/screenshots/user_home.h starts its tracks at 0:00, 1:07.8, 2:09.8 and 3:17.8.
# Opening Bell: a quiet intro, the band, a spoken break, the band again.
stretch 10 -42 bells; stretch 8 -30 bells; stretch 20 -6 band
stretch 3 -24 voice; stretch 0.8 0 silence; stretch 4 -22 voice; stretch 1 0 silence
stretch 4 -24 voice; stretch 14 -4 band; stretch 3 0 silence
# Salt Road: a spoken verse with pauses, a loud chorus, a soft ending.
for level in -20 -18 -22 -19; do stretch 3.5 "$level" voice; stretch 1 0 silence; done
stretch 18 -5 band; stretch 12 -16 band; stretch 10 -34 bells; stretch 4 0 silence
# Night Ferry: quiet up to one loud climax.
stretch 25 -36 bells; stretch 15 -24 band; stretch 10 -3 band; stretch 15 -28 bells
stretch 3 0 silence
# Lantern Song: the band, a quiet middle, the band and a long fade.
stretch 20 -8 band; stretch 8 -40 bells; stretch 2 0 silence; stretch 18 -6 band
stretch 10 -18 band; stretch 10 -30 band; stretch 5 0 silence
sox "$work"/*.wav "$work/album.wav"
lame --quiet -b 128 --tt "Harbour Sessions" --ta "The Low Tides" --tl "Harbour Sessions" \
    --ty 2024 --tg Rock --tc "Live at the Harbour Hall" --id3v1-only "$work/album.wav" \
    "$work/album.mp3"

KERFLINE_SCREENSHOT_DIR="$root/docs" KERFLINE_SCREENSHOT_ALBUM="$work/album.mp3" \
    xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/kerfline_screenshots
echo "Pictures written to docs/"
