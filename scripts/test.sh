#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# the full suite, the engine and UI suites under ASan+UBSan, the engine suite under TSan,
# and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

# A private sound server with a null sink for the preview's tests, in a runtime
# folder of its own; stopped however the run ends.
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    -L "module-null-sink sink_name=kerfline_test" -L module-native-protocol-unix \
    >"$XDG_RUNTIME_DIR/pulseaudio.log" 2>&1 &
sound_server=$!
stop_sound_server() {
    kill "$sound_server" 2>/dev/null || true
    wait "$sound_server" 2>/dev/null || true
    rm -rf "$XDG_RUNTIME_DIR"
}
trap stop_sound_server EXIT
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
if ! pactl set-default-sink kerfline_test; then
    cat "$XDG_RUNTIME_DIR/pulseaudio.log" >&2
    echo "The private sound server did not start" >&2
    exit 1
fi
# The preview's sound tests fail, rather than skip, without the server.
export KERFLINE_SOUND_TESTS=1

echo "== Build and test (release)"
# scripts/run.sh builds the program in the same folder without tests: turn them back on.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DKERFLINE_GUI=ON \
    -DKERFLINE_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

echo "== Install into a temporary prefix and check it as a desktop sees it"
scripts/check-install.sh build

echo "== Engine and UI tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKERFLINE_SANITIZE=ON -DBUILD_TESTING=ON -DKERFLINE_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
export UBSAN_OPTIONS=print_stacktrace=1
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -L engine --output-on-failure --no-tests=error -j "$jobs"
# Qt and the sound libraries keep allocations until exit: leaks are checked in the engine only.
ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir build-asan -L ui --output-on-failure --no-tests=error -j "$jobs"

# The split and the scan run on two threads each; TSan cannot share a build with ASan.
echo "== Engine tests under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFLINE_GUI=OFF -DKERFLINE_TSAN=ON -DBUILD_TESTING=ON -DKERFLINE_WERROR=ON >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$jobs"

if [ -x fuzz/run ]; then
    echo "== Fuzzing, ${KERFLINE_FUZZ_SECONDS:-60} s per target"
    fuzz/run "${KERFLINE_FUZZ_SECONDS:-60}"
fi
echo "== All tests passed"
