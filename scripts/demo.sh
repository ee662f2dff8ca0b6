#!/usr/bin/env bash
# Builds the configurator and the recorder simulator, then starts both: the
# simulator serves a pseudo-terminal that serial port 1 of the demo points
# at, and TCP 127.0.0.1:5000. The demo runs from build/demo with its own
# Vexs.ini, so the configuration kept beside a real installation is untouched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vexs-configurator vexs-sim

demo="$root/build/demo"
mkdir -p "$demo"
cp -f "$build/shell/vexs-configurator" "$demo/vexs-configurator"
link="$demo/ttyVEXS"
if [ ! -f "$demo/Vexs.ini" ]; then
    printf '[Vexs]\nUpDownAdr=1\nUpDownComPort=1\nComboBoxBaud=4\nEditIP=127.0.0.1\nEditIPPort=5000\n\n' > "$demo/Vexs.ini"
fi
grep -q '^\[Ports\]' "$demo/Vexs.ini" || printf '[Ports]\nCOM1=%s\n' "$link" >> "$demo/Vexs.ini"

"$build/sim/vexs-sim" --pty "$link" --tcp 127.0.0.1:5000 --baud 115200 2>"$demo/sim.log" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting under xvfb-run (the window is not visible)." >&2
    exec_cmd=(xvfb-run -a "$demo/vexs-configurator")
else
    exec_cmd=("$demo/vexs-configurator")
fi
"${exec_cmd[@]}"
