#!/usr/bin/env bash
# Runs the built LV2 bundle in jalv.gtk3 (JACK's dummy backend, a virtual X
# server), clicks the interface's input gain row and saves a jalv preset, to
# show that the host received the value the click set. Not part of CI; needs
# jalv, jackd2, xdotool and xvfb (apt-get install jalv jackd2 xdotool xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
[ -f "$build/Tonarvo.lv2/manifest.ttl" ] || { echo "no bundle in $build; build first" >&2; exit 1; }
for tool in jalv.gtk3 jackd xdotool xvfb-run; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/session.sh" <<'SESSION'
set -u
jackd -n tonarvo_jalv -d dummy -r 48000 -p 256 >"$WORK/jackd.log" 2>&1 &
jack=$!
sleep 2
JACK_DEFAULT_SERVER=tonarvo_jalv HOME="$WORK" jalv.gtk3 urn:tonarvo:tonarvo >"$WORK/jalv.log" 2>&1 &
jalv=$!
window=$(timeout 30 xdotool search --sync --name "Tonarvo" | head -1)
sleep 1
# The input gain row at 13.2 dB; jalv's menu bar is 25 pixels high.
xdotool mousemove --window "$window" 460 50 && sleep 0.3
xdotool mousedown 1 && sleep 0.3 && xdotool mouseup 1 && sleep 0.5
# Presets > Save Preset..., named "clicked".
xdotool mousemove --window "$window" 65 12 click 1 && sleep 2
xdotool key Down && sleep 0.5 && xdotool key Return && sleep 1
dialog=$(timeout 20 xdotool search --sync --name "Save Preset" | head -1)
sleep 1 && xdotool windowfocus --sync "$dialog" && sleep 0.5
xdotool type --delay 50 clicked && sleep 0.5 && xdotool key Return && sleep 2
kill "$jalv"; sleep 1; kill -9 "$jalv" 2>/dev/null; kill "$jack"
wait
SESSION
WORK="$work" LV2_PATH="$PWD/$build" xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/session.sh" || true

preset=$(find "$work" -name clicked.ttl | head -1)
[ -n "$preset" ] || { echo "FAILED: jalv saved no preset (see its log below)"; cat "$work/jalv.log"; exit 1; }
grep -A1 '"input_trim"' "$preset"
if grep -A1 '"input_trim"' "$preset" | grep -q 'pset:value 13.19999'; then
  echo "OK: jalv holds the input trim the click set (13.2), beside the plug-in's state chunk"
else
  echo "FAILED: the click did not reach jalv's input_trim port"; exit 1
fi
