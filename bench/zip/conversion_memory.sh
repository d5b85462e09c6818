#!/usr/bin/env bash
# Peak memory of a whole conversion from the command line: copies, wrappers,
# documents and the archive step, for a book of generated pages, with the
# archive deflated on one thread and on every core.
#   bench/zip/conversion_memory.sh [PAGES]     (default 200 pages, about 240 MB)
# Needs: python3, time (the /usr/bin/time program).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
pages=${1:-200}
build=${BUILD_DIR:-$repo/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pagelume -j2 >/dev/null

python3 "$repo/bench/zip/make_pages.py" "$work/in" "$pages" >/dev/null
mapfile -t files < <(ls "$work"/in/OEBPS/*.png | sort -V)
echo "pages: ${#files[@]}, $(du -ch "${files[@]}" | tail -1 | cut -f1)"
for threads in 1 "$(nproc)"; do
    rm -rf "$work/out"
    PAGELUME_THREADS=$threads /usr/bin/time -f "%e %M" -o "$work/time" \
        "$build/pagelume" --title Bench --author Bench --output "$work/out" "${files[@]}" 2>/dev/null
    read -r wall rss <"$work/time"
    echo "threads $threads: book $(du -h "$work/out/Bench.epub" | cut -f1)," \
        "conversion ${wall} s, peak memory $((rss / 1024)) MiB (aim: under 32)"
done
