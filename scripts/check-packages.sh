#!/usr/bin/env bash
# Checks the packages the `package` targets make:
#   cmake --build --preset default --target package   # .deb and .tar.gz
#   cmake --build --preset windows --target package   # .zip
#   bash scripts/check-packages.sh
# The .deb's fields and paths, lintian, the tarball's tree, the version in
# every name and text, the user install target, the Windows end-to-end tests
# against the DLL unpacked from the zip (under Wine), and, as root, the .deb
# installed with apt-get, used, and removed again without a trace. Whatever
# it installs it removes, also when a check fails.
# shellcheck disable=SC2088  # "~/.vst" in messages means the user's folder
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux=$root/build/default
windows=$root/build/windows
started=$SECONDS

fail() {
  echo "check-packages: FAIL: $*" >&2
  exit 1
}
ok() { echo "  ok: $*"; }
skipped() { echo "  SKIPPED: $*"; }
section() { echo "== $* (at $((SECONDS - started)) s)"; }

# Whether dpkg knows tonarvo in any state short of purged.
tonarvoKnown() {
  local state
  state=$(dpkg-query -W -f='${db:Status-Status}' tonarvo 2>/dev/null || true)
  [ -n "$state" ] && [ "$state" != not-installed ]
}

work=$(mktemp -d)
installedByUs=""
packagesBefore=""
cleanup() {
  if [ -n "$installedByUs" ] && tonarvoKnown; then
    echo "check-packages: removing the tonarvo package again" >&2
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tonarvo </dev/null >/dev/null || true
  fi
  if [ -n "$packagesBefore" ]; then
    # Dependencies apt-get pulled in for the package go too.
    local added
    added=$(comm -13 "$packagesBefore" <(dpkg-query -W -f='${binary:Package}\n' | sort))
    if [ -n "$added" ]; then
      # shellcheck disable=SC2086
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added </dev/null >/dev/null || true
    fi
  fi
  WINEPREFIX=$windows/wineprefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

version=$(sed -n 's/^project(Tonarvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in the project() line of CMakeLists.txt"
arch=$(dpkg --print-architecture)
deb=$linux/packages/tonarvo_${version}_${arch}.deb
tgzName=tonarvo-${version}-linux-$(uname -m)
tgz=$linux/packages/$tgzName.tar.gz
zipName=tonarvo-${version}-windows-x64
zip=$windows/packages/$zipName.zip
for package in "$deb" "$tgz" "$zip"; do
  [ -f "$package" ] || fail "$package is missing (built by the presets' package targets, version $version)"
done
echo "Packages of version $version:"
ls -l "$deb" "$tgz" "$zip" | awk '{print "  " $5 "  " $9}'

section "the .deb: control fields"
dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tonarvo ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = sound ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer is '$(field Maintainer)'"
depends=$(field Depends)
for library in libc6 libstdc++6 libcairo2 libsndfile1 libx11-6; do
  tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$library" || fail "Depends lacks $library: $depends"
done
[ "$(field Description | sed -n 2p)" != "" ] || fail "the description has no long text"
ok "Package, Version $version, Architecture $arch, Section sound, Maintainer, computed Depends, Description"

section "the .deb: contents"
dpkg-deb --contents "$deb" >"$work/contents"
# Every entry belongs to root, and no file lies outside the folders below.
awk '$2 != "root/root" {print; bad=1} END {exit bad}' "$work/contents" || fail "entries not owned by root/root"
# The names from the archive itself: preset files have spaces in their names.
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort >"$work/deb-files"
grep -Ev '^\./usr/(bin|lib/vst|lib/vst3|lib/lv2|lib/clap|share/vst3/presets|share/doc/tonarvo|share/man/man1)/' "$work/deb-files" &&
  fail "files outside /usr/bin, /usr/lib/vst, /usr/lib/vst3, /usr/lib/lv2, /usr/lib/clap, /usr/share/vst3/presets, /usr/share/doc/tonarvo and the manual pages"
cat >"$work/expected" <<EOF
./usr/bin/tonarvo-snapshot
./usr/bin/vsthost
./usr/lib/clap/Tonarvo.clap
./usr/lib/vst/Tonarvo.so
./usr/share/doc/tonarvo/README.md
./usr/share/doc/tonarvo/changelog.gz
./usr/share/doc/tonarvo/copyright
./usr/share/man/man1/tonarvo-snapshot.1.gz
./usr/share/man/man1/vsthost.1.gz
EOF
diff -u "$work/expected" <(grep -Ev '^\./usr/(lib/lv2|lib/vst3|share/vst3/presets)/' "$work/deb-files") ||
  fail "the .deb's files differ from the list above"
grep -q '^\./usr/lib/lv2/Tonarvo\.lv2/manifest\.ttl$' "$work/deb-files" || fail "no Tonarvo.lv2/manifest.ttl in /usr/lib/lv2"
grep '^\./usr/lib/lv2/' "$work/deb-files" | grep -v '^\./usr/lib/lv2/Tonarvo\.lv2/' &&
  fail "files in /usr/lib/lv2 outside the Tonarvo.lv2 bundle"
ok "the LV2 bundle /usr/lib/lv2/Tonarvo.lv2"
printf '%s\n' ./usr/lib/vst3/Tonarvo.vst3/Contents/Resources/moduleinfo.json \
  "./usr/lib/vst3/Tonarvo.vst3/Contents/$(uname -m)-linux/Tonarvo.so" |
  diff -u - <(grep '^\./usr/lib/vst3/' "$work/deb-files") || fail "the VST 3 bundle's files differ from the list above"
ok "the VST 3 bundle /usr/lib/vst3/Tonarvo.vst3"
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
# The VST 3 factory presets: the build's files, where hosts look.
presets="share/vst3/presets/MARVOLTIC/MARVOLTIC - Tonarvo - 20241108"
diff -r "$linux/vst3-presets" "$work/deb/usr/share/vst3/presets" || fail "/usr/share/vst3/presets is not the build's preset files"
count=$(find "$work/deb/usr/$presets" -name '*.vstpreset' | wc -l)
[ "$count" -ge 8 ] || fail "only $count .vstpreset files in /usr/$presets"
ok "$count VST 3 presets in /usr/$presets"
while IFS= read -r path; do
  description=$(file -b "$work/deb/$path")
  if [[ "$description" == ELF* && "$description" != *", stripped"* ]]; then
    fail "$path is not stripped: $description"
  fi
done <"$work/deb-files"
ok "$(wc -l <"$work/deb-files") files where hosts and users look, the binaries stripped"

section "the .deb: lintian"
lintianStarted=$SECONDS
# Errors fail, and so does any warning not named here. The one expected:
# CPack's DEB generator gives a package with a shared object in a folder of
# /usr/lib a postinst and postrm that run ldconfig. The plug-in is not in the
# linker's path, so the call finds nothing to do; Debian would use a trigger.
expectedWarnings='maintscript-calls-ldconfig'
lintian --fail-on error --display-info "$deb" 2>&1 | { grep -v 'running with root privileges' || true; } | tee "$work/lintian" ||
  fail "lintian finds errors (above)"
unexpected=$(grep '^W: ' "$work/lintian" | grep -Ev "^W: tonarvo: ($expectedWarnings) " || true)
[ -z "$unexpected" ] || fail "lintian warnings that are not expected: $unexpected"
lintianSeconds=$((SECONDS - lintianStarted))
ok "lintian: no errors, no warnings but the expected ($expectedWarnings), ${lintianSeconds} s"

section "the tarball: the same tree as the .deb"
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
[ "$(ls "$work/tgz")" = "$tgzName" ] || fail "the tarball's top folder is not $tgzName: $(ls "$work/tgz")"
diff -r "$work/deb/usr" "$work/tgz/$tgzName" || fail "the tarball's tree differs from the .deb's /usr"
ok "$tgzName/ holds the .deb's /usr tree, byte for byte"

section "the version in every name and text"
grep -q "^tonarvo ($version) " packaging/changelog || fail "packaging/changelog's first entry is not version $version"
zcat "$work/deb/usr/share/doc/tonarvo/changelog.gz" | cmp -s - packaging/changelog || fail "changelog.gz is not packaging/changelog"
for name in "$(basename "$deb")" "$tgzName.tar.gz" "$zipName.zip"; do
  grep -qF "$name" README.md || fail "README.md does not name $name"
done
stale=$(grep -oE 'tonarvo[_-][0-9]+\.[0-9]+\.[0-9]+' README.md | grep -v "[_-]$version\$" || true)
[ -z "$stale" ] || fail "README.md names other versions: $stale"
ok "$version in the three file names, the control file, the changelog and README.md"

section "install-user: the plug-ins into ~/.vst, ~/.vst3, ~/.lv2 and ~/.clap"
mkdir "$work/home"
HOME=$work/home cmake --build "$linux" --target install-user >"$work/install-user.log" 2>&1 ||
  { cat "$work/install-user.log"; fail "the install-user target failed"; }
cmp -s "$work/home/.vst/Tonarvo.so" "$work/deb/usr/lib/vst/Tonarvo.so" ||
  fail "~/.vst/Tonarvo.so is not the packaged plug-in"
diff -r "$work/home/.lv2/Tonarvo.lv2" "$work/deb/usr/lib/lv2/Tonarvo.lv2" || fail "~/.lv2/Tonarvo.lv2 is not the packaged bundle"
diff -r "$work/home/.vst3/Tonarvo.vst3" "$work/deb/usr/lib/vst3/Tonarvo.vst3" ||
  fail "~/.vst3/Tonarvo.vst3 is not the packaged bundle"
cmp -s "$work/home/.clap/Tonarvo.clap" "$work/deb/usr/lib/clap/Tonarvo.clap" ||
  fail "~/.clap/Tonarvo.clap is not the packaged plug-in"
diff -r "$work/home/.vst3/presets" "$work/deb/usr/share/vst3/presets" || fail "~/.vst3/presets is not the packaged presets"
ok "~/.vst/Tonarvo.so, ~/.vst3/Tonarvo.vst3 and its presets in ~/.vst3/presets, ~/.lv2/Tonarvo.lv2 and ~/.clap/Tonarvo.clap, as packaged"

section "the Windows zip"
unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/zip-files"
printf '%s\n' "$zipName/LICENSE.txt" "$zipName/README.txt" "$zipName/Tonarvo.clap" "$zipName/Tonarvo.dll" \
  "$zipName/Tonarvo.vst3/Contents/Resources/moduleinfo.json" "$zipName/Tonarvo.vst3/Contents/x86_64-win/Tonarvo.vst3" |
  diff -u - <(grep -v "^$zipName/VST3 Presets/" "$work/zip-files") ||
  fail "the zip's files differ from the list above"
unzip -q "$zip" -d "$work/zip"
unpacked=$work/zip/$zipName
# The presets the Windows module wrote are the Linux module's, byte for byte.
diff -r "$unpacked/VST3 Presets" "$work/deb/usr/share/vst3/presets" ||
  fail "the zip's VST3 Presets folder differs from the .deb's /usr/share/vst3/presets"
grep -q 'VST3 Presets' "$unpacked/README.txt" || fail "README.txt does not say where the VST3 Presets go"
for text in README.txt LICENSE.txt; do
  lines=$(wc -l <"$unpacked/$text")
  [ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$unpacked/$text")" = "$lines" ] || fail "$text does not end every line with CRLF"
done
grep -q "Tonarvo $version " "$unpacked/README.txt" || fail "README.txt does not name version $version"
sed 's/$/\r/' LICENSE | cmp -s - "$unpacked/LICENSE.txt" || fail "LICENSE.txt is not LICENSE"
for binary in Tonarvo.dll Tonarvo.clap Tonarvo.vst3/Contents/x86_64-win/Tonarvo.vst3; do
  if x86_64-w64-mingw32-objdump -h "$unpacked/$binary" | grep -q '\.debug'; then
    fail "$binary in the zip is not stripped"
  fi
done
x86_64-w64-mingw32-objdump -p "$unpacked/Tonarvo.clap" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | diff -u <(echo clap_entry) - || fail "Tonarvo.clap exports more or less than clap_entry"
cmp -s "$unpacked/Tonarvo.vst3/Contents/Resources/moduleinfo.json" \
  "$work/deb/usr/lib/vst3/Tonarvo.vst3/Contents/Resources/moduleinfo.json" ||
  fail "the zip's moduleinfo.json differs from the .deb's"
ok "Tonarvo.dll, Tonarvo.clap (exporting clap_entry alone) and the Tonarvo.vst3 folder (the .deb's moduleinfo.json), stripped; README.txt and LICENSE.txt with CRLF line ends"

section "the Windows end-to-end tests against the DLL from the zip (Wine)"
# The test programs beside the unpacked DLL: LoadLibrary looks in the
# program's folder first, and the DLL in the build tree is nowhere near.
cp "$windows/tonarvo_windows_tests.exe" "$windows/tonarvo_platform_probe.dll" "$unpacked/"
runWindowsTests() {
  (cd "$unpacked" && WINEDEBUG=-all,+loaddll "$root/tests/windows/wine-run.sh" "$windows/wineprefix" \
    ./tonarvo_windows_tests.exe "$@") >"$work/wine.log" 2>&1 || { cat "$work/wine.log"; fail "Windows tests $*"; }
  grep -aq '^\[  PASSED  \]' "$work/wine.log" || { cat "$work/wine.log"; fail "Windows tests $*: nothing passed"; }
  if grep -aq '^\[  SKIPPED \]' "$work/wine.log"; then
    cat "$work/wine.log"
    fail "Windows tests $*: skipped tests"
  fi
  # Which Tonarvo.dll Wine loaded, from its loader's trace (grep -a: the
  # tests' output may hold bytes that are not text).
  local loaded
  loaded=$(grep -ao 'Loaded L"[^"]*Tonarvo.dll"' "$work/wine.log" | sort -u)
  [ -n "$loaded" ] && ! grep -qv "${zipName}\\\\\\\\Tonarvo.dll\"\$" <<<"$loaded" ||
    fail "Windows tests $*: loaded another Tonarvo.dll: $loaded"
  ok "$(grep -ao '^\[  PASSED  \] [0-9]* tests\?' "$work/wine.log" | sed 's/.*\] //') passed ($*), with the zip's Tonarvo.dll"
}
# The loader tests need a process in which nothing else has the DLL loaded.
runWindowsTests --gtest_filter=-WindowsLoader.*
runWindowsTests --gtest_filter=WindowsLoader.*

section "the .deb installed with apt-get, used, and removed"
if [ "$(id -u)" -ne 0 ]; then
  [ -z "${CI:-}" ] || fail "CI runs as root, but this is not root"
  skipped "installing the .deb needs root (run this script as root to check it)"
else
  tonarvoKnown &&
    fail "tonarvo is installed already; remove it first (this check leaves the machine as it found it)"
  # Paths the package would create, and none of its files may exist yet.
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\.||; s|/$||' | grep -v '^$' >"$work/paths"
  : >"$work/new-paths"
  while IFS= read -r path; do
    if [ -e "$path" ]; then
      grep -qxF ".$path" "$work/deb-files" && fail "$path exists already; the package would replace it"
    else
      echo "$path" >>"$work/new-paths"
    fi
  done <"$work/paths"
  packagesBefore=$work/packages-before
  dpkg-query -W -f='${binary:Package}\n' | sort >"$packagesBefore"

  installedByUs=yes
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" </dev/null \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install $deb"; }
  dpkg -L tonarvo | sort >"$work/owned"
  sed 's|^\.||' "$work/deb-files" | while IFS= read -r file; do
    grep -qxF "$file" "$work/owned" || fail "dpkg -L tonarvo lacks $file"
  done
  ok "installed; dpkg -L tonarvo lists $(wc -l <"$work/deb-files") files"

  /usr/bin/vsthost info /usr/lib/vst/Tonarvo.so >"$work/info"
  grep -E '^(Effect name|Vendor|Product|Vendor version|Unique ID):' "$work/info"
  grep -q '^Effect name: *MARVOLTIC - Tonarvo - 20241108$' "$work/info" || fail "vsthost info: wrong effect name"
  grep -q '^Vendor version: *1000$' "$work/info" || fail "vsthost info: vendor version is not 1000"
  grep -q '^Unique ID: *6248 ' "$work/info" || fail "vsthost info: unique ID is not 6248"
  ok "vsthost info /usr/lib/vst/Tonarvo.so shows the plug-in's identity"
  /usr/bin/tonarvo-snapshot "$work/snapshot.png" >/dev/null || fail "tonarvo-snapshot"
  file -b "$work/snapshot.png" | grep -q '^PNG image data, 681 x 371' || fail "tonarvo-snapshot: $(file -b "$work/snapshot.png")"
  ok "tonarvo-snapshot draws the interface"
  command -v lv2ls >/dev/null || fail "lv2ls is missing (Debian package lilv-utils)"
  # Only the system folder, so a bundle in ~/.lv2 cannot stand in for it.
  LV2_PATH=/usr/lib/lv2 lv2ls | grep -qx 'urn:tonarvo:tonarvo' || fail "lv2ls does not list urn:tonarvo:tonarvo"
  ok "lv2ls lists urn:tonarvo:tonarvo"
  scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
  if [ -x "$scanner" ]; then
    echo "CLAP:/usr/lib/clap/Tonarvo.clap" | "$scanner" >"$work/clap-scan" 2>&1 || true
    grep -q '^CLAP|MARVOLTIC - Tonarvo - 20241108|2:2|0:0|7:0|GUI' "$work/clap-scan" ||
      { cat "$work/clap-scan"; fail "Qtractor's scanner does not list /usr/lib/clap/Tonarvo.clap"; }
    ok "Qtractor's scanner lists /usr/lib/clap/Tonarvo.clap (2:2, 7 parameters, GUI)"
  else
    skipped "Qtractor's scanner is not installed (scripts/setup.sh installs qtractor)"
  fi
  if [ -x /usr/lib/ardour7/ardour-vst3-scanner ]; then
    tests/vst3/ardour-scan.sh /usr/lib/vst3/Tonarvo.vst3 60950277BFA647B890278E157E1FEF98 \
      "MARVOLTIC - Tonarvo - 20241108" >"$work/scan.log" 2>&1 || { cat "$work/scan.log"; fail "Ardour's VST 3 scanner"; }
    ok "Ardour's VST 3 scanner accepts /usr/lib/vst3/Tonarvo.vst3"
  else
    skipped "Ardour's VST 3 scanner is not installed (Debian package ardour)"
  fi

  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tonarvo </dev/null >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get purge tonarvo"; }
  installedByUs=""
  ! tonarvoKnown || fail "dpkg still knows tonarvo after the purge"
  added=$(comm -13 "$packagesBefore" <(dpkg-query -W -f='${binary:Package}\n' | sort))
  if [ -n "$added" ]; then
    echo "  removing what apt-get installed with it: $added"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added </dev/null >/dev/null || fail "apt-get purge $added"
  fi
  dpkg-query -W -f='${binary:Package}\n' | sort | cmp -s - "$packagesBefore" || fail "the installed packages changed"
  packagesBefore=""
  while IFS= read -r path; do
    [ ! -e "$path" ] || fail "$path is left after the package was removed"
  done <"$work/new-paths"
  ok "removed: the $(wc -l <"$work/new-paths") files and folders it made are gone, the same packages as before"
fi

echo "check-packages: every check passed in $((SECONDS - started)) s (lintian ${lintianSeconds} s)"
