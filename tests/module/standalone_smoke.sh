#!/usr/bin/env bash
# Smoke test of the standalone app: on an X display it must start, show its window and quit
# cleanly when interrupted. CTest runs it on a virtual display through with_xvfb.sh.
#
# Usage: standalone_smoke.sh path/to/Standalone/Vorlan
set -u

app="${1:?usage: standalone_smoke.sh path/to/standalone/app}"
window_name="Vorlan"
start_timeout_s=30
quit_timeout_s=15

for tool in xwininfo; do
    if ! command -v "$tool" > /dev/null 2>&1; then
        echo "FAIL: $tool is missing (apt-get install x11-utils)"
        exit 1
    fi
done

if [ -z "${DISPLAY:-}" ]; then
    echo "FAIL: no X display (run it through with_xvfb.sh)"
    exit 1
fi

if [ ! -x "$app" ]; then
    echo "FAIL: no executable at $app"
    exit 1
fi

work_dir="$(mktemp -d)"
app_pid=""

cleanup()
{
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2> /dev/null; then
        kill -KILL "$app_pid" 2> /dev/null
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT

"$app" > "$work_dir/app.log" 2>&1 &
app_pid=$!

shown=0
for _ in $(seq 1 $((start_timeout_s * 10))); do
    if ! kill -0 "$app_pid" 2> /dev/null; then
        break
    fi
    if xwininfo -root -tree 2> /dev/null | grep -q "\"$window_name\""; then
        shown=1
        break
    fi
    sleep 0.1
done

if [ "$shown" -ne 1 ]; then
    echo "FAIL: no window named \"$window_name\" within ${start_timeout_s} s"
    cat "$work_dir/app.log"
    exit 1
fi

window_line="$(xwininfo -root -tree | grep "\"$window_name\"" | head -n 1)"
echo "window shown on $DISPLAY:$window_line"

# The window holds the 900 x 600 editor (plus its title bar and border).
size="$(echo "$window_line" | grep -oE '[0-9]+x[0-9]+\+' | head -n 1 | tr -d '+')"
width="${size%%x*}"
height="${size##*x}"

if [ -z "$size" ] || [ "$width" -lt 900 ] || [ "$height" -lt 600 ]; then
    echo "FAIL: window size '$size' is smaller than the 900 x 600 editor"
    exit 1
fi

# Let it run a few timer ticks, then ask it to quit as a terminal would.
sleep 1

if ! kill -0 "$app_pid" 2> /dev/null; then
    echo "FAIL: the app exited on its own after showing its window"
    cat "$work_dir/app.log"
    exit 1
fi

kill -INT "$app_pid"

for _ in $(seq 1 $((quit_timeout_s * 10))); do
    kill -0 "$app_pid" 2> /dev/null || break
    sleep 0.1
done

if kill -0 "$app_pid" 2> /dev/null; then
    echo "FAIL: the app did not quit within ${quit_timeout_s} s of SIGINT"
    exit 1
fi

wait "$app_pid"
status=$?
app_pid=""

if [ "$status" -ne 0 ]; then
    echo "FAIL: the app exited with status $status"
    cat "$work_dir/app.log"
    exit 1
fi

echo "PASS: started, showed its window and quit with status 0"
