#!/usr/bin/env bash
# Whole-process time of fernrender for workloads (a) and (b), writing .pgm
# and .png, against the in-process computation of the same image
# (bench/row_engine_bench, all threads), each at its best of several runs
# since other work only ever slows a run down; then the peak resident size
# of a 16384x16384 PNG. Usage: scripts/measure-big-images.sh [BUILD_DIR]
set -eu
build=${1:-build}
fr=$(realpath "$build/cli/fernrender")
bench=$(realpath "$build/bench/row_engine_bench")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-7}

level=$("$fr" --version >/dev/null; grep -q avx512f /proc/cpuinfo && echo avx512 || echo avx2)
echo "machine: $(nproc) cores, vector level $level"
"$bench" --benchmark_filter="^(a|b)/$level, $(nproc) threads" --benchmark_repetitions=5 --benchmark_color=false 2>/dev/null |
  sed "s/\x1b\[[0-9;]*m//g" | awk '/_mean|_median|_stddev|_cv/ {next} /threads/ {print}' > "$work/bench.txt"
best_bench() { grep "^$1/" "$work/bench.txt" | awk '{print $(NF-4)}' | sort -g | head -1; }

best_process() {
  local best=
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N); "$fr" --quiet "$@"; t1=$(date +%s%N)
    local ms=$(( (t1 - t0) / 1000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "scale=1; $best / 1000" | bc
}

a=(--size 1600x1200 --iterations 256 --periodicity off)
b=(--size 1600x1200 --iterations 4096 --periodicity off --xmin -0.7454 --xmax -0.7446 --ymin 0.1126 --ymax 0.1132)
printf '%-10s %12s %12s %12s %8s %8s\n' workload "in-process" "process .pgm" "process .png" "pgm x" "png x"
for w in a b; do
  declare -n opts=$w
  inproc=$(best_bench "$w")
  pgm=$(best_process "${opts[@]}" "$work/o.pgm")
  png=$(best_process "${opts[@]}" "$work/o.png")
  printf '%-10s %9s ms %9s ms %9s ms %8.2f %8.2f\n' "($w)" "$inproc" "$pgm" "$png" \
    "$(echo "$pgm / $inproc" | bc -l)" "$(echo "$png / $inproc" | bc -l)"
done

/usr/bin/time -v "$fr" --quiet --size 16384x16384 "$work/big.png" 2> "$work/time.txt"
echo "16384x16384 .png: $(grep 'Elapsed' "$work/time.txt" | awk '{print $NF}') wall," \
     "peak RSS $(( $(grep 'Maximum resident' "$work/time.txt" | awk '{print $NF}') / 1024 )) MB," \
     "file $(( $(stat -c %s "$work/big.png") / 1024 / 1024 )) MB"
