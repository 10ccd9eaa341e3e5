#!/usr/bin/env bash
# Our programs against the peers people would use instead, on the same generated inputs: whole
# processes, alternating runs, medians of wall time and of peak resident memory.
#   bench/run.sh [RUNS]        (RUNS per program, default 5)
# Builds Release in build/release, makes its inputs in build/bench-inputs (kept for the next run),
# installs the missing peers with apt-get, and prints one table. See bench/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
inputs=$root/build/bench-inputs
rel=$root/build/release

if [ "${VCV_BENCH_PHASE:-}" != measure ]; then
  # --- Setup: peers, Release build, inputs -------------------------------------------------------
  missing=()
  for pair in assimp:assimp-utils f3d:f3d djpeg:libjpeg-turbo-progs cjpeg:libjpeg-turbo-progs \
              xvfb-run:xvfb /usr/bin/time:time; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
  done
  /usr/bin/python3 -c "import Xlib.ext.damage" 2>/dev/null || missing+=(python3-xlib)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
    $sudo apt-get update -qq && $sudo apt-get install -y -qq "${missing[@]}" >/dev/null ||
      echo "   (could not install all of them: their rows stay empty)"
  fi
  echo "== Release build in build/release"
  cmake -S . -B "$rel" -DCMAKE_BUILD_TYPE=Release -DVCV_TESTS=OFF -DVCV_BENCH=ON >/dev/null
  cmake --build "$rel" -j2 >/dev/null
  mkdir -p "$inputs"
  gen=$root/../shared/bench/gen_dae.py
  # The 1.4.1 file has no holed polygons: assimp 5.2 (and so f3d) refuses <ph> with <h> and
  # loads nothing, which f3d does not even report. Both 1.4.1 rows run on that same file.
  for kind in early v14; do
    f=$inputs/$kind.dae
    [ -s "$f" ] && continue
    [ -f "$gen" ] || { echo "missing $gen (the team's shared folder)" >&2; exit 1; }
    echo "== generating $f"
    flags="--holes 256"; [ $kind = v14 ] && flags="--holes 0 --v14"
    python3 "$gen" --quads 1000000 --geoms 16 $flags --out "$f.tmp" >/dev/null && mv "$f.tmp" "$f"
  done
  if [ ! -s "$inputs/photo.jpg" ]; then
    echo "== generating $inputs/photo.jpg (4096 x 4096, 4:2:0, photo-like, cjpeg -quality 90)"
    "$rel/bench/jpeg_bench" --make "$inputs/photo.jpg"
  fi
  # One X server for every windowed run, ours and the peer's alike.
  if [ -z "${DISPLAY:-}" ]; then
    exec env VCV_BENCH_PHASE=measure xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$runs"
  fi
  export VCV_BENCH_PHASE=measure
fi

# --- Measuring -------------------------------------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
mkdir -p "$home"
cp -r "$rel/viewer/data" "$rel/viewer/language" "$home/"
vcv=$rel/viewer/vcv
tool=$rel/tools/vcvtool
results=$work/results   # lines: label wall-seconds peak-kB

# Runs one command (its output discarded), appends "label seconds kB"; a failed run is reported.
measure() {
  local label=$1
  shift
  local t0 t1
  t0=$EPOCHREALTIME
  if /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out" 2>&1; then
    t1=$EPOCHREALTIME
    echo "$label $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(tail -1 "$work/rss")" >>"$results"
  else
    echo "   $label failed: $* (last lines below)" >&2
    tail -3 "$work/out" >&2
  fi
}
have() { command -v "$1" >/dev/null 2>&1; }

# The time from launch to the first frame on screen, as the X server sees it (bench/first_frame.py),
# appended as "label seconds 0".
first_frame() {
  local label=$1
  shift
  if /usr/bin/python3 "$root/bench/first_frame.py" "$@" >"$work/ff" 2>&1; then
    echo "$label $(awk '/^first-frame/ { print $2 }' "$work/ff") 0" >>"$results"
  else
    echo "   $label failed: $* (last lines below)" >&2
    tail -3 "$work/ff" >&2
  fi
}

# A first untimed round puts the inputs and programs in the page cache; f3d's verbose output
# tells whether it loaded the model at all.
echo "== warming up"
"$tool" import-info "$inputs/v14.dae" >/dev/null 2>&1 || true
if have f3d && f3d --verbose --output "$work/f3d.png" --resolution 800,600 "$inputs/v14.dae" 2>&1 |
    grep -qi "failed to load"; then
  echo "   f3d cannot load $inputs/v14.dae: its row would time an empty scene" >&2
fi
"$tool" jpeg2ppm "$inputs/photo.jpg" "$work/ours.ppm" >/dev/null
! have djpeg || djpeg -ppm -outfile "$work/peer.ppm" "$inputs/photo.jpg"

echo "== $runs alternating runs of each (DISPLAY=$DISPLAY)"
for ((i = 1; i <= runs; i++)); do
  measure import.ours "$tool" import-info "$inputs/early.dae"
  ! have assimp || measure import.peer assimp info "$inputs/v14.dae" -r
  measure import14.ours "$tool" import-info "$inputs/v14.dae"
  measure open.ours env VCV_HOME="$home" "$vcv" --frames 3 --screenshot "$work/vcv.png" --size 800x600 "$inputs/v14.dae"
  ! have f3d || measure open.peer f3d --output "$work/f3d.png" --resolution 800,600 "$inputs/v14.dae"
  measure start.ours env VCV_HOME="$home" "$vcv" --frames 1
  measure start.floor "$rel/bench/window_floor"
  first_frame shown.ours env VCV_HOME="$home" "$vcv" --frames 1
  first_frame shown.floor "$rel/bench/window_floor"
  measure jpeg.ours "$tool" jpeg2ppm "$inputs/photo.jpg" "$work/ours.ppm"
  ! have djpeg || measure jpeg.peer djpeg -ppm -outfile "$work/peer.ppm" "$inputs/photo.jpg"
  echo "   run $i of $runs done"
done

# Medians per label, then one table row per piece of work.
awk '
  function median(list, n,   a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { wall[$1] = wall[$1] " " $2; kb[$1] = kb[$1] " " $3; count[$1]++ }
  function row(work, ours, peer, goal,   ws, wp, ms, mp) {
    if (!(ours in count)) { printf "| %s | failed | | | | | %s |\n", work, goal; return }
    ws = median(wall[ours]); ms = median(kb[ours]) / 1024
    if (peer in count) {
      wp = median(wall[peer]); mp = median(kb[peer]) / 1024
      printf "| %s | %.3f s, %.0f MB | %.3f s, %.0f MB | %.2fx | %.2fx | %s |\n", work, ws, ms, wp, mp, ws / wp, ms / mp, goal
    } else {
      if (ms > 0) printf "| %s | %.3f s, %.0f MB | - | - | - | %s |\n", work, ws, ms, goal
      else printf "| %s | %.3f s | - | - | - | %s |\n", work, ws, goal
    }
  }
  END {
    print "| Work | vcv (median) | Peer (median) | Time ratio | Memory ratio | Must reach |"
    print "|---|---|---|---|---|---|"
    row("Import, early profile, 256 holes (`vcvtool import-info`) vs `assimp info -r` on the 1.4.1 file", "import.ours", "import.peer", "<= 1.0x time and memory")
    row("Import, 1.4.1 file (`vcvtool import-info`) vs `assimp info -r`", "import14.ours", "import.peer", "")
    row("Open + 3 frames + screenshot (`vcv --frames 3`) vs `f3d --output`, 800x600, 1.4.1 file", "open.ours", "open.peer", "<= 1.0x")
    row("Start to first frame on screen, no model (`vcv --frames 1`, launch to the first drawing the X server sees)", "shown.ours", "none", "<= 0.10 s")
    row("The same window, cleared once, without the engine (`bench/window_floor`, launch to first frame on screen)", "shown.floor", "none", "")
    row("Start, first frame and orderly exit, no model (`vcv --frames 1`, whole process)", "start.ours", "none", "")
    row("The same window without the engine (`bench/window_floor`, whole process)", "start.floor", "none", "")
    row("JPEG 4096x4096 4:2:0 to PPM (`vcvtool jpeg2ppm`) vs `djpeg -ppm`", "jpeg.ours", "jpeg.peer", "<= 1.2x")
  }' "$results"
echo "(wall time of whole processes and peak resident memory from /usr/bin/time, first frames on screen from bench/first_frame.py; medians of $runs alternating runs)"
