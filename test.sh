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

# GCC 12's sanitizer runtime takes some of glibc's dynamic TLS blocks for blocks with an old glibc
# header and reads their bounds from two words before them; LeakSanitizer's thread tracer then
# crashes at exit ("Tracer caught signal 11") after a test passed, often when the machine is busy.
# Not intercepting __tls_get_addr avoids that; the static TLS of our code is still scanned.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp"

echo "== running the tests"
# ctest runs the unit tests as they are; tests labelled "gl" need an X display, which xvfb-run gives.
# A window that opens takes its display's input focus, so GL tests on one display run one at a
# time. The tests that drive the vcv program with xdotool (Program.*) take most of the time: they
# run on a display of their own, beside the other GL tests on a second one.
status=0
(cd "$build" && ctest --output-on-failure -LE gl -j"$(nproc)") || status=1
gl_tests() {  # log file, first display number to try, ctest arguments
  local log=$1 first=$2
  shift 2
  (cd "$build" && xvfb-run -a -n "$first" -s "-screen 0 1280x1024x24" ctest --output-on-failure -L gl "$@") \
    >"$log" 2>&1
}
if (cd "$build" && ctest -N -L gl | grep -q "Total Tests: [1-9]"); then
  by_program='^Program\.'
  gl_tests "$build/gl-program.log" 100 -R "$by_program" &
  program=$!
  gl_tests "$build/gl-other.log" 200 -E "$by_program" || status=1
  cat "$build/gl-other.log"
  wait "$program" || status=1
  cat "$build/gl-program.log"
fi
if [ $status -ne 0 ]; then
  echo "== FAILED"
  exit 1
fi
echo "== all tests passed"
