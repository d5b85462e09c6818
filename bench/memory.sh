#!/usr/bin/env bash
# The memory a command-line conversion takes per page: a book of PAGES
# one-byte pages (default 100000, each its own file, given as one folder),
# converted by the Release build under /usr/bin/time -v. Prints the peak
# resident size, that size per page, and the wall time. The pages are made
# once and kept in the work folder while ROUNDS conversions run (default 1).
#   bench/memory.sh [PAGES]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
pages=${1:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pagelume epubfiles -j2 >/dev/null

# Every page one byte: not an image, which the default book takes as it is.
mkdir -p "$work/pages"
for ((i = 1; i <= pages; i++)); do printf x >"$work/pages/p$i.png"; done

for ((round = 0; round < ${ROUNDS:-1}; round++)); do
    rm -rf "$work/out"
    /usr/bin/time -v -o "$work/time" "$build/pagelume" --quiet --title Memory --author Bench \
        --output "$work/out" "$work/pages" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")
    awk -v n="$pages" -v kb="$rss" -v w="$wall" \
        'BEGIN { printf "%d pages: peak %.1f MB, %.2f KB per page, wall %s\n", n, kb / 1024, kb / n, w }'
done
