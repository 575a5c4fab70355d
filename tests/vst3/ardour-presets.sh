#!/bin/sh
# The factory presets in headless Ardour 7: its LV2 and VST 3 preset lists
# hold every preset of the table (the LV2 ones as factory presets, for their
# comments; the VST 3 files from ~/.vst3/presets, where install-user puts
# them, as user presets, which is what Ardour calls every file in that
# folder, and, where a private mount can put them in the shared folder
# /usr/local/share/vst3/presets, found there too), and a session whose
# plug-in loaded a preset exports the same samples as one whose six
# controls were set to the table's values by hand, in both formats.
# Usage: ardour-presets.sh BUILD-DIR (holding Tonarvo.lv2, Tonarvo.vst3,
# vst3-presets and tonarvo-presets)
. "$(dirname "$0")/ardour-common.sh"
mkdir -p "$work/home/.vst3/presets" "$work/lv2" "$work/share/vst3/presets"
ln -s "$build/Tonarvo.lv2" "$work/lv2/Tonarvo.lv2"
cp -r "$build/vst3-presets/." "$work/home/.vst3/presets/"
cp -r "$build/vst3-presets/." "$work/share/vst3/presets/"
export HOME="$work/home" VST3_PATH="$build" LV2_PATH="$work/lv2"
LD_LIBRARY_PATH=$scanners "$scanners/ardour-vst3-scanner" -f "$build/Tonarvo.vst3" >"$work/scan.log" 2>&1 ||
    { cat "$work/scan.log"; fail "the VST 3 scanner"; }
"$build/tonarvo-presets" >"$work/table" || fail "tonarvo-presets"
[ "$(wc -l <"$work/table")" -ge 8 ] || fail "the table has fewer than 8 presets"


# Every preset Ardour lists for each format: kind|label|user.
cat >"$work/list.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
create_session("$work/list", "s", 48000)
for _ in ARDOUR.LuaAPI.list_plugins():iter() do end
for _, kind in ipairs({"LV2", "VST3"}) do
  local p = ARDOUR.LuaAPI.new_plugin(Session, "MARVOLTIC - Tonarvo - 20241108", ARDOUR.PluginType[kind], "")
  assert(not p:isnil(), "no " .. kind .. " plug-in")
  for r in p:to_insert():plugin(0):get_info():get_presets(false):iter() do
    print("PRESET|" .. kind .. "|" .. r.label .. "|" .. tostring(r.user))
  end
end
close_session()
LUA
timeout 120 "$lua" "$work/list.lua" >"$work/list.log" 2>&1 || { cat "$work/list.log"; fail "listing the presets"; }
while IFS='|' read -r key name rest; do
    grep -qxF "PRESET|LV2|$name|false" "$work/list.log" || fail "Ardour does not list the LV2 preset $name as a factory preset"
    grep -qxF "PRESET|VST3|$name|true" "$work/list.log" || fail "Ardour does not list the VST 3 preset file $name"
done <"$work/table"
[ "$(grep -c '^PRESET|' "$work/list.log")" = "$((2 * $(wc -l <"$work/table")))" ] || fail "Ardour lists other presets too"
echo "Ardour lists the $(wc -l <"$work/table") presets: LV2 as factory presets, VST 3 files from ~/.vst3/presets"

# runLua SCRIPT LOG: Ardour's Lua session tool, inside a private mount of the
# shared preset folder when $shared is set.
shared=
runLua() {
    if [ -n "$shared" ]; then
        unshare --mount --propagation private sh -c 'mount --bind "$1" /usr/local/share && exec timeout 120 "$2" "$3"' \
            sh "$work/share" "$lua" "$1" >"$2" 2>&1
    else
        timeout 120 "$lua" "$1" >"$2" 2>&1
    fi
}

# session DIR TYPE PRESET [VALUES...]: the plug-in after the source, with
# the preset loaded, or with its six values set by hand (Ardour's LV2 and
# VST 3 controls both hold the sliders' units).
session() {
    dir=$1 type=$2 preset=$3
    shift 3
    {
        echo 'AudioEngine:set_backend("None (Dummy)", "", "")'
        echo "create_session(\"$work/$dir\", \"s\", 48000)"
        echo 'for _ in ARDOUR.LuaAPI.list_plugins():iter() do end'
        echo 'local track = Session:new_audio_track(2, 2, nil, 1, "t", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()'
        echo 'local source = ARDOUR.LuaAPI.new_luaproc(Session, "Tonarvo Test Source")'
        echo 'assert(track:add_processor_by_index(source, 0, nil, true) == 0)'
        echo "local p = ARDOUR.LuaAPI.new_plugin(Session, \"MARVOLTIC - Tonarvo - 20241108\", ARDOUR.PluginType.$type, \"\")"
        echo 'assert(not p:isnil(), "no plug-in")'
        echo 'assert(track:add_processor_by_index(p, 1, nil, true) == 0, "not inserted")'
        if [ "$#" = 0 ]; then
            echo 'local plugin = p:to_insert():plugin(0)'
            echo "local record = plugin:preset_by_label(\"$preset\")"
            echo "assert(record and record.valid, \"no preset $preset\")"
            echo 'assert(plugin:load_preset(record), "the preset did not load")'
        else
            i=0
            for v in "$@"; do
                echo "ARDOUR.LuaAPI.set_processor_param(p, $i, $v)"
                i=$((i + 1))
            done
        fi
        echo 'Session:save_state("", false, false, false, false, false)'
        echo 'close_session()'
    } >"$work/$dir.lua"
    runLua "$work/$dir.lua" "$work/$dir.log" || { cat "$work/$dir.log"; fail "making the $dir session"; }
    # 2 s at 48 kHz, in Ardour's time units (282240000 a second).
    sed -i 's#  <Locations/>#  <Locations><Location id="99999" name="session" start="a0" end="a564480000" flags="IsSessionRange" locked="0" timestamp="0" cue="0"/></Locations>#' \
        "$work/$dir/s.ardour"
    exportSession "$work/$dir" "$work/$dir.wav" ||
        { cat "$work/export.log"; fail "exporting the $dir session"; }
}
same() { sameExports "$1" "$2" || fail "$3"; }

# The table's row for a key: the preset's name and its six values.
row() {
    line=$(grep "^$1|" "$work/table") || fail "no preset $1 in the table"
    name=$(echo "$line" | cut -d'|' -f2)
    values=$(echo "$line" | cut -d'|' -f3- | tr '|' ' ')
}

# Heavy Hand and Hot Cut: values far from the defaults in every control.
for key in heavy-hand hot-cut; do
    row "$key"
    # shellcheck disable=SC2086 # the six values as arguments
    session "lv2-hand" LV2 "$name" $values
    session "lv2-preset" LV2 "$name"
    same lv2-preset lv2-hand "the LV2 session with $name loaded renders other samples than its values set by hand"
    # shellcheck disable=SC2086
    session "vst3-hand" VST3 "$name" $values
    session "vst3-preset" VST3 "$name"
    same vst3-preset vst3-hand "the VST 3 session with $name loaded renders other samples than its values set by hand"
    same vst3-preset lv2-preset "the VST 3 and LV2 sessions with $name loaded render other samples"
    rm -rf "$work/lv2-hand" "$work/lv2-preset" "$work/vst3-hand" "$work/vst3-preset"
    echo "$name: loaded in Ardour, LV2 and VST 3 render what its values set by hand render"
done

# The shared folder, in a private mount over /usr/local/share where one can
# be made: Ardour finds each file there by its label, and a loaded one
# renders as its values set by hand.
if unshare --mount --propagation private true 2>/dev/null; then
    rm -rf "$HOME/.vst3/presets"
    shared=1
    row worn-stylus
    # shellcheck disable=SC2086
    session "vst3-hand" VST3 "$name" $values
    session "vst3-preset" VST3 "$name"
    same vst3-preset vst3-hand "the VST 3 session with $name loaded from the shared folder renders other samples"
    {
        echo 'AudioEngine:set_backend("None (Dummy)", "", "")'
        echo "create_session(\"$work/found\", \"s\", 48000)"
        echo 'for _ in ARDOUR.LuaAPI.list_plugins():iter() do end'
        echo 'local p = ARDOUR.LuaAPI.new_plugin(Session, "MARVOLTIC - Tonarvo - 20241108", ARDOUR.PluginType.VST3, "")'
        echo 'local plugin = p:to_insert():plugin(0)'
        cut -d'|' -f2 "$work/table" | while IFS= read -r label; do
            echo "local r = plugin:preset_by_label(\"$label\"); print(\"FOUND|\" .. tostring(r and r.valid and not r.user))"
        done
        echo 'close_session()'
    } >"$work/found.lua"
    runLua "$work/found.lua" "$work/found.log" || { cat "$work/found.log"; fail "looking up the shared presets"; }
    [ "$(grep -c '^FOUND|true$' "$work/found.log")" = "$(wc -l <"$work/table")" ] ||
        { cat "$work/found.log"; fail "Ardour does not find every preset in /usr/local/share/vst3/presets as a factory preset"; }
    echo "the shared folder: every preset found by its label as a factory preset; $name loaded renders as by hand"
else
    echo "the shared folder: no private mount can be made here, not tried"
fi
