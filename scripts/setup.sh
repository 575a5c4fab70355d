#!/usr/bin/env bash
# Installs the Debian 12 packages one command needs, as scripts/packages.txt
# lists them:
#   bash scripts/setup.sh build   the plug-ins, vsthost and the demo (scripts/demo.sh)
#   bash scripts/setup.sh test    everything scripts/test.sh runs (also with no argument)
set -euo pipefail

purpose=${1:-test}
case "$purpose" in
  build|test) ;;
  *) echo "usage: bash scripts/setup.sh [build|test]" >&2; exit 2 ;;
esac

# The words after "$purpose:" up to the next list, comments left out.
mapfile -t packages < <(awk -v want="$purpose:" '
  { sub(/#.*/, "") }
  { for (i = 1; i <= NF; i++) {
      if ($i ~ /:$/) on = ($i == want)
      else if (on) print $i
  } }' "$(dirname "$0")/packages.txt")
if [ ${#packages[@]} -eq 0 ]; then
  echo "setup.sh: no '$purpose' list in scripts/packages.txt" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# The build list is whole without what its packages only recommend (manual
# pages, make, libgd and its image codecs: 37 packages on a bare Debian 12),
# which saves about a fifth of the install. The test list installs as before.
options=()
[ "$purpose" = build ] && options+=(--no-install-recommends)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
