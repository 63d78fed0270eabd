#!/usr/bin/env bash
# libjpeg-turbo's djpeg on the photo of bench_jpeg at full, half and eighth
# size (BMP output to /dev/null), beside our own decoder's figures. Both as
# CPU time (user + system), which a busy machine disturbs less than the
# wall clock: djpeg's best of several runs, our median of three repetitions.
# Usage: bench/jpeg_vs_djpeg.sh [build dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-7}
bench="$build/bench/bench_jpeg"
file=${LUMARA_BENCH_JPEG:-/tmp/lumara_bench_6000x4000.jpg}
export LUMARA_BENCH_JPEG=$file
[ -x "$bench" ] || { echo "build bench_jpeg in $build first" >&2; exit 1; }
command -v djpeg >/dev/null || { echo "djpeg not found" >&2; exit 1; }

ours=$("$bench" --benchmark_filter='BM_Decode/' --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
       awk -F, '/_median"/ { gsub(/"/, "", $1); split($1, n, "/"); print n[2], $4 }')
# (column 4 of the CSV is the CPU time, in ms)

best_cpu_ms() { # command...
  local best= t
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%d", ($1 + $2) * 1000 }')
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

printf "%-6s %12s %12s %11s\n" scale "ours CPU ms" "djpeg CPU ms" "djpeg/ours"
for s in 0 1 3; do
  case $s in 0) frac=1/1 ;; 1) frac=1/2 ;; 3) frac=1/8 ;; esac
  d=$(best_cpu_ms djpeg -scale "$frac" -bmp -outfile /dev/null "$file")
  o=$(echo "$ours" | awk -v s="$s" '$1 == s { printf "%.1f", $2 }')
  awk -v f="$frac" -v o="$o" -v d="$d" 'BEGIN { printf "%-6s %12s %12s %11.2f\n", f, o, d, d / o }'
done
