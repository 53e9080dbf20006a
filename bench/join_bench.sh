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
. "$(dirname "$0")/ten_hour_source.sh"
parts=$work/parts
joined=$work/joined.mp3

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
