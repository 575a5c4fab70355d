#!/usr/bin/env bash
# Runs a Windows program under Wine on the X display in DISPLAY (a virtual
# one from xvfb-run), in a prefix used by nothing else:
#   wine-x11-run.sh PREFIX PROGRAM.exe [ARGS...]
# A prefix's desktop process keeps the display it started on, so the headless
# tests cannot share this one. Its Wine processes end with the program: the
# display goes away with xvfb-run.
set -uo pipefail
prefix=$1
TONARVO_WINE_KEEP_DISPLAY=1 "$(cd "$(dirname "$0")" && pwd)/wine-run.sh" "$@"
status=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null
exit $status
