#!/usr/bin/env bash
# Runs a command on a virtual X server of its own and exits with the command's status.
# Exit 77 (skipped) only when no Xvfb is installed.
#
# Usage: with_xvfb.sh command [arguments...]
set -u

if [ "$#" -eq 0 ]; then
    echo "usage: with_xvfb.sh command [arguments...]"
    exit 2
fi

if ! command -v Xvfb > /dev/null 2>&1; then
    echo "SKIP: Xvfb is not installed (apt-get install xvfb)"
    exit 77
fi

work_dir="$(mktemp -d)"
xvfb_pid=""

cleanup()
{
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2> /dev/null
        wait "$xvfb_pid" 2> /dev/null
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT

# Let the server pick a free display and tell us its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work_dir/display" 2> "$work_dir/xvfb.log" &
xvfb_pid=$!

for _ in $(seq 1 100); do
    [ -s "$work_dir/display" ] && break
    sleep 0.1
done

if [ ! -s "$work_dir/display" ]; then
    echo "FAIL: Xvfb did not start"
    cat "$work_dir/xvfb.log"
    exit 1
fi

export DISPLAY=":$(head -n 1 "$work_dir/display")"
export HOME="$work_dir/home"   # settings files of the program under test stay out of the real home
mkdir -p "$HOME"

"$@"
