#!/usr/bin/env bash
# Renders one image as a Slurm job array, one band per array task, and
# assembles the bands in a job that runs once every band has finished.
#
#   fernrender-bands.sh BANDS OUTPUT.png [fernrender options...]
#
# The options must give the size (--size WxH); the bands and their logs go
# into a new folder beside OUTPUT. FERNRENDER names the program (default:
# fernrender on the PATH of the nodes). Extra sbatch options can be passed
# in SBATCH_OPTIONS (for example "--partition=batch --time=1:00:00").
set -euo pipefail
fernrender=${FERNRENDER:-fernrender}

height_of() {  # the image height from the options
  local size=640x480
  while [ $# -gt 0 ]; do
    case "$1" in
      --size) size=${2:-}; shift ;;
      --size=*) size=${1#--size=} ;;
    esac
    shift
  done
  echo "${size#*[xX]}"
}

mode=submit
case "${1:-}" in task|assemble) mode=$1; shift ;; esac

case "$mode" in
  submit)
    [ $# -ge 2 ] || { echo "usage: $0 BANDS OUTPUT.png [fernrender options...]" >&2; exit 2; }
    bands=$1 output=$2
    shift 2
    work=$(mktemp -d "$(dirname "$output")/$(basename "$output" .png).bands.XXXXXX")
    # shellcheck disable=SC2086
    array=$(sbatch --parsable ${SBATCH_OPTIONS:-} --job-name=fernrender-band --array=0-$((bands - 1)) \
      --output="$work/band-%a.log" "$0" task "$bands" "$work" "$@")
    # shellcheck disable=SC2086
    sbatch --parsable ${SBATCH_OPTIONS:-} --job-name=fernrender-assemble --dependency=afterok:"${array%%;*}" \
      --output="$work/assemble.log" "$0" assemble "$work" "$output"
    ;;
  task)
    bands=$1 work=$2
    shift 2
    height=$(height_of "$@")
    id=${SLURM_ARRAY_TASK_ID:?not run as a Slurm array task}
    rows=$(( (height + bands - 1) / bands ))
    first=$(( id * rows ))
    count=$(( height - first < rows ? height - first : rows ))
    # More bands than rows: this task has none.
    [ "$count" -gt 0 ] || exit 0
    exec "$fernrender" --quiet "$@" --rows "$first:$count" "$work/band-$(printf %06d "$id").png"
    ;;
  assemble)
    work=$1 output=$2
    exec "$fernrender" --quiet --assemble "$output" "$work"/band-*.png
    ;;
esac
