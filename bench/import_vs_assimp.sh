#!/usr/bin/env bash
# Wall time and peak memory of our import against assimp's raw import of the same COLLADA 1.4
# document (1 M quads in 16 geometries): bench/import_vs_assimp.sh [FILE.dae]
# Needs the Release build: cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVCV_TESTS=OFF
set -euo pipefail
cd "$(dirname "$0")/.."
file=${1:-/tmp/vcv_bench_v14_1m.dae}
if [ ! -f "$file" ]; then
  python3 ../shared/bench/gen_dae.py --v14 --quads 1000000 --geoms 16 --out "$file"
fi
if ! command -v assimp >/dev/null; then
  sudo -n apt-get install -y assimp-utils >/dev/null 2>&1 || apt-get install -y assimp-utils >/dev/null
fi
bench=build/release/bench/import_bench
[ -x "$bench" ] || { echo "build $bench first (Release build in build/release)" >&2; exit 1; }

# Runs a command under /usr/bin/time -v, its output into $out; prints "seconds kilobytes".
out=$(mktemp)
trap 'rm -f "$out"' EXIT
measure() {
  local log
  log=$(mktemp)
  /usr/bin/time -v "$@" >"$out" 2>"$log" || { cat "$log" >&2; rm -f "$log"; return 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f %d\n", s, kb }' "$log"
  rm -f "$log"
}

echo "file: $file ($(du -h "$file" | cut -f1))"
printf '%-30s %8s %16s %8s\n' program "wall s" "one import s" "peak MB"
# import_bench imports three times in one process (each replacing the last tree) and prints the
# time of each; assimp imports once and says how long that took.
measure "$bench" "$file" >"$out.m"
read -r s kb <"$out.m"
first=$(awk '/^import / { sub(/ ms,.*/, ""); print $NF / 1000; exit }' "$out")
printf '%-30s %8s %16s %8.0f\n' "vcv import_bench (3 imports)" "$s" "$first" "$(echo "$kb / 1024" | bc -l)"
measure assimp info "$file" -r >"$out.m"
read -r s kb <"$out.m"
first=$(awk '/import took approx/ { print $(NF - 1); exit }' "$out")
printf '%-30s %8s %16s %8.0f\n' "assimp info -r" "$s" "$first" "$(echo "$kb / 1024" | bc -l)"
rm -f "$out.m"
