#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kerfline need.
# Packages already present are left alone, so a warm machine pays nothing.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache clang libclang-rt-14-dev
    libgtest-dev libcli11-dev
    qt6-base-dev qt6-multimedia-dev pkg-config
    libmpg123-dev libtag1-dev libcue-dev zlib1g-dev libebur128-dev
    pulseaudio pulseaudio-utils sox lame ffmpeg mpg123 espeak-ng
    xvfb xauth xdotool imagemagick
    scdoc desktop-file-utils appstream man-db groff-base dpkg-dev file
    hyperfine time
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-base-apps
    mediainfo mp3val python3-mutagen
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
