#!/usr/bin/env bash
# The program is meant to build on Windows too, where no toolchain is at hand
# here. This keeps it honest: POSIX headers only in files named for Unix
# (*_unix.cpp / *_unix.h), and the low-level tty calls (eventfd, termios,
# ioctl) only in the simulator's and the pseudo-terminal tests' Unix files.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' \
           | grep -v '_unix\.\(cpp\|h\)$' | while read -r f; do [ -f "$f" ] && echo "$f"; done || true)
posix='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|termios|fcntl|pty|poll|signal|pthread|dirent|dlfcn|syslog|grp|pwd|util|libutil)\.h>|^[[:space:]]*#[[:space:]]*include[[:space:]]*<(sys|linux|arpa|netinet|net)/'
status=0
if [ -n "$sources" ]; then
    found=$(grep -nE "$posix" $sources || true)
    if [ -n "$found" ]; then
        echo "POSIX headers outside files named for Unix:"
        echo "$found"
        status=1
    fi
    calls=$(grep -nwE 'eventfd|tcsetattr|tcgetattr|ioctl' $sources || true)
    if [ -n "$calls" ]; then
        echo "tty calls outside files named for Unix:"
        echo "$calls"
        status=1
    fi
fi
[ $status -eq 0 ] && echo "portability: no POSIX header outside files named for Unix"
exit $status
