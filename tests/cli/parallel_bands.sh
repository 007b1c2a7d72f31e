#!/usr/bin/env bash
# The GNU parallel recipe of the README, run locally: 8 bands as 2 jobs at a
# time, assembled, must give the single render's PNG byte for byte.
set -eu
renderer=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Inside points near the edges, so that the periodicity state carried into
# each band matters.
opts=(--size 160x120 --iterations 500 --inside zmag --xmin -1 --xmax 0 --ymin -0.3 --ymax 0.3)
"$renderer" --quiet "${opts[@]}" whole.png

# 120 rows in 8 bands of 15.
parallel --will-cite -j 2 --halt now,fail=1 \
  "$renderer" --quiet "${opts[@]}" --rows '{= $_ *= 15 =}:15' 'band{}.png' ::: 0 1 2 3 4 5 6 7
"$renderer" --quiet --assemble assembled.png band?.png
cmp whole.png assembled.png
echo "8 bands in 2 jobs give the single render"
