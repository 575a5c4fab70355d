#!/bin/sh
# Ardour's VST 3 scanner on the bundle: it must find the class with its ID,
# name and buses. Usage: ardour-scan.sh BUNDLE CLASS-ID NAME
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [ ! -x "$scanner" ]; then
    echo "SKIPPED: $scanner not found (scripts/setup.sh installs ardour)"
    exit 0
fi
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
out=$(HOME="$home" XDG_CACHE_HOME="$home/cache" LD_LIBRARY_PATH=/usr/lib/ardour7 \
      timeout 60 "$scanner" -f -v "$1" 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "FAIL: the scanner exited with $status"; exit 1; }
for expected in "Found Plugin: $3" "uid=\"$2\"" 'n_inputs="2" n_outputs="2"' 'category="Fx|Distortion|Stereo"'; do
    case "$out" in
        *"$expected"*) ;;
        *) echo "FAIL: the scanner did not report $expected"; exit 1 ;;
    esac
done
echo "the scanner accepts the bundle"
