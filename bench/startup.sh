#!/usr/bin/env bash
# Time from process start to the first paint of the main window, median of
# several runs, in a real X server (Xvfb). Usage: bench/startup.sh [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
viewer="$root/build/release/src/app/lumara"
runs=${1:-15}
[ -x "$viewer" ] || { echo "build the release preset first" >&2; exit 1; }

if [ "${LUMARA_BENCH_INNER:-}" != 1 ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$tmp/run" && chmod 700 "$tmp/run"
  LUMARA_BENCH_INNER=1 XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp/config" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$runs"
  exit
fi

for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  line=$(LUMARA_EXIT_AFTER_FIRST_PAINT=time "$viewer" 2>/dev/null | grep '^first paint')
  echo $(( (${line##* } - start) / 1000 ))
done | sort -n | awk '{ a[NR] = $1 } END {
  printf "start to first paint: median %.1f ms (min %.1f, max %.1f) over %d runs\n",
         a[int((NR + 1) / 2)] / 1000, a[1] / 1000, a[NR] / 1000, NR }'
