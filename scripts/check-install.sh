#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what a desktop sees:
# the desktop entry, the AppStream metadata, the manual pages, --version of both
# programs, and that F1 in the installed window finds the help document there;
# then builds the Debian package and checks its contents and dependencies.
# Usage: scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
version=$(sed -n 's/^project(Kerfline VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
    echo "install check: $*" >&2
    exit 1
}

for program in kerfline kerfline-cli; do
    [ "$("$prefix/bin/$program" --version)" = "$program $version" ] ||
        fail "$program --version does not print \"$program $version\""
done

desktop_entries=("$prefix"/share/applications/*.desktop)
desktop-file-validate "${desktop_entries[@]}"
grep -qx 'MimeType=audio/mpeg;' "${desktop_entries[@]}" || fail "the desktop entry takes no audio/mpeg"
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null
for page in kerfline kerfline-cli; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done
[ -f "$prefix/share/bash-completion/completions/kerfline-cli" ] || fail "no bash completion"
bash -c "source '$prefix/share/bash-completion/completions/kerfline-cli' && complete -p kerfline-cli" \
    >/dev/null || fail "the bash completion does not load"
icon=$(sed -n 's/^Icon=//p' "${desktop_entries[@]}")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"

# F1 in the installed window: the desktop's opener (a stand-in here, first on the
# PATH) must be handed the installed help document.
mkdir -p "$work/opener" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/opener/xdg-open" <<OPENER
#!/bin/sh
echo "\$1" >"$work/opened"
OPENER
chmod +x "$work/opener/xdg-open"
# F1 runs under its own X server: the window, xdotool pressing F1, and a wait for the opener.
xvfb-run -a env PATH="$work/opener:$PATH" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_CURRENT_DESKTOP= HOME="$work" bash -c '
        "$1/bin/kerfline" 2>"$2/window.log" & window=$!
        trap "kill $window 2>/dev/null" EXIT
        timeout 60 xdotool search --sync --onlyvisible --name "^Kerfline" >/dev/null 2>&1 || exit 1
        for _ in $(seq 300); do
            xdotool search --onlyvisible --name "^Kerfline" key F1 >/dev/null 2>&1 || true
            [ -s "$2/opened" ] && exit 0
            sleep 0.1
        done
        exit 1' _ "$prefix" "$work" ||
    fail "F1 in the installed window opened nothing; the window said: $(cat "$work/window.log")"
opened=$(cat "$work/opened")
[ "$opened" = "file://$prefix/share/kerfline/kerflinehelp.html" ] ||
    fail "F1 opened \"$opened\", not the installed help document"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
package=("$work"/package/kerfline_*.deb)
dpkg-deb -f "${package[@]}" Depends | grep -q libmpg123 || fail "the package does not depend on libmpg123"
contents=$(dpkg-deb -c "${package[@]}")
for file in usr/bin/kerfline usr/bin/kerfline-cli usr/share/kerfline/kerflinehelp.html; do
    grep -q " \./$file\$" <<<"$contents" || fail "the package holds no $file"
done
echo "install check: all passed"
