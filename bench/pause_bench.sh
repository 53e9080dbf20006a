#!/usr/bin/env bash
# Times the pause search (`kerfline-cli cue FILE --at-pauses`) on a long talk
# against `mpg123 -t FILE`, which decodes every frame and does nothing else,
# and `cat FILE > /dev/null`, in one hyperfine run on a warm cache. The talk is
# scripts/make-talk.sh's, ten sentences and nine pauses of 0.9 to 4 s holding
# white noise at -67 dBFS (room noise, apart in each channel), as 128 kbit/s
# joint stereo without an information frame, repeated to the length asked for.
#
#   bench/pause_bench.sh [kerfline-cli] [minutes]   without a kerfline-cli, builds a release one
#                                                   in build-bench/; 60 minutes by default
#   RUNS=10 bench/pause_bench.sh                    timed runs per command (default 5)
#   NOISE_DB=-60 bench/pause_bench.sh               the pauses' noise level (default -67 dBFS)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-}
minutes=${2:-60}

for tool in hyperfine mpg123 espeak-ng sox lame; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: run scripts/install-deps.sh" >&2
        exit 1
    fi
done
if [ -z "$cli" ]; then
    cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKERFLINE_GUI=OFF -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$root/build-bench" --target kerfline-cli >/dev/null
    cli=$root/build-bench/cli/kerfline-cli
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kerfline-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
TALK_CHANNELS=2 TALK_NOISE=white TALK_NOISE_DB=${NOISE_DB:--67} \
    TALK_PAUSES="0.9 4 1.5 2 1.2 3 1 2.5 1.8" "$root/scripts/make-talk.sh" "$work/talk.mp3" -b 128 -t
talk_ms=$(($(stat -c %s "$work/talk.mp3") / 16)) # 128 kbit/s: 16 bytes a millisecond
copies=$(((minutes * 60000 + talk_ms - 1) / talk_ms))
for ((i = 0; i < copies; i++)); do cat "$work/talk.mp3"; done >"$work/long.mp3"

echo "File: $(stat -c %s "$work/long.mp3") bytes, $copies copies of a ${talk_ms} ms talk"
echo "Sections found: $("$cli" cue "$work/long.mp3" --at-pauses | grep -c '^  TRACK')"
echo

cat "$work/long.mp3" >/dev/null
hyperfine --warmup 1 --runs "${RUNS:-5}" -N --export-markdown "$work/times.md" \
    -n "cat" "cat $work/long.mp3" \
    -n "mpg123 -t" "mpg123 -q -t $work/long.mp3" \
    -n "kerfline-cli cue --at-pauses" "$cli cue $work/long.mp3 --at-pauses"
echo
cat "$work/times.md"
