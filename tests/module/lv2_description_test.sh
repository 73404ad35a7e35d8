#!/usr/bin/env bash
# The built LV2 bundle as lilv's own tools read it, with only the bundle's folder and the system's LV2
# folder (the core vocabulary) on LV2_PATH:
#   lv2_description_test.sh BUNDLE URI
# lv2info lists no lv2:Parameter; the parameters are read through lilv by vorlan_lv2_host_tests.
set -euo pipefail

bundle="$1"
uri="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bundle="$(realpath "$bundle")"
export LV2_PATH="$(dirname "$bundle"):/usr/lib/lv2"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

expect_line() { # a line of the output that matches the pattern
    grep -qE "$2" "$work/$1" || fail "$1 has no line matching: $2"
}

lv2ls >"$work/lv2ls" 2>"$work/lv2ls.err"
grep -qxF "$uri" "$work/lv2ls" || fail "lv2ls does not list $uri"
grep -q 'file://' "$work/lv2ls" && fail "lv2ls lists a relative URI: $(grep 'file://' "$work/lv2ls")"

# Once to read it, once to write the Turtle description that it read (-p prints nothing else).
lv2info "$uri" >"$work/lv2info" 2>"$work/lv2info.err" || fail "lv2info cannot read $uri"
[ -s "$work/lv2info.err" ] && fail "lv2info warns: $(cat "$work/lv2info.err")"
lv2info -p "$work/description.ttl" "$uri" >/dev/null 2>&1 || fail "lv2info cannot describe $uri"

expect_line lv2info "^	Name: +Vorlan$"
expect_line lv2info "^	Class: +Instrument Plugin$"
expect_line lv2info "^	Author: +Vorlan Audio$"
expect_line lv2info "^	Bundle: +file://${bundle}/$"
grep -qE "Author (Email|Homepage)" "$work/lv2info" && fail "the maintainer has contacts: $(grep -E 'Author (Email|Homepage)' "$work/lv2info")"

# The editor, an X11 UI in the plug-in's own binary.
expect_line lv2info "^		${uri}:UI$"
expect_line lv2info "^			Class: +http://lv2plug.in/ns/extensions/ui#X11UI$"

# The fourteen factory programs as presets, in whatever order lilv keeps them.
sed -n '/^	Presets:/,/^$/p' "$work/lv2info" | sed -n 's/^	 *//p' | grep -v '^Presets:' | sort >"$work/presets"
cat >"$work/expected-presets" <<'NAMES'
Black Sky
Cockpit Panic
Contrail Dream
Escape Velocity
Gentle Liftoff
Infinite Ascent
Jet Wash
Mach 2
Orbit Hold
Red Alert
Runway 4 Bar
Sonic Boom
Stratosphere
Turbulence
NAMES
diff -u "$work/expected-presets" "$work/presets" >"$work/presets.diff" || fail "presets differ: $(cat "$work/presets.diff")"

# Ports: two audio outputs, no audio input, one event input that takes MIDI.
[ "$(grep -c 'Symbol: *audio_out_' "$work/lv2info")" -eq 2 ] || fail "not two audio outputs"
grep -q 'Symbol: *audio_in_' "$work/lv2info" && fail "an audio input is declared"
expect_line lv2info "Designation: +http://lv2plug.in/ns/ext/port-groups#left$"
expect_line lv2info "Designation: +http://lv2plug.in/ns/ext/port-groups#right$"
awk '/lv2:symbol "in"/ { found = 1 } END { exit found ? 0 : 1 }' "$work/description.ttl" || fail "no event input \"in\""
awk '/atom#supports> <http:\/\/lv2plug.in\/ns\/ext\/midi#MidiEvent>/ { midi = 1 } /lv2:symbol "in"/ { if (midi) found = 1 } /\] , \[/ { midi = 0 }
     END { exit found ? 0 : 1 }' "$work/description.ttl" || fail "the event input takes no MIDI"

echo "lv2info: $(grep -cE '^	Port [0-9]+:$' "$work/lv2info") ports, $(wc -l <"$work/presets") presets"

if [ "$failures" -ne 0 ]; then
    echo "--- lv2info output"
    cat "$work/lv2info"
    exit 1
fi
echo "lv2 description: passed"
