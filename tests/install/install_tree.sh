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
for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done
echo "installed programs, desktop entries, icons and manual pages are in order"
