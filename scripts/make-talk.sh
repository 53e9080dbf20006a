#!/usr/bin/env bash
# Makes a short talk for the pause search's tests: spoken sentences (espeak-ng)
# with pauses of known lengths between them, over quiet pink noise, as
# 64 kbit/s mono MP3 (or as the lame options given say). Needs espeak-ng, sox
# and lame.
#
#   scripts/make-talk.sh OUT.mp3 [lame options]
set -euo pipefail
out=$(realpath -m "$1")
shift
lame_options=("$@")
[ ${#lame_options[@]} -gt 0 ] || lame_options=(-m m -b 64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
texts=("Frames are copied whole, so the parts keep the quality of the source."
    "A pause." "The bit reservoir lets a frame borrow bytes from the frames before it."
    "Seven, eight, nine." "Listeners hear a breath as a short pause between two sentences.")
pauses=(0.3 1.0 0.6 2.0 1.4 0.9)
n=0
for ((i = 0; i < 7; i++)); do
    espeak-ng -s 165 -w s.wav "${texts[$((i % 5))]}"
    sox s.wav -r 44100 -c 1 -b 16 "seg_$(printf %03d $n).wav" gain -4
    n=$((n + 1))
    if [ $i -lt 6 ]; then
        sox -n -r 44100 -c 1 -b 16 "seg_$(printf %03d $n).wav" trim 0 "${pauses[$i]}"
        n=$((n + 1))
    fi
done
sox seg_*.wav speech.wav
sox -n -r 44100 -c 1 -b 16 noise.wav synth "$(soxi -D speech.wav)" pinknoise gain -58
sox -m speech.wav noise.wav talk.wav
lame --quiet "${lame_options[@]}" talk.wav "$out"
