#!/usr/bin/env bash
# Times the pause finder (`kerfline-cli cue FILE --at-pauses`: decode every frame,
# measure 10 ms windows, find the quiet stretches) on a one-hour 128 kbit/s file,
# against `cat FILE > /dev/null` in the same run, on a warm cache. The finder runs
# on one core; its speed in times real time is 3600 s over its mean.
#
#   bench/pause_bench.sh [kerfline-cli] [minutes]   without a kerfline-cli, builds a release one
#                                                   in build-bench/
set -euo pipefail
cd "$(dirname "$0")/.."

cli=${1:-}
minutes=${2:-60}
source_file=tests/data/cbr128_44k_joint.mp3

if [ -z "$cli" ]; then
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKERFLINE_GUI=OFF \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build build-bench --target kerfline-cli >/dev/null
    cli=build-bench/cli/kerfline-cli
fi
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
long_file=$work/long.mp3

# The fixture is 128 kbit/s stereo, whole frames, no tags: 16 bytes per ms.
source_ms=$(($(stat -c %s "$source_file") / 16))
copies=$(((minutes * 60000 + source_ms - 1) / source_ms))
for ((i = 0; i < copies; i++)); do cat "$source_file"; done >"$long_file"

echo "File: $(stat -c %s "$long_file") bytes, $copies copies of $source_file"
echo "Sections found: $("$cli" cue "$long_file" --at-pauses | grep -c '^  TRACK')"
echo

cat "$long_file" >/dev/null
hyperfine --warmup 1 --min-runs 5 -N \
    --command-name "cat" "cat $long_file" \
    --command-name "kerfline-cli cue --at-pauses" "$cli cue $long_file --at-pauses"
