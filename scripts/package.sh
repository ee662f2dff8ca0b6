#!/usr/bin/env bash
# Builds the user package: a Release build in build/package, installed under
# /usr, made into one .deb by CPack (the simulator is not in it). Prints the
# path of the .deb. JOBS sets the build's parallelism (default: every core).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
# dpkg-shlibdeps works out the package's dependencies on shared libraries.
for p in dpkg-dev file; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$p"
    fi
done

build="$root/build/package"
# Packaging builds only what the package holds, not the tests and benchmarks.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
targets=(vexs-configurator)
ninja -C "$build" -t targets all | grep -q '^vexs-cli:' && targets+=(vexs-cli)
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target "${targets[@]}"

rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/*.deb)"
echo "$deb"
