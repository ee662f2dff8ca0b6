#!/usr/bin/env bash
# Installs an already built tree into a scratch folder and checks what a
# system install would put in place: exactly the expected files, a desktop
# entry and AppStream data that validate, and an installed program that
# answers --version without a display.
#   scripts/check_install.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: check_install.sh BUILD_DIR}"
id=ru.vexs.Configurator
dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
fail=0
say() { echo "check_install: $*" >&2; fail=1; }

expected=(
    usr/bin/vexs-configurator
    usr/bin/vexs-sim
    "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    "usr/share/icons/hicolor/48x48/apps/$id.png"
    "usr/share/icons/hicolor/128x128/apps/$id.png"
    usr/lib/udev/rules.d/60-vexs-usb-serial.rules
    usr/share/vexs-configurator/guide/guide.md
    usr/share/vexs-configurator/screenshots/main-window.png
    usr/share/vexs-configurator/screenshots/measurement.png
    usr/share/vexs-configurator/screenshots/trend.png
    usr/share/vexs-configurator/screenshots/monitor.png
    usr/share/vexs-configurator/screenshots/scan.png
    usr/share/vexs-configurator/screenshots/preview.png
    usr/share/vexs-configurator/screenshots/journal.png
)
[ -e "$dest/usr/bin/vexs-cli" ] && expected+=(usr/bin/vexs-cli)
actual="$(cd "$dest" && find . -type f -o -type l | sed 's|^\./||' | sort)"
wanted="$(printf '%s\n' "${expected[@]}" | sort)"
if [ "$actual" != "$wanted" ]; then
    say "installed files differ from the expected list:"
    diff <(echo "$wanted") <(echo "$actual") >&2 || true
fi

desktop-file-validate "$dest/usr/share/applications/$id.desktop" || say "desktop entry does not validate"
appstreamcli validate --no-net "$dest/usr/share/metainfo/$id.metainfo.xml" >/dev/null \
    || { appstreamcli validate --no-net "$dest/usr/share/metainfo/$id.metainfo.xml" >&2 || true;
         say "AppStream data does not validate"; }

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
grep -q "<release version=\"$version\"" "$dest/usr/share/metainfo/$id.metainfo.xml" \
    || say "AppStream data has no release entry for $version"
answer="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
          "$dest/usr/bin/vexs-configurator" --version 2>&1)" || say "--version failed: $answer"
[ "$answer" = "vexs-configurator $version" ] || say "--version says '$answer'"

[ "$fail" -eq 0 ] || exit 1
echo "check_install: $(echo "$actual" | wc -l) files installed and valid, $answer"
