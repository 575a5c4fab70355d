#!/usr/bin/env bash
# The first command: builds what a user of the plug-in needs (Tonarvo.so,
# Tonarvo.vst3, Tonarvo.clap, Tonarvo.lv2, vsthost and the demo's audio),
# nothing of the tests, then renders the bundled demo through the plug-in,
# with a picture of what it did. Installs only the packages that build needs.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/default
bash scripts/setup.sh build
# Configured once, without the tests (their packages are the test command's).
# A tree already configured, by an earlier run or by scripts/test.sh, is
# built on as it is: configuring again would only cost time.
[ -f "$build/build.ninja" ] || cmake --preset demo >/dev/null
cmake --build --preset demo

"$build/vsthost" info "$build/Tonarvo.so"
"$build/vsthost" render "$build/Tonarvo.so" "$build/demo.wav" "$build/demo-tonarvo.wav" \
  --plot "$build/demo-tonarvo.png" "$@"
echo "Rendered: $build/demo-tonarvo.wav"
echo "Plot of input and output (waveforms and spectra): $build/demo-tonarvo.png"
