#!/usr/bin/env bash
# The user manual's pictures: builds the plug-in and vsthost, measures each
# control of the effect with `vsthost analyze` and writes the charts into
# docs/manual/ (the tables stay in build/default/manual/).
#
#   bash scripts/manual.sh           the pictures docs/manual.md shows
#   bash scripts/manual.sh --quick   every measurement, short and coarse, into
#                                    build/default/manual-quick/ (CI: proves
#                                    the script works; docs/ is left alone)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: bash scripts/manual.sh [--quick]" >&2; exit 2 ;;
esac

build=build/default
[ "$quick" = 1 ] || bash scripts/setup.sh test
cmake --preset default >/dev/null
cmake --build --preset default --target vsthost Tonarvo tonarvo-presets >/dev/null

plugin=$build/Tonarvo.so
if [ "$quick" = 1 ]; then
  work=$build/manual-quick
  pictures=$work/pictures
  # The shortest sweep and a 12 dB staircase: the same code paths in seconds.
  coarse=(--sweep-seconds 1 --thd-step 12)
else
  work=$build/manual
  pictures=docs/manual
  coarse=()
fi
mkdir -p "$pictures"

# measure NAME ARGS...: one analyze run into $work/NAME.
measure() {
  local name=$1
  shift
  echo "== $name"
  "$build/vsthost" analyze "$plugin" --out "$work/$name" --quiet "${coarse[@]}" "$@"
}
# keep NAME CHART PICTURE: copies a chart of a run to the manual's pictures.
keep() {
  cp "$work/$1/$2.png" "$pictures/$3.png"
}

# Cartridge: the filters alone, quietly and with the lightest tracking force,
# so the stylus never runs short of speed.
measure cartridge --only response --level -40 --param "slew=0u" \
  --vary "cartridge=0u,0.5u,1u,1.5u,2u"
keep cartridge response cartridge

# Tone arm: the low-frequency resonance, from 2 Hz.
measure resonance --only response --level -40 --min-frequency 2 \
  --vary "resonance frequency=-24u,-12u,0u,12u,24u"
keep resonance response resonance
measure damping --only response --level -40 --min-frequency 2 --param "resonance frequency=0u" \
  --vary "damping=-24u,-12u,0u,12u,24u"
keep damping response damping

# Tracking force: distortion against level (1 kHz) and against frequency
# (along the sweep at -18 dBFS), and the step's slope.
measure tracking --vary "slew=0u,12u,25.2u,36u,48u"
keep tracking thd tracking-level
keep tracking distortion tracking-frequency
keep tracking step tracking-step

# The trims: level in against level out. The input trim drives the stylus
# (at 1 kHz it runs short of speed from about -3 dBFS), the output trim only
# what leaves it, up to the limit at +6 dBFS.
measure input-trim --only thd --vary "input trim=-12u,0u,12u"
keep input-trim thd input-trim
measure output-trim --only thd --vary "output trim=-12u,0u,12u"
keep output-trim thd output-trim

# The factory presets: each one's response at -18 dBFS, a normal level, so
# the stylus shows where it rounds the top. The values come from the
# presets' table in the code (tonarvo-presets prints it).
"$build/tonarvo-presets" >"$work/presets.txt"
while IFS='|' read -r key name input output cartridge resonance damping slew; do
  measure "preset-$key" --only response --param "input trim=${input}u" --param "output trim=${output}u" \
    --param "cartridge=${cartridge}u" --param "resonance frequency=${resonance}u" --param "damping=${damping}u" \
    --param "slew=${slew}u" </dev/null
  keep "preset-$key" response "preset-$key"
done <"$work/presets.txt"

echo "Pictures in $pictures, tables in $work"
