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

# Start well above :0: a JUCE program without DISPLAY connects to :0.0, and the tests running
# beside this one must not find (and then lose) our server there.
display=""
for number in $(seq 90 190); do
    [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp 2> "$work_dir/xvfb.log" &
    xvfb_pid=$!

    for _ in $(seq 1 100); do
        [ -S "/tmp/.X11-unix/X$number" ] && break
        kill -0 "$xvfb_pid" 2> /dev/null || break
        sleep 0.1
    done

    # The socket may be another server's that took the number first: ours is still running if it won.
    sleep 0.3
    if [ -S "/tmp/.X11-unix/X$number" ] && kill -0 "$xvfb_pid" 2> /dev/null; then
        display=":$number"
        break
    fi

    # Another server took this number first; try the next.
    kill "$xvfb_pid" 2> /dev/null
    wait "$xvfb_pid" 2> /dev/null
    xvfb_pid=""
done

if [ -z "$display" ]; then
    echo "FAIL: Xvfb did not start"
    cat "$work_dir/xvfb.log"
    exit 1
fi

export DISPLAY="$display"
export HOME="$work_dir/home"   # settings files of the program under test stay out of the real home
mkdir -p "$HOME"

"$@"
