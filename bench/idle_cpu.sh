#!/usr/bin/env bash
# CPU that an idle viewer takes: starts vcv on a model (the bundled sample by default), lets it settle,
# then reads its CPU time over a window in which nobody touches it.
#   bench/idle_cpu.sh [VCV] [MODEL.dae] [SECONDS]
# Without a display it runs under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
vcv="${1:-build/release/viewer/vcv}"
model="${2:-$PWD/assets/sample/sample.dae}"
seconds="${3:-5}"
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$vcv" "$model" "$seconds"; fi
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
VCV_HOME="$home" "$vcv" "$model" >/dev/null 2>&1 &
pid=$!
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
kill "$pid"
wait "$pid" 2>/dev/null || true
hz=$(getconf CLK_TCK)
echo "idle vcv on $(basename "$model"): $(( (after - before) * 100 / (hz * seconds) ))% of one core over ${seconds} s"
