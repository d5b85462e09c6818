#!/usr/bin/env bash
# How a whole command-line conversion grows with the book: books of 100,
# 1,000 and 10,000 small PNG pages, once with distinct file names and once
# with one file name in as many folders, each timed from the command line.
# Prints the time per page of each and, per kind, the ratio of the largest
# book's time per page to the smallest one's (1.0 is linear).
#   bench/scale.sh [SIZES...]     (default: 100 1000 10000)
# Rounds alternate the sizes (ROUNDS=n, default 3); the best time counts.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
sizes=("$@")
((${#sizes[@]})) || sizes=(100 1000 10000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pagelume epubfiles -j2 >/dev/null

# A valid 1x1 PNG; every page is its own file (its own inode), so none is shared.
python3 - "$work" "${sizes[@]}" <<'PY'
import os, struct, sys, zlib
work, sizes = sys.argv[1], [int(s) for s in sys.argv[2:]]
def chunk(t, d):
    return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(b"\x00\x80\x40\x20")) + chunk(b"IEND", b""))
top = max(sizes)
os.makedirs(f"{work}/distinct")
for i in range(1, top + 1):
    with open(f"{work}/distinct/p{i}.png", "wb") as f:
        f.write(png)
    os.makedirs(f"{work}/same/{i}")
    with open(f"{work}/same/{i}/page.png", "wb") as f:
        f.write(png)
PY

# One conversion: prints its wall time in seconds.
convert() {
    local kind=$1 n=$2 files=()
    for ((i = 1; i <= n; i++)); do
        if [[ $kind == distinct ]]; then files+=("$work/distinct/p$i.png"); else files+=("$work/same/$i/page.png"); fi
    done
    rm -rf "$work/out"
    /usr/bin/time -f "%e" -o "$work/time" "$build/pagelume" --quiet --title Scale --author Bench \
        --output "$work/out" "${files[@]}" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    cat "$work/time"
}

declare -A best
for ((round = 0; round < ${ROUNDS:-3}; round++)); do
    for n in "${sizes[@]}"; do
        for kind in distinct same; do
            t=$(convert "$kind" "$n")
            key="$kind $n"
            if [[ -z ${best[$key]:-} ]] || awk "BEGIN{exit !($t < ${best[$key]})}"; then best[$key]=$t; fi
        done
    done
done

printf "%8s  %-30s %10s %14s\n" pages kind "total s" "ms per page"
for kind in distinct same; do
    for n in "${sizes[@]}"; do
        t=${best["$kind $n"]}
        label=$([[ $kind == distinct ]] && echo "distinct names" || echo "one name, different folders")
        awk -v n="$n" -v t="$t" -v k="$label" 'BEGIN { printf "%8d  %-30s %10.2f %14.3f\n", n, k, t, 1000 * t / n }'
    done
done
first=${sizes[0]}
last=${sizes[-1]}
for kind in distinct same; do
    awk -v a="${best["$kind $first"]}" -v b="${best["$kind $last"]}" -v f="$first" -v l="$last" -v k="$kind" \
        'BEGIN { printf "%s: time per page at %d pages / at %d pages = %.2f (aim: at most 2)\n", k, l, f, (b / l) / (a / f) }'
done
