#!/usr/bin/env bash
# Installs into a temporary prefix and runs each installed program.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
bin=$prefix/bin
fail() { echo "FAIL: $*"; exit 1; }

"$bin/fernrender" --help | grep -q -- '--display-bits' || fail "fernrender --help"

# One version number for every program, the one CMake was given.
version=$(sed -n 's/^#define FERNWISE_VERSION "\(.*\)"$/\1/p' "$build/generated/fernwise_version.h")
[ -n "$version" ] || fail "no version in the generated header"
for program in fernwise fernrender fernsweep; do
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$bin/$program" --version) || fail "$program --version failed"
  [ "$got" = "$program $version" ] || fail "$program --version said '$got'"
done

# The palettes, installed and in the build tree alike, where the desktop
# program looks for them from its own folder.
palettes=$(ls "$prefix"/share/fernwise/palettes/*.map | wc -l)
[ "$palettes" -ge 16 ] || fail "$palettes palettes installed"
[ "$(ls "$build"/share/fernwise/palettes/*.map | wc -l)" -eq "$palettes" ] || fail "palettes in the build tree"
"$bin/fernrender" --size 32x24 --map "$prefix/share/fernwise/palettes/ember.map" "$prefix/ember.ppm" ||
  fail "fernrender with an installed palette"
"$bin/fernrender" --size 32x24 --type Newton "$prefix/newton.ppm" || fail "fernrender render"
[ "$(head -c 2 "$prefix/newton.ppm")" = P6 ] || fail "fernrender output"

# The desktop program starts headless with a fresh configuration, plots, and
# quits cleanly when asked to end.
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$prefix/config
(cd "$prefix" && exec "$bin/fernwise") &
pid=$!
# The opening splash holds the program for 3 seconds before the first plot.
sleep 5
kill -0 "$pid" 2>/dev/null || fail "fernwise did not stay up"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "fernwise exit status $status"
[ -s "$prefix/history.txt" ] || fail "fernwise recorded no plot"

# fernsweep shows its confirmation box and waits for the user.
"$bin/fernsweep" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "fernsweep did not start"
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true

for entry in "$prefix"/share/applications/*.desktop; do
  desktop-file-validate "$entry" || fail "desktop entry $entry"
done
ls "$prefix"/share/icons/hicolor/*/apps/fernwise.png >/dev/null || fail "icons"
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" >/dev/null || fail "AppStream metainfo: $(appstreamcli validate --no-net "${metainfo[@]}")"
grep -q "<release version=\"$version\"" "${metainfo[@]}" || fail "the metainfo has no release $version"
[ -f "$prefix/share/bash-completion/completions/fernrender" ] || fail "bash completion"
cmp -s "$prefix/share/doc/fernwise/LICENSE" "$(dirname "$0")/../../LICENSE" || fail "licence"
for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done
echo "installed programs, versions, palettes, desktop entries, metainfo, icons, completion, licence and manual pages are in order"
