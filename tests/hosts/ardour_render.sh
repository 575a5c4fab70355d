#!/usr/bin/env bash
# Ardour renders the same audio through the VST 3 bundle as through the VST 2.4
# library: a headless session (ardour_render.lua) exports the difference of
# the two faces, which must be silence to the bit, and the VST 2.4 face alone,
# which must not be. Usage: ardour_render.sh BUILD_DIR VST3_CLASS_ID
set -euo pipefail
build=$1 cid=$2
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v ardour7-lua >/dev/null || [ ! -x /usr/lib/ardour7/ardour-vst3-scanner ]; then
  echo "SKIPPED: Ardour 7 is not installed (scripts/setup.sh installs ardour)"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
mkdir -p "$work/vst" "$work/vst3" "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CONFIG_HOME/ardour7/export"
cp "$build/Tonarvo.so" "$work/vst/"
cp -r "$build/Tonarvo.vst3" "$work/vst3/"
cp "$here/ardour_signal.lua" "$here/ardour_invert.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
cp "$here/ardour_export.preset" "$XDG_CONFIG_HOME/ardour7/export/tonarvo-float.preset"

# Sessions find plug-ins only through the scanners' caches, and take a cache
# only when it is newer than the plug-in (the VST 3 scanner dates it the same).
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner "$work/vst/Tonarvo.so" >/dev/null
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner "$work/vst3/Tonarvo.vst3" >/dev/null
sleep 1
find "$XDG_CACHE_HOME" -type f -exec touch {} +

# ardour7-lua itself now and then dies of heap corruption while closing, with
# or without our plug-ins: what counts is the exported audio.
for attempt in 1 2 3; do
  rm -rf "$work/session" "$work/export"
  mkdir -p "$work/export"
  (TONARVO_SESSION_DIR=$work/session TONARVO_EXPORT_DIR=$work/export TONARVO_VST3_CID=$cid \
    LXVST_PATH=$work/vst VST3_PATH=$work/vst3 \
    timeout 300 ardour7-lua "$here/ardour_render.lua" >"$work/log" 2>&1) 2>/dev/null || true
  [ -f "$work/export/difference.wav" ] && [ -f "$work/export/vst2.wav" ] && break
done
if [ ! -f "$work/export/vst2.wav" ]; then
  grep -v WARNING "$work/log" | tail -20
  echo "FAILED: the session exported nothing"
  exit 1
fi

python3 - "$work/export/difference.wav" "$work/export/vst2.wav" <<'PY'
import array, struct, sys

def samples(path):
    data = open(path, 'rb').read()
    at = 12
    while at < len(data):
        tag, size = data[at:at + 4], struct.unpack('<I', data[at + 4:at + 8])[0]
        if tag == b'data':
            return array.array('f', data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    sys.exit(f'{path}: no audio')

difference, alone = samples(sys.argv[1]), samples(sys.argv[2])
different = sum(1 for x in difference if x != 0)
peak = max(abs(x) for x in alone)
print(f'{len(alone) // 2} frames; VST 2.4 alone peaks at {peak:.4f}; {different} samples differ')
if len(alone) < 96000 or peak < 0.1 or len(difference) != len(alone) or different:
    sys.exit('FAILED: the VST 3 face rendered other audio than the VST 2.4 face')
PY
