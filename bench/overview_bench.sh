#!/usr/bin/env bash
# Times the overview's levels (what the window decodes in the background at open) on a
# long constant-bitrate file against `cat FILE > /dev/null` in the same run,
# on a warm cache.
#
#   bench/overview_bench.sh [hours]   builds a release overview_probe in build-bench/
#
# The file repeats the frames of tests/data/cbr128_44k_joint.mp3 until it
# lasts at least the given hours (default 1), in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."

hours=${1:-1}
source_file=tests/data/cbr128_44k_joint.mp3

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKERFLINE_GUI=OFF \
    -DBUILD_TESTING=OFF -DKERFLINE_BENCH=ON >/dev/null
cmake --build build-bench --target overview_probe >/dev/null
probe=build-bench/overview_probe
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
long_file=$work/long.mp3

# The fixture is 128 kbit/s, whole frames, no tags: 16 bytes per ms.
source_ms=$(($(stat -c %s "$source_file") / 16))
copies=$(((hours * 3600000 + source_ms - 1) / source_ms))
for ((i = 0; i < copies; i++)); do cat "$source_file"; done >"$long_file"

echo "File: $(stat -c %s "$long_file") bytes, $copies copies of $source_file"
"$probe" "$long_file"
echo

cat "$long_file" >/dev/null
hyperfine --warmup 2 --min-runs 10 -N \
    --command-name "cat" "cat $long_file" \
    --command-name "overview of ${hours} h" "$probe $long_file"
