#!/usr/bin/env bash
# lumara-cli run over a folder of 200 mixed files with -j 2 against
# ImageMagick's mogrify doing the same conversion (negate, gamma, write PNG).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/release/src/cli/lumara-cli"
[ -x "$cli" ] || { echo "build the release preset first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out-lumara" "$work/out-im"

# 200 inputs of 1200x800: JPEG, PNG, BMP, TIFF, TGA in turn, plus 4 broken files.
convert -size 1200x800 plasma:fractal -seed 7 "$work/base.png"
exts=(jpg png bmp tif tga)
for e in "${exts[@]}"; do convert "$work/base.png" "$work/base.$e"; done
n=0
for i in $(seq 0 39); do
  for e in "${exts[@]}"; do cp "$work/base.$e" "$work/in/f$n.$e"; n=$((n + 1)); done
done
for i in 1 2 3 4; do echo "not an image" > "$work/in/broken$i.png"; done
printf 'NEGATIVE\r\nGAMMA=120,120,120\r\n' > "$work/script.bip"

s=$(date +%s%N)
"$cli" run "$work/script.bip" "$work"/in/* -o "$work/out-lumara" --to png -j 2 || true
e=$(date +%s%N)
lumara_ms=$(( (e - s) / 1000000 ))

s=$(date +%s%N)
# mogrify stops at the first broken file, so it gets only the good ones.
ls "$work"/in/f* | xargs -P 2 -n 50 mogrify -path "$work/out-im" -format png -negate -gamma 1.2
e=$(date +%s%N)
im_ms=$(( (e - s) / 1000000 ))

echo "lumara-cli run -j 2: ${lumara_ms} ms for 204 files (200 good)"
echo "mogrify (2 processes): ${im_ms} ms for the 200 good files"
awk -v a="$lumara_ms" -v b="$im_ms" 'BEGIN { printf "ratio lumara/mogrify: %.2f\n", a / b }'
