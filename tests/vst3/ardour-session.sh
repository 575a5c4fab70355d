#!/bin/sh
# A headless Ardour 7 session with the VST 3 bundle: a stereo track with the
# plug-in, two values set through Ardour's plain-value controls, the session
# saved before any audio ran, loaded again and saved anew. The saved state
# must hold the values (input trim 12.5 dB as the float bytes 00 00 48 41),
# and the reloaded plug-in must save the same state.
# Usage: ardour-session.sh BUILD-DIR (the folder holding Tonarvo.vst3)
lua=$(command -v ardour7-lua)
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [ -z "$lua" ] || [ ! -x "$scanner" ]; then
    echo "SKIPPED: ardour7-lua or $scanner not found (scripts/setup.sh installs ardour)"
    exit 0
fi
# Absolute: Ardour finds the scanner's cache entry by the bundle's path.
build=$(cd "$1" && pwd) || exit 1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" VST3_PATH="$build"
LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -f "$build/Tonarvo.vst3" >"$work/scan.log" 2>&1 ||
    { cat "$work/scan.log"; echo "FAIL: the scanner"; exit 1; }
cat >"$work/make.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
create_session("$work/s", "s", 48000)
for _ in ARDOUR.LuaAPI.list_plugins():iter() do end
local track = Session:new_audio_track(2, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(Session, "MARVOLTIC - Tonarvo - 20241108", ARDOUR.PluginType.VST3, "")
assert(not p:isnil(), "no plug-in")
assert(track:add_processor_by_index(p, 0, nil, true) == 0, "not inserted")
ARDOUR.LuaAPI.set_processor_param(p, 0, 12.5)
ARDOUR.LuaAPI.set_processor_param(p, 3, 6.0)
Session:save_state("", false, false, false, false, false)
close_session()
LUA
cat >"$work/load.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
load_session("$work/s", "s")
Session:save_state("again", false, false, false, false, false)
close_session()
LUA
for step in make load; do
    timeout 120 "$lua" "$work/$step.lua" >"$work/$step.log" 2>&1 || { cat "$work/$step.log"; echo "FAIL: $step.lua"; exit 1; }
done
chunk() { sed -n 's:.*<chunk>\(.*\)</chunk>.*:\1:p' "$1"; }
first=$(chunk "$work/s/s.ardour")
[ -n "$first" ] || { echo "FAIL: no plug-in state in the saved session"; exit 1; }
echo "$first" | base64 -d | od -An -tx1 | tr -d ' \n' | grep -q 00004841 ||
    { echo "FAIL: the saved state lacks the input trim set before any audio ran"; exit 1; }
[ "$(chunk "$work/s/again.ardour")" = "$first" ] || { echo "FAIL: the reloaded plug-in saves another state"; exit 1; }
echo "the session saves the values and reloads them"
