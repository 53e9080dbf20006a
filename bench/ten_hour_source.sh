# Sourced by the benchmarks that time a ten-hour file: checks the tools, finds
# or builds kerfline-cli (the first argument, else a release build in
# build-bench/) and makes $work, removed at the end, holding $source: 4480
# copies of the 308-frame fixture, 1,379,840 frames, 10:00:44.6, 576,714,880 bytes.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/kerfline-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
source=$work/long.mp3

fixture=$root/tests/data/cbr128_44k_joint.mp3
for _ in $(seq 64); do cat "$fixture"; done >"$work/chunk"
for _ in $(seq 70); do cat "$work/chunk"; done >"$source"
rm "$work/chunk"
