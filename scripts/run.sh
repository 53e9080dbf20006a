#!/usr/bin/env bash
# Builds Kerfline and starts the desktop program (pass a display, or run under xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The test script may have left warnings as errors on in this folder: a user's build
# should not stop at a warning that another compiler version finds.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKERFLINE_WERROR=OFF >/dev/null
cmake --build build --target kerfline kerfline-cli
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" = "" ]; then
    echo "No display found: start it under a virtual one, e.g. xvfb-run -a scripts/run.sh" >&2
    exit 1
fi
exec build/app/kerfline "$@"
