#!/usr/bin/env bash
# Every case of the golden list rendered in bands: each band's rows must be
# the same rows of the whole image, byte for byte, in .pgm and .png (whose
# pixels are those of the .ppm, see the decoder test), and
# the assembled bands the whole PNG; 24-bit cases take their level-set tables
# from a file written once. Then --from must give the same file again.
set -u
renderer=$1
list=$2
maps=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
cases=0
skipped=0
# The rows of a binary PGM/PPM, without its header.
body() { tail -c +"$(($(head -c 40 "$1" | head -n 3 | wc -c) + 1))" "$1"; }
while IFS=$'\t' read -r name _ _ args; do
  case "$name" in ''|'#'*) continue ;; esac
  if [[ $args == *@MAPS@* && ! -d $maps ]]; then
    skipped=$((skipped + 1))
    continue
  fi
  cases=$((cases + 1))
  args=${args//@MAPS@/$maps}
  height=$(sed -n 's/.*--size \([0-9]*\)x\([0-9]*\).*/\2/p' <<<"$args")
  height=${height:-480}
  # shellcheck disable=SC2086
  "$renderer" --quiet $args "$work/whole.pgm" && "$renderer" --quiet $args "$work/whole.png" || { echo "FAIL $name: the whole render failed"; failed=$((failed + 1)); continue; }
  tables=()
  if [[ " $args " == *" --true-color "* ]]; then
    # shellcheck disable=SC2086
    "$renderer" --quiet $args --level-sets-out "$work/tables" || { echo "FAIL $name: no tables"; failed=$((failed + 1)); continue; }
    tables=(--level-sets-in "$work/tables")
  fi
  # Uneven bands, one of a single row, so that band edges fall everywhere.
  a=$((height / 3)); b=1; c=$((height - a - b))
  : > "$work/bands.pgm"; pngs=()
  first=0; bad=0
  for count in $a $b $c; do
    [ "$count" -gt 0 ] || continue
    for ext in pgm png; do
      # shellcheck disable=SC2086
      "$renderer" --quiet $args --rows "$first:$count" "${tables[@]}" "$work/band$first.$ext" || bad=1
    done
    body "$work/band$first.pgm" >> "$work/bands.pgm"
    pngs+=("$work/band$first.png")
    first=$((first + count))
  done
  "$renderer" --assemble "$work/assembled.png" "${pngs[@]}" || bad=1
  "$renderer" --quiet --from "$work/whole.png" "$work/again.png" || bad=1
  if [ $bad -ne 0 ] || ! cmp -s <(body "$work/whole.pgm") "$work/bands.pgm" ||
     ! cmp -s "$work/whole.png" "$work/assembled.png" ||
     ! cmp -s "$work/whole.png" "$work/again.png"; then
    echo "FAIL $name: bands differ from the whole image"
    failed=$((failed + 1))
  fi
done < "$list"
echo "$cases cases in bands, $failed differ"
[ "$skipped" -eq 0 ] || echo "skipped $skipped cases with real-world palettes: $maps is not there"
[ "$cases" -gt 0 ] && [ "$failed" -eq 0 ]
