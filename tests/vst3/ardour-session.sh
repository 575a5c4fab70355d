#!/bin/sh
# Headless Ardour 7 sessions with the VST 3 bundle and with the VST 2.4
# library: a stereo track fed by a Lua source whose signal is a function of
# the transport position alone, then the plug-in with two values set through
# Ardour's controls. The VST 3 session is saved before any audio ran: its
# state must hold the values (input trim 6 dB as the float bytes 00 00 c0 40),
# and reloaded it must save the same state. Both sessions exported (2 s,
# 32-bit float) must give the same samples.
# Usage: ardour-session.sh BUILD-DIR (holding Tonarvo.vst3 and Tonarvo.so)
. "$(dirname "$0")/ardour-common.sh"
export VST3_PATH="$build" LXVST_PATH="$build"
if ! LD_LIBRARY_PATH=$scanners "$scanners/ardour-vst3-scanner" -f "$build/Tonarvo.vst3" >"$work/scan.log" 2>&1 ||
    ! LD_LIBRARY_PATH=$scanners "$scanners/ardour-vst-scanner" -f "$build/Tonarvo.so" >>"$work/scan.log" 2>&1; then
    cat "$work/scan.log"
    fail "the scanners"
fi

# make.lua DIR TYPE TRIM RESONANCE SLEW: VST 3 controls hold the sliders'
# units, VST 2.4 ones the 0-1 values. Every value is one a float holds
# exactly: the VST 2.4 chunk keeps floats, the VST 3 state the exact values
# (the default tracking force, 25.2, would reload as 25.2 there and as
# 25.2000007 under VST 2.4).
make() {
    cat >"$work/make.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
create_session("$work/$1", "s", 48000)
for _ in ARDOUR.LuaAPI.list_plugins():iter() do end
local track = Session:new_audio_track(2, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()
local source = ARDOUR.LuaAPI.new_luaproc(Session, "Tonarvo Test Source")
assert(not source:isnil(), "no source")
assert(track:add_processor_by_index(source, 0, nil, true) == 0)
local p = ARDOUR.LuaAPI.new_plugin(Session, "MARVOLTIC - Tonarvo - 20241108", ARDOUR.PluginType.$2, "")
assert(not p:isnil(), "no plug-in")
assert(track:add_processor_by_index(p, 1, nil, true) == 0, "not inserted")
ARDOUR.LuaAPI.set_processor_param(p, 0, $3)
ARDOUR.LuaAPI.set_processor_param(p, 3, $4)
ARDOUR.LuaAPI.set_processor_param(p, 5, $5)
Session:save_state("", false, false, false, false, false)
close_session()
LUA
    timeout 120 "$lua" "$work/make.lua" >"$work/$1.log" 2>&1 || { cat "$work/$1.log"; fail "making the $2 session"; }
}
make vst3 VST3 6.0 12.0 24.0
make vst2 LXVST 0.625 0.75 0.5

chunk() { sed -n 's:.*<chunk>\(.*\)</chunk>.*:\1:p' "$1"; }
first=$(chunk "$work/vst3/s.ardour")
[ -n "$first" ] || fail "no plug-in state in the saved session"
echo "$first" | base64 -d | od -An -tx1 | tr -d ' \n' | grep -q 0000c040 ||
    fail "the saved state lacks the input trim set before any audio ran"
cat >"$work/load.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
load_session("$work/vst3", "s")
Session:save_state("again", false, false, false, false, false)
close_session()
LUA
timeout 120 "$lua" "$work/load.lua" >"$work/load.log" 2>&1 || { cat "$work/load.log"; fail "reloading"; }
[ "$(chunk "$work/vst3/again.ardour")" = "$first" ] || fail "the reloaded plug-in saves another state"
echo "the session saves the values and reloads them"

# 2 s at 48 kHz, in Ardour's time units (282240000 a second).
for kind in vst3 vst2; do
    sed -i 's#  <Locations/>#  <Locations><Location id="99999" name="session" start="a0" end="a564480000" flags="IsSessionRange" locked="0" timestamp="0" cue="0"/></Locations>#' \
        "$work/$kind/s.ardour"
    exportSession "$work/$kind" "$work/$kind.wav" ||
        { cat "$work/export.log"; fail "exporting the $kind session"; }
done
sameExports vst3 vst2 || fail "the VST 3 session renders other samples than the VST 2.4 one (or less than 2 s)"
echo "the VST 3 session renders the VST 2.4 session's samples"
