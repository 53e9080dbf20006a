#!/usr/bin/env bash
# Splits a generated 10-hour 128 kbit/s CBR file (about 576 MB) into 10, 100
# and 500 parts, and into 100 exact parts, against cp of the same file into the same folder, in one
# hyperfine run on a warm cache; then the peak memory of each split with
# /usr/bin/time -v. As a yardstick for the cost of making many files,
# coreutils' split -n writes the same bytes into 100 and 500 files of equal
# size. The generated files are removed at the end.
#
#   bench/split_bench.sh [kerfline-cli]   without one, builds a release kerfline-cli
#                                         in build-bench/
#   RUNS=10 bench/split_bench.sh          timed runs per command (default 5)
set -euo pipefail
. "$(dirname "$0")/ten_hour_source.sh"
out=$work/out

echo "source: $(stat -c %s "$source") bytes"
cat "$source" >/dev/null

split_command() {
    echo "'$cli' split '$source' --out '$out' --parts $1"
}

hyperfine --warmup 1 --runs "${RUNS:-5}" --prepare "rm -rf '$out' && mkdir '$out'" \
    --export-markdown "$work/times.md" \
    -n "cp" "cp '$source' '$out/copy.mp3'" \
    -n "split --parts 10" "$(split_command 10)" \
    -n "split --parts 100" "$(split_command 100)" \
    -n "split --parts 500" "$(split_command 500)" \
    -n "split --parts 100 --exact" "$(split_command 100) --exact" \
    -n "coreutils split -n 100" "split -n 100 '$source' '$out/x'" \
    -n "coreutils split -n 500" "split -a 3 -n 500 '$source' '$out/x'"
echo
cat "$work/times.md"

echo
echo "| command | peak memory (maximum resident set) |"
echo "|:---|---:|"
for parts in 10 100 500; do
    rm -rf "$out" && mkdir "$out"
    /usr/bin/time -v sh -c "exec $(split_command "$parts")" 2>"$work/time.txt"
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    echo "| split --parts $parts | $((peak / 1024)) MiB ($peak KiB) |"
done
rm -rf "$out" && mkdir "$out"
/usr/bin/time -v cp "$source" "$out/copy.mp3" 2>"$work/time.txt"
peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
echo "| cp | $((peak / 1024)) MiB ($peak KiB) |"
