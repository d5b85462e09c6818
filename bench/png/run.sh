#!/usr/bin/env bash
# Builds the PNG benchmarks without sanitizers and runs them:
#   bench/png/run.sh [BUILD_DIR] [-- png_bench arguments]
# 1. png_bench: decoding with TPNGObject against libpng, then TPNGObject::Draw
#    with the plain and with the vector row kernels.
# 2. draw_rounds.py: pngdraw against libpng_draw on the same pages (decode,
#    draw over white, write the PPM), whole processes in alternated rounds.
# Without files png_bench makes its own 4000x3000 RGB and RGBA pages, and
# those are drawn; otherwise the files given are. Both take 11 rounds unless
# png_bench is given --rounds N.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"
shift || true
[[ "${1:-}" == "--" ]] && shift
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_SANITIZE=OFF \
      -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target png_bench pngdraw libpng_draw -j2 >/dev/null

rounds=11
pages=()
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
save="$tmp"
args=("$@")
for ((i = 0; i < ${#args[@]}; ++i)); do
    case "${args[i]}" in
        --rounds) rounds="${args[i + 1]:-$rounds}"; ((++i)) ;;
        --save) save="${args[i + 1]:-$tmp}"; ((++i)) ;;
        *) pages+=("${args[i]}") ;;
    esac
done
"$build/bench/png/png_bench" --rounds "$rounds" --save "$save" "${pages[@]}"
((${#pages[@]})) || pages=("$save/bench_rgb.png" "$save/bench_rgba.png")
echo
python3 "$root/bench/png/draw_rounds.py" "$build" "$rounds" "${pages[@]}"
