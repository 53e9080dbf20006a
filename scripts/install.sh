#!/usr/bin/env bash
# Builds Kerfline, packs it as a Debian package and installs that with apt-get;
# the package is left in build-package/ for other machines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DKERFLINE_WERROR=OFF >/dev/null
cmake --build build-package
(cd build-package && cpack -G DEB)
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
package=$(ls -t build-package/kerfline_*.deb | head -n 1)
"${sudo_cmd[@]}" apt-get install -y "./$package"
