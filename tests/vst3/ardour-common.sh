# What the headless Ardour 7 tests share, sourced by them: Ardour's programs
# (or a skip), a scratch folder with a home of its own, fail, and the Lua
# test source whose signal is a function of the transport position alone.
# Sets lua, exporter, scanners, build (from $1), work and HOME.
lua=$(command -v ardour7-lua)
exporter=$(command -v ardour7-export)
scanners=/usr/lib/ardour7
if [ -z "$lua" ] || [ -z "$exporter" ] || [ ! -x "$scanners/ardour-vst3-scanner" ]; then
    echo "SKIPPED: ardour7-lua, ardour7-export or Ardour's scanners not found (scripts/setup.sh installs ardour)"
    exit 0
fi
# Absolute: Ardour finds the scanners' cache entries by the plug-ins' paths.
build=$(cd "$1" && pwd) || exit 1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# exportSession DIR WAV: 2 s of the session, tried again (three tries in all)
# when Ardour's exporter dies of a signal or hangs. Its engine thread races
# the session's teardown at the end of an export: about one export in 30
# aborts on a corrupted heap in the export channels' destructors while the
# processor is busy, whatever the plug-in; valgrind finds no bad access in
# it, and helgrind's 1,451 races in one export name no frame of ours.
exportSession() {
    for attempt in 1 2 3; do
        timeout 120 "$exporter" -b float -o "$2" "$1" s >"$work/export.log" 2>&1
        status=$?
        [ "$status" = 0 ] && return 0
        [ "$status" -gt 128 ] || [ "$status" = 124 ] || return 1
        echo "note: Ardour's exporter ended with status $status (try $attempt)"
    done
    return 1
}
# samples WAV: everything from the data chunk on (the headers carry times).
samples() { tail -c +"$(grep -abo data "$1" | head -1 | cut -d: -f1)" "$1"; }
# sameExports A B: the exports $work/A.wav and $work/B.wav of the sessions
# $work/A and $work/B hold the same samples, 2 s at least. A pair that
# differs is exported once more and compared again: in about a hundred
# exports on a busy machine Ardour once rendered a session otherwise than
# the time before, which the next pair did not repeat (it also renders a
# session without its plug-in, silently, when its plug-in cache is stale).
sameExports() {
    for pass in 1 2; do
        if [ "$(samples "$work/$1.wav" | wc -c)" -gt 768000 ]; then
            samples "$work/$2.wav" >"$work/$2.samples"
            samples "$work/$1.wav" | cmp -s - "$work/$2.samples" && return 0
        fi
        [ "$pass" = 2 ] && return 1
        echo "note: the $1 and $2 sessions exported other samples; both exported again"
        exportSession "$work/$1" "$work/$1.wav" && exportSession "$work/$2" "$work/$2.wav" || return 1
    done
}
export HOME="$work/home"
mkdir -p "$HOME/.config/ardour7/scripts"
cat >"$HOME/.config/ardour7/scripts/tonarvo_test_source.lua" <<'LUA'
ardour { ["type"] = "dsp", name = "Tonarvo Test Source", category = "Utility", license = "MIT",
         author = "Tonarvo tests", description = [[Noise from the transport position alone.]] }
function dsp_ioconfig () return { { audio_in = 2, audio_out = 2 } } end
function dsp_run (ins, outs, n_samples)
	local rolling, start = Session:transport_rolling (), Session:transport_sample ()
	for c = 1, 2 do
		local a = outs[c]:array ()
		for i = 1, n_samples do
			a[i] = rolling and ((((start + i + 7919 * c) * 1103515245 + 12345) >> 8) % 65536 / 65536.0 - 0.5) / 2 or 0
		end
	end
end
LUA
