#!/usr/bin/env bash
# Sets up the machine, builds and installs Vorlan.vst3 into ~/.vst3 and Vorlan.lv2 into ~/.lv2, then
# renders an 8-bar riser at 128 BPM through the installed VST3 module into out/riser.wav.
# Package installation and compiler output go to log files in out/logs; a failing step shows its log's end.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

logs="$repo_root/out/logs"
mkdir -p "$logs"

# step NAME LOG COMMAND...: runs the command with its output in the log, saying what it does.
step() {
    local name="$1" log="$logs/$2"
    shift 2
    echo "== $name (log: ${log#"$repo_root"/})"

    if ! "$@" >"$log" 2>&1; then
        echo "FAILED: $name. The end of $log:" >&2
        tail -n 30 "$log" >&2
        exit 1
    fi
}

step "Installing the Debian packages the build needs" setup.log "$repo_root/scripts/setup-debian.sh"
step "Configuring the Release build" configure.log configure release
step "Building Vorlan.vst3, Vorlan.lv2 and vorlan_render (a few minutes on 2 cores)" build.log \
    build release --target Vorlan_VST3 Vorlan_LV2 vorlan_render
step "Installing the bundles" install.log cmake --install "$build_dir"
sed -n 's/^-- \(Installing\|Up-to-date\): \(.*\.\(vst3\|lv2\)\)$/   \2/p' "$logs/install.log"

echo "== Rendering an 8-bar riser at 128 BPM through the installed VST3"
"$build_dir/tools/render/vorlan_render" \
    --plugin "$HOME/.vst3/Vorlan.vst3" \
    --bpm 128 --set launch=3 --note 48 --velocity 0.9 --bars 8 \
    --rate 48000 --block 512 --format 24 \
    --out "$repo_root/out/riser.wav" "$@" | sed 's/^/   /'
