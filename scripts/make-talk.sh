#!/usr/bin/env bash
# Makes a short talk for the pause search's tests: spoken sentences (espeak-ng)
# with pauses of known lengths between them, over quiet pink noise, as
# 64 kbit/s mono MP3 (or as the lame options given say). Needs espeak-ng, sox
# and lame.
#
#   scripts/make-talk.sh OUT.mp3 [lame options]
#
#   TALK_PAUSES="0.9 4 1.5"   the pauses' lengths in seconds (one sentence more than pauses)
#   TALK_NOISE=white|pink|brown|none
#   TALK_NOISE_DB=-67         the noise's level (RMS, dBFS) under the whole talk;
#                             without it, pink noise some 70 dB down
#   TALK_RATE=22050           the sample rate the talk is made at (44100 by default)
#   TALK_CHANNELS=2           a stereo talk: the speech in both channels, the noise apart in each
set -euo pipefail
out=$(realpath -m "$1")
shift
lame_options=("$@")
[ ${#lame_options[@]} -gt 0 ] || lame_options=(-m m -b 64)
read -r -a pauses <<<"${TALK_PAUSES:-0.3 1.0 0.6 2.0 1.4 0.9}"
noise=${TALK_NOISE:-pink}
rate=${TALK_RATE:-44100}
channels=${TALK_CHANNELS:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
texts=("Frames are copied whole, so the parts keep the quality of the source."
    "A pause." "The bit reservoir lets a frame borrow bytes from the frames before it."
    "Seven, eight, nine." "Listeners hear a breath as a short pause between two sentences.")
n=0
for ((i = 0; i <= ${#pauses[@]}; i++)); do
    espeak-ng -s 165 -w s.wav "${texts[$((i % 5))]}"
    sox -D s.wav -r "$rate" -c 1 -b 16 "seg_$(printf %03d $n).wav" gain -10
    n=$((n + 1))
    if [ $i -lt ${#pauses[@]} ]; then
        sox -D -n -r "$rate" -c 1 -b 16 "seg_$(printf %03d $n).wav" trim 0 "${pauses[$i]}"
        n=$((n + 1))
    fi
done
sox -D seg_*.wav speech.wav
if [ "$noise" = none ]; then
    cp speech.wav talk.wav
else
    for ((c = 1; c <= channels; c++)); do
        sox -D -n -r "$rate" -c 1 -b 16 "raw$c.wav" synth "$(soxi -D speech.wav)" "${noise}noise" gain -30
    done
    if [ "$channels" = 2 ]; then sox -D -M raw1.wav raw2.wav raw.wav; else mv raw1.wav raw.wav; fi
    sox -D speech.wav -c "$channels" speech_c.wav
    mv speech_c.wav speech.wav
    if [ -n "${TALK_NOISE_DB:-}" ]; then
        rms=$(sox raw.wav -n stats 2>&1 | awk '/RMS lev dB/ {print $4}')
        gain=$(awk -v want="$TALK_NOISE_DB" -v have="$rms" 'BEGIN {print want - have}')
    else
        gain=-34
    fi
    sox -D raw.wav noise.wav gain "$gain"
    sox -D -m -v 1 speech.wav -v 1 noise.wav talk.wav
fi
lame --quiet "${lame_options[@]}" talk.wav "$out"
