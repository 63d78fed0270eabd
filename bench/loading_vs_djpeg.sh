#!/usr/bin/env bash
# Opening a 6000x4000 JPEG (100 percent and fit) and PNG into the surface,
# beside djpeg (libjpeg-turbo's own tool) decoding the same JPEG in full and
# at 1/4 scale: the floor for the JPEG figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench="$root/build/release/bench/bench_loading"
[ -x "$bench" ] || { echo "build the release preset first" >&2; exit 1; }
export LUMARA_BENCH_DIR=$(mktemp -d)
trap 'rm -rf "$LUMARA_BENCH_DIR"' EXIT

"$bench" --benchmark_format=console 2>/dev/null | grep -E 'BM_|Benchmark'
jpg="$LUMARA_BENCH_DIR/lumara-bench-photo.jpg"
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
for scale in 1/1 1/4; do
  t=$(for _ in 1 2 3 4 5; do
        s=$(date +%s%N); djpeg -scale "$scale" -bmp -outfile /dev/null "$jpg"; e=$(date +%s%N)
        echo $(( (e - s) / 1000000 ))
      done | median)
  echo "djpeg -scale $scale: ${t} ms (median of 5)"
done
