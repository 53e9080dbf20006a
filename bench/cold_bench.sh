#!/usr/bin/env bash
# Times the scan (`kerfline-cli info --preload`) against `cat FILE > /dev/null`,
# and a split of 100 parts against `cp`, each with the page cache dropped
# before every run (`echo 3 > /proc/sys/vm/drop_caches`, so it needs root), on
# the ten-hour file of bench/ten_hour_source.sh, in one hyperfine run.
#
#   bench/cold_bench.sh [kerfline-cli]   without one, builds a release kerfline-cli in build-bench/
#   RUNS=10 bench/cold_bench.sh          timed runs per command (default 5)
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || ! [ -w /proc/sys/vm/drop_caches ]; then
    echo "dropping the page cache needs root" >&2
    exit 1
fi
. "$(dirname "$0")/ten_hour_source.sh"
out=$work/out
mkdir "$out"

echo "source: $(stat -c %s "$source") bytes"
drop="sync && echo 3 > /proc/sys/vm/drop_caches"
hyperfine --runs "${RUNS:-5}" --export-markdown "$work/times.md" \
    --prepare "rm -rf '$out' && mkdir '$out' && $drop" \
    -n "cat, cold" "cat '$source' > /dev/null" \
    -n "info --preload, cold" "'$cli' info --preload '$source' > /dev/null" \
    -n "cp, cold" "cp '$source' '$out/copy.mp3'" \
    -n "split --parts 100, cold" "'$cli' split '$source' --out '$out' --parts 100 -q"
echo
cat "$work/times.md"
