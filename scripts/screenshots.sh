#!/usr/bin/env bash
# Retakes the pictures in docs/ on a virtual display: the main window at its
# first size and grown, the split list and its dialogs, each with a fixture open
# from the Music folder of a home made in the temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kerfline_screenshots
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# The file chooser keeps its history in the user's settings: a throwaway place for them.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
KERFLINE_SCREENSHOT_DIR="$root/docs" xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/tests/kerfline_screenshots
echo "Pictures written to docs/"
