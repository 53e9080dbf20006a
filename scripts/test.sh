#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# the full suite, the engine and UI suites under ASan+UBSan, and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

echo "== Build and test (release)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFLINE_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Engine and UI tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKERFLINE_SANITIZE=ON -DKERFLINE_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
export UBSAN_OPTIONS=print_stacktrace=1
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -L engine --output-on-failure -j "$jobs"
# Qt and the sound libraries keep allocations until exit: leaks are checked in the engine only.
ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir build-asan -L ui --output-on-failure -j "$jobs"

if [ -x fuzz/run ]; then
    echo "== Fuzzing, ${KERFLINE_FUZZ_SECONDS:-60} s per target"
    fuzz/run "${KERFLINE_FUZZ_SECONDS:-60}"
fi
echo "== All tests passed"
