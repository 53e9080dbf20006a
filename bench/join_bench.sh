#!/usr/bin/env bash
# Joins the 100 parts of a generated 10-hour 128 kbit/s CBR file (about
# 576 MB) back into one file, against cp of the source and cat of the parts
# (the same bytes, read and written without looking at them), in one
# hyperfine run on a warm cache; then the join's peak memory. The generated
# files are removed at the end.
#
#   bench/join_bench.sh [kerfline-cli]   without one, builds a release kerfline-cli
#                                        in build-bench/
#   RUNS=10 bench/join_bench.sh          timed runs per command (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

for tool in hyperfine /usr/bin/time; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: run scripts/install-deps.sh" >&2
        exit 1
    fi
done

cli=${1:-}
if [ -z "$cli" ]; then
    cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKERFLINE_GUI=OFF -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$root/build-bench" --target kerfline-cli >/dev/null
    cli=$root/build-bench/cli/kerfline-cli
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kerfline-join-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
source=$work/long.mp3
parts=$work/parts
joined=$work/joined.mp3

# 4480 copies of the 308-frame fixture: 1,379,840 frames, 10:00:44.6, 576,714,880 bytes.
fixture=$root/tests/data/cbr128_44k_joint.mp3
for _ in $(seq 64); do cat "$fixture"; done >"$work/chunk"
for _ in $(seq 70); do cat "$work/chunk"; done >"$source"
rm "$work/chunk"
"$cli" split "$source" --out "$parts" --parts 100 -q
echo "source: $(stat -c %s "$source") bytes, 100 parts: $(cat "$parts"/*.mp3 | wc -c) bytes"
cat "$source" "$parts"/*.mp3 >/dev/null

hyperfine --warmup 1 --runs "${RUNS:-5}" --prepare "rm -f '$joined'" \
    --export-markdown "$work/times.md" \
    -n "cp" "cp '$source' '$joined'" \
    -n "cat of the parts" "cat '$parts'/*.mp3 >'$joined'" \
    -n "join of the parts" "'$cli' join '$parts'/*.mp3 --out '$joined'"
echo
cat "$work/times.md"

rm -f "$joined"
/usr/bin/time -v sh -c "exec '$cli' join '$parts'/*.mp3 --out '$joined'" 2>"$work/time.txt"
peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
echo
echo "join peak memory: $((peak / 1024)) MiB ($peak KiB)"
