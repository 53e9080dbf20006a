#!/usr/bin/env bash
# Memory and processor time of the preview while it plays a generated 10-hour
# 128 kbit/s file (about 576 MB), against the same player idle with the file
# open, and with no file. Plays into a private PulseAudio null sink, started
# and stopped here.
#
#   bench/preview_bench.sh [seconds per state, default 20]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}

cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKERFLINE_GUI=ON \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-bench" --target kerfline_preview_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kerfline-preview-bench.XXXXXX")
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work
pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    -L "module-null-sink sink_name=kerfline_bench" -L module-native-protocol-unix \
    >"$work/pulseaudio.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl set-default-sink kerfline_bench

# The fixture is 128 kbit/s, whole frames, no tags: 16 bytes per ms.
source_file=$root/tests/data/cbr128_44k_joint.mp3
copies=$(((600 * 60000 * 16 + $(stat -c %s "$source_file") - 1) / $(stat -c %s "$source_file")))
for ((i = 0; i < copies; i++)); do cat "$source_file"; done >"$work/long.mp3"
echo "File: $(stat -c %s "$work/long.mp3") bytes"

QT_QPA_PLATFORM=offscreen "$root/build-bench/bench/kerfline_preview_bench" "$work/long.mp3" "$seconds"
