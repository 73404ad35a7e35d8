#!/usr/bin/env bash
# Sets up the machine, builds and installs Vorlan.vst3 into ~/.vst3 and Vorlan.lv2 into ~/.lv2, then
# renders an 8-bar riser at 128 BPM through the installed VST3 module into out/riser.wav.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/setup-debian.sh"
configure release
build release --target Vorlan_VST3 Vorlan_LV2 vorlan_render
cmake --install "$build_dir"

mkdir -p "$repo_root/out"
"$build_dir/tools/render/vorlan_render" \
    --plugin "$HOME/.vst3/Vorlan.vst3" \
    --bpm 128 --set launch=3 --note 48 --velocity 0.9 --bars 8 \
    --rate 48000 --block 512 --format 24 \
    --out "$repo_root/out/riser.wav" "$@"
