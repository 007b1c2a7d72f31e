#!/usr/bin/env bash
# Renders every case of the golden list and compares the checksums of the
# PGM (raw indices) and PPM (shown colours) outputs.
set -u
renderer=$1
list=$2
maps=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
cases=0
skipped=0
while IFS=$'\t' read -r name pgm ppm args; do
  case "$name" in ''|'#'*) continue ;; esac
  # Cases on real-world palettes run only where the shared test data is.
  if [[ $args == *@MAPS@* && ! -d $maps ]]; then
    skipped=$((skipped + 1))
    continue
  fi
  cases=$((cases + 1))
  args=${args//@MAPS@/$maps}
  # shellcheck disable=SC2086
  if ! "$renderer" $args "$work/out.pgm" || ! "$renderer" $args "$work/out.ppm"; then
    echo "FAIL $name: the renderer failed"
    failed=$((failed + 1))
    continue
  fi
  got_pgm=$(sha256sum "$work/out.pgm" | cut -d' ' -f1)
  got_ppm=$(sha256sum "$work/out.ppm" | cut -d' ' -f1)
  if [ "$got_pgm" != "$pgm" ] || [ "$got_ppm" != "$ppm" ]; then
    echo "FAIL $name:$([ "$got_pgm" != "$pgm" ] && echo ' indices differ')$([ "$got_ppm" != "$ppm" ] && echo ' colours differ')"
    failed=$((failed + 1))
  fi
done < "$list"
echo "$cases golden renders, $failed differ"
[ "$skipped" -eq 0 ] || echo "skipped $skipped renders with real-world palettes: $maps is not there"
[ "$cases" -gt 0 ] && [ "$failed" -eq 0 ]
