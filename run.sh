#!/usr/bin/env bash
# Installs what is missing, builds vcv and starts it on the bundled sample model (or on the
# arguments given: ./run.sh [options] [model.dae]).
set -euo pipefail
cd "$(dirname "$0")"

echo "== installing missing packages"
scripts/install-deps
build=build/release
echo "== building $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVCV_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

# With no arguments the viewer opens the bundled sample model.
if [ $# -eq 0 ]; then set -- "$PWD/assets/sample/sample.dae"; fi
if [ -n "${DISPLAY:-}" ]; then
  echo "== starting $build/viewer/vcv $*"
  exec "$build/viewer/vcv" "$@"
fi
mkdir -p screenshots
echo "== no display: rendering under Xvfb to screenshots/sample.png"
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/viewer/vcv" --frames 5 --screenshot "$PWD/screenshots/sample.png" "$@"
echo "== wrote screenshots/sample.png"
