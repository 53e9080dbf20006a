#!/usr/bin/env bash
# Draws docs/fade.png: the level of a part split with --fade-in 2000 --fade-out
# 1000, against the plain part's, decoded with ffmpeg, 20 ms a point, drawn
# with ImageMagick.
#   scripts/fade-figure.sh [kerfline-cli]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/cli/kerfline-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source=$root/tests/data/tone_440hz_6s.mp3
"$cli" split "$source" -o "$work/plain" --section 0 6000 -q
"$cli" split "$source" -o "$work/faded" --section 0 6000 --fade-in 2000 --fade-out 1000 -q
for kind in plain faded; do
    ffmpeg -v error -i "$work/$kind"/*.mp3 -f s16le -ac 1 "$work/$kind.raw"
done
# One point every 20 ms (882 samples): the RMS level in dBFS, floored at -70.
points() {
    od -An -v -t d2 -w1764 "$1" | awk -v width=880 -v height=300 '
        { sum = 0; for (i = 1; i <= NF; i++) sum += $i * $i
          db = NF ? 10 * log(sum / NF / 32768 / 32768) / log(10) : -70
          if (db < -70) db = -70
          x[NR] = db }
        END { for (i = 1; i <= NR; i++)
                  printf "%.1f,%.1f ", 60 + (i - 1) * width / NR, 20 + (-x[i]) * height / 70 }'
}
plain=$(points "$work/plain.raw")
faded=$(points "$work/faded.raw")
lines=""
labels=""
for db in 0 10 20 30 40 50 60 70; do
    y=$(awk -v d=$db 'BEGIN { printf "%.0f", 20 + d * 300 / 70 }')
    lines+=" line 60,$y 940,$y"
    labels+=" text 4,$((y + 4)) '$([ $db = 0 ] && echo 0 || echo -$db) dB'"
done
for s in 0 1 2 3 4 5 6; do
    x=$(awk -v s=$s 'BEGIN { printf "%.0f", 60 + s * 880 / 6 }')
    lines+=" line $x,20 $x,320"
    labels+=" text $((x - 8)),340 '$s s'"
done
convert -size 960x360 xc:white -font DejaVu-Sans -pointsize 13 \
    -fill none -stroke '#dddddd' -draw "$lines" \
    -stroke none -fill '#444444' -draw "$labels" \
    -fill none -stroke '#9bb7d4' -strokewidth 2 -draw "polyline $plain" \
    -stroke '#c0392b' -strokewidth 2 -draw "polyline $faded" \
    -stroke none -fill '#6f8fb3' -draw "text 420,250 'plain part'" \
    -fill '#c0392b' -draw "text 420,270 'split --fade-in 2000 --fade-out 1000'" \
    "$root/docs/fade.png"
echo "$root/docs/fade.png"
