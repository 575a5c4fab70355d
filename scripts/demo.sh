#!/usr/bin/env bash
# Main job: build the plug-in and the command-line host, then render the
# bundled demo through the plug-in, with a picture of what it did.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

build=build/default
"$build/vsthost" info "$build/Tonarvo.so"
"$build/vsthost" render "$build/Tonarvo.so" "$build/demo.wav" "$build/demo-tonarvo.wav" \
  --plot "$build/demo-tonarvo.png" "$@"
echo "Rendered: $build/demo-tonarvo.wav"
echo "Plot of input and output (waveforms and spectra): $build/demo-tonarvo.png"
