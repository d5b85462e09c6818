#!/usr/bin/env bash
# Fitting benchmark: Pagelume's FitPool against Pillow and libvips.
#   bench/fit/run.sh [BUILD_DIR] [-- --rounds N --threads N --pages N]
# Needs the bench tools, which the program and its tests do not:
#   apt-get install python3-pil python3-numpy libvips-tools imagemagick
# The scans (2480 x 3508 JPEG, made once by make_scans.py) are kept in
# BUILD_DIR/fit-scans; the fitted pages go to a temporary folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"
shift || true
[[ "${1:-}" == "--" ]] && shift
py=/usr/bin/python3
[[ -x "$py" ]] || py=python3
for tool in vipsthumbnail compare; do
    command -v "$tool" >/dev/null || {
        echo "Missing $tool: apt-get install python3-pil python3-numpy libvips-tools imagemagick" >&2
        exit 1
    }
done
"$py" -c 'import PIL, numpy' 2>/dev/null || {
    echo "Missing Pillow or NumPy: apt-get install python3-pil python3-numpy" >&2
    exit 1
}
pages=100
args=()
while (($#)); do
    case "$1" in
        --pages) pages="$2"; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_SANITIZE=OFF \
      -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target fit_bench -j2 >/dev/null
scans="$build/fit-scans-$pages"
"$py" "$root/bench/fit/make_scans.py" "$scans" "$pages"
"$py" "$root/bench/fit/run.py" "$build" "$scans" "${args[@]}"
