#!/bin/sh
# vorlan_render's command line from outside: usage, refused input, and real renders to WAV files.
# Usage: render_cli_test.sh PATH_TO_VORLAN_RENDER SCRATCH_DIR LV2_BUNDLE
render="$1"
scratch="$2"
lv2_bundle="$3"
failures=0
passes=0

mkdir -p "$scratch" || exit 1

# expect NAME EXIT_CODE PATTERN ARGS...: runs the tool, checks its exit code and that its output matches.
expect() {
    name="$1"; wanted_rc="$2"; pattern="$3"; shift 3
    output=$("$render" "$@" 2>&1)
    rc=$?
    if [ "$rc" -eq "$wanted_rc" ] && printf '%s\n' "$output" | grep -Eq -- "$pattern"; then
        passes=$((passes + 1))
    else
        failures=$((failures + 1))
        printf 'FAIL %s: exit %s (wanted %s), output:\n%s\n' "$name" "$rc" "$wanted_rc" "$output"
    fi
}

is_wav() {
    [ "$(head -c 4 "$1" 2>/dev/null)" = "RIFF" ] && [ "$(wc -c < "$1")" -gt 1000 ]
}

expect help 0 "^Usage: vorlan_render" --help
expect unknown-option 2 "unknown option '--loudness'" --loudness 11
expect missing-value 2 "option --bpm needs a value" --bpm
expect bad-number 2 "option --velocity wants a number from 0 to 1" --velocity 2
expect bad-format 2 "option --format wants 24 or float" --format 16
expect bad-setting 2 "option --set wants id=value" --set climb
expect tempo-conflict 2 "exclude each other" --bpm 128 --no-tempo
expect midi-and-note 2 "--midi replaces" --midi x.mid --note 60
expect missing-plugin 1 "no VST3 bundle at /nonexistent/None.vst3" --plugin /nonexistent/None.vst3
expect unknown-parameter 1 "no parameter 'loudness'" --set loudness=3 --seconds 0.1 --out "$scratch/never.wav"
expect bad-parameter-value 1 "'7' is not a value of Launch" --set launch=7 --seconds 0.1 --out "$scratch/never.wav"
expect missing-program 1 "program 14 does not exist" --program 14 --seconds 0.1 --out "$scratch/never.wav"
[ -e "$scratch/never.wav" ] && { failures=$((failures + 1)); echo "FAIL: a refused render wrote a file"; }

rm -f "$scratch/note.wav" "$scratch/file.wav"
expect note-render 0 "wrote .*note.wav \(32-bit float\)" \
    --program 5 --set climb=1.5 --bpm 128 --note 48 --velocity 1 --bars 1 --tail 0.25 --format float \
    --rate 44100 --block 300 --out "$scratch/note.wav"
expect note-length 0 "rendered 2.25 s" --bpm 120 --bars 1 --tail 0.25 --out "$scratch/note.wav"
is_wav "$scratch/note.wav" || { failures=$((failures + 1)); echo "FAIL: note.wav is not a WAV file"; }

# The LV2 bundle, hosted by its extension: a program, a setting and no noise sound as through the VST3.
rm -f "$scratch/lv2.wav" "$scratch/vst3.wav"
expect missing-lv2 1 "no LV2 bundle at /nonexistent/None.lv2" --plugin /nonexistent/None.lv2
expect lv2-program 0 "program 11: Red Alert" --plugin "$lv2_bundle" --program 11 --set jet=0 --set climb=3.5 \
    --bars 1 --tail 0.25 --format float --out "$scratch/lv2.wav"
expect lv2-format 0 "\(LV2\) from $lv2_bundle" --plugin "$lv2_bundle" --seconds 0.1 --tail 0 --out "$scratch/lv2.wav"
expect lv2-render 0 "wrote .*lv2.wav" --plugin "$lv2_bundle" --program 11 --set jet=0 --set climb=3.5 \
    --bars 1 --tail 0.25 --format float --out "$scratch/lv2.wav"
expect vst3-render 0 "\(VST3\) from" --program 11 --set jet=0 --set climb=3.5 \
    --bars 1 --tail 0.25 --format float --out "$scratch/vst3.wav"
cmp -s "$scratch/lv2.wav" "$scratch/vst3.wav" || { failures=$((failures + 1)); echo "FAIL: the LV2 and VST3 renders differ"; }

# A Standard MIDI File, 480 ticks a beat, no tempo event (120 BPM): one note of one beat.
printf 'MThd\000\000\000\006\000\000\000\001\001\340MTrk\000\000\000\015\000\220\074\144\203\140\200\074\000\000\377\057\000' \
    > "$scratch/beat.mid"
expect midi-render 0 "rendered 1.50 s" --midi "$scratch/beat.mid" --tail 1 --out "$scratch/file.wav"
is_wav "$scratch/file.wav" || { failures=$((failures + 1)); echo "FAIL: file.wav is not a WAV file"; }

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
