#!/bin/sh
# Times this program's PNG and Deflate TIFF codecs (bench_tiffpng) and
# ImageMagick's convert on the same 6000 x 4000 files in one run.
#
#   bench/tiffpng_vs_imagemagick.sh [build-dir] [repeats]
#
# Both sides are measured in CPU time: bench_tiffpng's Mpx/s are per CPU
# second of its (single) thread; convert's read is timed as
# "convert file null:" and its write as "convert file out" minus that read,
# user plus system time of all its threads.
set -eu

BUILD=${1:-build}
REPEATS=${2:-3}
BENCH="$BUILD/bench/bench_tiffpng"
[ -x "$BENCH" ] || { echo "$BENCH not found (build the bench_tiffpng target)" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert not found" >&2; exit 1; }

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
export LUMARA_BENCH_DIR="$DIR"

echo "== Lumara (bench_tiffpng)"
"$BENCH" --benchmark_repetitions="$REPEATS" --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E '^Benchmark|_mean' || true
ls "$DIR"/tiffpng_6000x4000.png "$DIR"/tiffpng_6000x4000.tif >/dev/null

PNG="$DIR/tiffpng_6000x4000.png"
TIF="$DIR/tiffpng_6000x4000.tif"
MPX=24

# Best CPU time (user + system, all threads) in seconds of a command over
# the repeats; on a busy machine wall time says little.
best() {
    b=""
    i=0
    while [ "$i" -lt "$REPEATS" ]; do
        /usr/bin/time -f "%U %S" -o "$DIR/time.txt" "$@" >/dev/null 2>&1
        t=$(awk '{print $1 + $2}' "$DIR/time.txt")
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
        i=$((i + 1))
    done
    echo "$b"
}

rate() { echo "scale=1; $MPX / $1" | bc -l; }

echo "== ImageMagick ($(convert -version | head -n 1 | cut -d' ' -f2-3), CPU time, best of $REPEATS)"
png_read=$(best convert "$PNG" null:)
png_both=$(best convert "$PNG" -quality 55 "$DIR/im.png")
tif_read=$(best convert "$TIF" null:)
tif_both=$(best convert "$TIF" -compress Zip "$DIR/im.tif")
png_write=$(echo "$png_both - $png_read" | bc -l)
tif_write=$(echo "$tif_both - $tif_read" | bc -l)
printf '%-22s %8.3f s  %6s Mpx/s\n' "PNG read" "$png_read" "$(rate "$png_read")"
printf '%-22s %8.3f s  %6s Mpx/s\n' "PNG write (zlib 5)" "$png_write" "$(rate "$png_write")"
printf '%-22s %8.3f s  %6s Mpx/s\n' "Deflate TIFF read" "$tif_read" "$(rate "$tif_read")"
printf '%-22s %8.3f s  %6s Mpx/s\n' "Deflate TIFF write" "$tif_write" "$(rate "$tif_write")"
