#!/bin/sh
# fernrender with too little memory for its image: exit 1 with a message
# instead of an abort, the earlier output untouched and nothing left beside it.
fernrender=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "$*"; exit 1; }

"$fernrender" --quiet --size 32x24 "$dir/keep.ppm" || fail "no first image"
before=$(cksum < "$dir/keep.ppm")
# Address-space limits (KiB) too small for the image: whole-image formats
# (which once ended in an abort) and a streamed row too wide for its buffers.
for case in "150000 --size 8000x6000 --true-color keep.tga" "150000 --size 8000x6000 keep.gif" \
            "150000 --size 200000000x2 keep.ppm"; do
  # shellcheck disable=SC2086
  set -- $case
  limit=$1
  shift
  out=$( (ulimit -v "$limit" && cd "$dir" && exec "$fernrender" --quiet "$@") 2>&1)
  status=$?
  # Sanitizers reserve more address space than the limit allows.
  case "$out" in *Sanitizer* | *Shadow* | *"ulimit -v"*) exit 77 ;; esac
  [ $status -eq 1 ] || fail "$case: exit $status: $out"
  [ -n "$out" ] || fail "$case: no message"
done
[ "$(cksum < "$dir/keep.ppm")" = "$before" ] || fail "the earlier image changed"
[ "$(ls -A "$dir")" = "keep.ppm" ] || fail "left behind: $(ls -A "$dir")"
