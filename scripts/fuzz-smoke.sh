#!/usr/bin/env bash
# Runs every fuzz target for a while on its kept corpus, its regression
# files and, for the text readers, the palette test files (and the
# real-world ones of the shared test data where it is there). A crash, a
# failed check or a hang fails the run and leaves the input in the build
# folder, to become a regression file.
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
shared_maps="$here/../shared/testdata/maps"

status=0
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target" _fuzz)
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus" "$build/fuzz-crashes"
  seeds=("$here/fuzz/corpus/$name")
  case "$name" in
    map_reader | notes_loader)
      seeds+=("$here/tests/data/maps")
      if [ -d "$shared_maps" ]; then seeds+=("$shared_maps"); else echo "-- $name: skipped the real-world palettes: $shared_maps is not there"; fi ;;
  esac
  [ -d "$here/fuzz/regressions/$name" ] && seeds+=("$here/fuzz/regressions/$name")
  options=(-max_total_time="$seconds" -timeout=25 -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$name-")
  [ -f "$here/fuzz/$name.dict" ] && options+=(-dict="$here/fuzz/$name.dict")
  echo "== $name: ${seconds}s"
  if ! "$target" "${options[@]}" "$corpus" "${seeds[@]}" 2>"$build/fuzz-$name.log"; then
    echo "!! $name found a failure:"; tail -40 "$build/fuzz-$name.log"; status=1
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss' "$build/fuzz-$name.log" || true
done
exit $status
