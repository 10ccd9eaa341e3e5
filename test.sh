#!/usr/bin/env bash
# Installs what is missing, builds a Debug build with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test in it: unit tests directly, tests that need a display under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"

echo "== installing missing packages"
scripts/install-deps

echo "== checking layers"
scripts/check-layers

build=build/test
echo "== configuring $build (Debug, ASan + UBSan)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVCV_SANITIZE=ON -DVCV_BENCH=ON >/dev/null
echo "== building"
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp"

echo "== running the tests"
# ctest runs the unit tests as they are; tests labelled "gl" need an X display, which xvfb-run gives.
status=0
(cd "$build" && ctest --output-on-failure -LE gl -j"$(nproc)") || status=1
if (cd "$build" && ctest -N -L gl | grep -q "Total Tests: [1-9]"); then
  (cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -L gl) || status=1
fi
if [ $status -ne 0 ]; then
  echo "== FAILED"
  exit 1
fi
echo "== all tests passed"
