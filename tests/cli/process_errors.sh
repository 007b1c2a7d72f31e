#!/usr/bin/env bash
# What only a whole process shows: a full standard output, a memory limit,
# and bands that do not fit together.
set -u
fr=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0
check() {  # check WHAT EXPECTED_STATUS EXPECTED_MESSAGE_PART command...
  local what=$1 status=$2 part=$3
  shift 3
  "$@" > out.txt 2> err.txt
  local got=$?
  if [ "$got" -ne "$status" ] || { [ -n "$part" ] && ! grep -qF -- "$part" err.txt; }; then
    echo "FAIL $what: status $got, message: $(cat err.txt)"
    failed=$((failed + 1))
  fi
}

check "help to a full device" 1 "fernrender: cannot write the standard output: No space left on device" \
  sh -c "'$fr' --help > /dev/full"
check "version to a full device" 1 "No space left on device" sh -c "'$fr' --version > /dev/full"

# Out of memory: the memory message, and the earlier file as it was.
# (A sanitizer's shadow memory does not fit under an address-space limit.)
if command -v prlimit > /dev/null && ! ldd "$fr" 2> /dev/null | grep -q 'lib[at]san'; then
  echo earlier > keep.tga
  check "a whole image beyond the memory" 1 "fernrender: not enough memory to render 8000x6000 (keep.tga)" \
    prlimit --as=250000000 "$fr" --quiet --size 8000x6000 --true-color keep.tga
  [ "$(cat keep.tga)" = earlier ] || { echo "FAIL the earlier keep.tga was changed"; failed=$((failed + 1)); }
  check "rows beyond the memory" 1 "fernrender: not enough memory to render 2000000000x2" \
    prlimit --as=300000000 "$fr" --quiet --size 2000000000x2 --iterations 1 wide.png
  # A streamed image needs the memory of a few rows, not of the whole image.
  check "a streamed image within the memory" 0 "" \
    prlimit --as=400000000 "$fr" --quiet --size 8000x6000 --iterations 20 --display-bits 8 tall.ppm
fi

check "a size for a whole-image format" 2 ".png, .ppm and .pgm take any size" "$fr" --size 40000x100 big.gif
check "a file link to a full device" 1 "fernrender: cannot write full.png: No space left on device" \
  sh -c "ln -s /dev/full full.png && '$fr' --quiet --size 8x8 full.png"

"$fr" --quiet --size 16x10 --rows 0:5 b0.png && "$fr" --quiet --size 16x10 --rows 5:5 b1.png &&
  "$fr" --quiet --size 16x10 --rows 4:6 b2.png && "$fr" --quiet --size 16x10 --iterations 50 --rows 5:5 b3.png ||
  { echo "FAIL bands"; failed=$((failed + 1)); }
check "a missing band" 1 "cannot assemble all.png: rows 5..9 are in no band" "$fr" --assemble all.png b0.png
check "overlapping bands" 1 "its rows overlap those of another band" "$fr" --assemble all.png b0.png b1.png b2.png
check "another image's band" 1 "cannot assemble b3.png: its parameters differ" "$fr" --assemble all.png b0.png b3.png
check "a band past the image" 2 "goes past the image's 10 rows" "$fr" --size 16x10 --rows 5:6 b.png
[ -e all.png ] && { echo "FAIL a refused assembly left a file"; failed=$((failed + 1)); }
check "bands in any order" 0 "" "$fr" --assemble all.png b1.png b0.png
echo "$failed failed"
[ "$failed" -eq 0 ]
