#!/usr/bin/env bash
# The Slurm job-array script's tasks and its assembling step, run here one
# after another as Slurm would run them: the result is the single render.
set -eu
fr=$(realpath "$1")
script=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
opts=(--size=90x61 --iterations 300 --inside zmag --xmin -1 --xmax 0 --ymin -0.3 --ymax 0.3)
"$fr" --quiet "${opts[@]}" whole.png
mkdir bands
for id in 0 1 2 3 4; do
  SLURM_ARRAY_TASK_ID=$id FERNRENDER=$fr "$script" task 5 bands "${opts[@]}"
done
FERNRENDER=$fr "$script" assemble bands assembled.png
cmp whole.png assembled.png
echo "5 array tasks give the single render"
