#!/usr/bin/env bash
# What an open editor costs, as its user pays it: the CPU time (utime + stime from /proc/PID/stat)
# of the process that shows it, over a window of seconds, as a percentage of one core. Runs on a
# virtual X display of its own.
#
#   rest  the standalone app with its editor open, no note and no audio device
#   rise  vorlan_editor_host: the module's editor in a host window while a 10 s rise plays in real time
#   top   the same host, a held note at the top of a 1 s rise (puffs streaming)
#   bare  the same host and rise with the editor never opened: what the process pays when nobody
#         looks, the framework's polling message thread included (an open editor hands its messages
#         to the host's loop instead; see the README's known limitations)
#
# Usage: editor-cpu.sh [--rounds N] [--seconds S] LABEL=APP,BUNDLE [LABEL=APP,BUNDLE...]
#   APP is a standalone Vorlan binary, BUNDLE a Vorlan.vst3 folder. Builds are measured in turns,
#   round after round, so that load from elsewhere on the machine falls on all of them alike.
#   Default: the Release tree's own build as "current".
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ -z "${VORLAN_EDITOR_CPU_DISPLAY:-}" ]; then
    VORLAN_EDITOR_CPU_DISPLAY=1 exec "$repo_root/tests/support/with_xvfb.sh" "${BASH_SOURCE[0]}" "$@"
fi

rounds=3
seconds=10
builds=()

while [ "$#" -gt 0 ]; do
    case "$1" in
        --rounds) rounds="$2"; shift 2 ;;
        --seconds) seconds="$2"; shift 2 ;;
        *=*,*) builds+=("$1"); shift ;;
        *) echo "usage: editor-cpu.sh [--rounds N] [--seconds S] LABEL=APP,BUNDLE..."; exit 2 ;;
    esac
done

if [ "${#builds[@]}" -eq 0 ]; then
    builds=("current=$build_dir/Vorlan_artefacts/Release/Standalone/Vorlan,$build_dir/Vorlan_artefacts/Release/VST3/Vorlan.vst3")
fi

host="$build_dir/bench/vorlan_editor_host"
ticks_per_second="$(getconf CLK_TCK)"
work_dir="$(mktemp -d)"
child_pid=""

cleanup()
{
    if [ -n "$child_pid" ] && kill -0 "$child_pid" 2> /dev/null; then
        kill -KILL "$child_pid" 2> /dev/null
        wait "$child_pid" 2> /dev/null || true
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT

# utime + stime of a process, in clock ticks (fields 14 and 15 of /proc/PID/stat; the command
# name in field 2 may hold spaces, so count from the closing parenthesis).
cpu_ticks() { sed -e 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# Samples the process for the measurement window and prints its CPU use in per cent of one core.
measure_window()
{
    local pid="$1" start end
    start="$(cpu_ticks "$pid")"
    sleep "$seconds"

    if ! end="$(cpu_ticks "$pid" 2> /dev/null)"; then
        echo "failed"
        return
    fi

    awk -v t="$((end - start))" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * t / hz / s }'
}

stop_child()
{
    kill -INT "$child_pid" 2> /dev/null || true
    for _ in $(seq 1 100); do
        kill -0 "$child_pid" 2> /dev/null || break
        sleep 0.1
    done
    kill -KILL "$child_pid" 2> /dev/null || true
    wait "$child_pid" 2> /dev/null || true
    child_pid=""
}

# rest: the standalone app, measured from one second after its window appears.
measure_rest()
{
    local app="$1"
    "$app" > "$work_dir/app.log" 2>&1 &
    child_pid=$!

    for _ in $(seq 1 300); do
        xwininfo -root -tree 2> /dev/null | grep -q '"Vorlan"' && break
        sleep 0.1
    done

    sleep 1
    measure_window "$child_pid"
    stop_child
}

# rise and top: the host, measured from its "ready".
measure_host()
{
    local bundle="$1"; shift
    rm -f "$work_dir/host.log"
    "$host" --plugin "$bundle" --seconds "$((seconds + 2))" "$@" > "$work_dir/host.log" 2>&1 &
    child_pid=$!

    for _ in $(seq 1 300); do
        grep -q '^ready' "$work_dir/host.log" 2> /dev/null && break
        sleep 0.1
    done

    measure_window "$child_pid"
    stop_child
}

ten_second_rise=(--set launch=Free --set freeTime=10) # "rise" and "bare" play the same rise
declare -A results

for round in $(seq 1 "$rounds"); do
    for build in "${builds[@]}"; do
        label="${build%%=*}"
        paths="${build#*=}"
        app="${paths%%,*}"
        bundle="${paths#*,}"

        rest="$(measure_rest "$app")"
        rise="$(measure_host "$bundle" "${ten_second_rise[@]}")"
        top="$(measure_host "$bundle" --set launch=Free --set freeTime=1 --settle 2)"
        bare="$(measure_host "$bundle" "${ten_second_rise[@]}" --no-editor)"
        echo "round $round  $label: rest $rest %  rise $rise %  top $top %  bare $bare %"
        results["$label rest"]+="$rest "
        results["$label rise"]+="$rise "
        results["$label top"]+="$top "
        results["$label bare"]+="$bare "
    done
done

echo
echo "CPU of one core over ${seconds} s, lowest of $rounds rounds (load beside the runs only adds):"
for build in "${builds[@]}"; do
    label="${build%%=*}"
    line="$label:"
    for scene in rest rise top bare; do
        lowest="$(echo ${results["$label $scene"]} | tr ' ' '\n' | grep -v failed | sort -g | head -n 1)"
        line="$line  $scene $lowest %"
    done
    echo "$line"
done
