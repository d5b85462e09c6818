#!/usr/bin/env bash
# Builds the PNG decoding benchmark without sanitizers and runs it:
#   bench/png/run.sh [BUILD_DIR] [-- png_bench arguments]
# Without arguments png_bench makes its own 4000x3000 RGB and RGBA images.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"
shift || true
[[ "${1:-}" == "--" ]] && shift
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_SANITIZE=OFF \
      -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target png_bench -j2 >/dev/null
"$build/bench/png/png_bench" "$@"
