#!/usr/bin/env bash
# Runs a Windows program under Wine without a display, in a Wine prefix of its
# own that is created on first use:  wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs: nothing here needs .NET or a browser.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Headless unless asked: only the editor window's test has an X server.
if [ -z "${TONARVO_WINE_KEEP_DISPLAY:-}" ]; then
  unset DISPLAY WAYLAND_DISPLAY
fi

# Wine has no Courier New or Arial of its own: its font replacements give
# the interface's faces the metric-compatible Liberation fonts, as fontconfig
# does for the Linux build. Older prefixes get them on their next run.
fonts=$prefix/tonarvo-fonts.stamp
if [ ! -f "$fonts" ]; then
  mkdir -p "$(dirname "$prefix")"
  # Tests start in parallel; only one of them creates the prefix.
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
    if [ ! -f "$fonts" ]; then
      wine regedit /S "$(cd "$(dirname "$0")" && pwd)/wine-fonts.reg" >/dev/null 2>&1
      wineserver -w
      touch "$fonts"
    fi
  ) 9>"$prefix.lock"
fi
# A system DPI for the prefix (the editor tests' 144): programs that are not
# DPI-aware still see 96, and a test can make a window whose DPI differs from
# the system's. Read when Wine starts, so set before it does.
if [ -n "${TONARVO_WINE_LOGPIXELS:-}" ] && [ ! -f "$prefix/tonarvo-dpi-$TONARVO_WINE_LOGPIXELS.stamp" ]; then
  (
    flock 9
    if [ ! -f "$prefix/tonarvo-dpi-$TONARVO_WINE_LOGPIXELS.stamp" ]; then
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$TONARVO_WINE_LOGPIXELS" /f >/dev/null 2>&1
      wineserver -w
      rm -f "$prefix"/tonarvo-dpi-*.stamp
      touch "$prefix/tonarvo-dpi-$TONARVO_WINE_LOGPIXELS.stamp"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
