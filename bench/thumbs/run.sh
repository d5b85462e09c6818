#!/usr/bin/env bash
# Thumbnails at scale: 300 JPEG scans of 2480 x 3508 and 300 PNG pages of
# 2000 x 3000 added to the window (under Xvfb, cold thumbnail cache), against
# vipsthumbnail making 256-pixel PNG thumbnails of the same files on the same
# cores. Rounds alternate (Pagelume, vipsthumbnail, Pagelume, ...).
#   bench/thumbs/run.sh          (ROUNDS=n rounds, default 3; PAGES=n per kind, default 300)
# Needs Xvfb (Debian xvfb), vipsthumbnail (libvips-tools) and ImageMagick;
# builds into build-bench/.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
rounds=${ROUNDS:-3}
pages=${PAGES:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target thumbs_bench epubfiles -j2 >/dev/null

# One scan-like page of each kind (text lines on paper with some noise),
# copied: every copy is a file of its own to the cache and to the decoders.
mkdir -p "$work/pages"
convert -size 2480x3508 xc:'#f4f1e8' -attenuate 0.25 +noise Gaussian \
    -fill '#222' -draw "$(for y in $(seq 300 70 3300); do echo "rectangle 250,$y 2230,$((y + 28))"; done)" \
    -quality 90 "$work/scan.jpg"
convert -size 2000x3000 gradient:'#fdfdfd'-'#d0d8e0' -fill '#333' \
    -draw "$(for y in $(seq 200 90 2800); do echo "rectangle 180,$y 1820,$((y + 40))"; done)" \
    "$work/page.png"
for i in $(seq -w 1 "$pages"); do
    cp "$work/scan.jpg" "$work/pages/scan$i.jpg"
    cp "$work/page.png" "$work/pages/page$i.png"
done

ms() { echo $(( $(date +%s%N) / 1000000 )); }
for r in $(seq 1 "$rounds"); do
    rm -rf "$work/cache" "$work/vips" && mkdir -p "$work/cache" "$work/vips"
    XDG_CACHE_HOME="$work/cache" xvfb-run -a -s "-screen 0 1600x1000x24" \
        "$build/thumbs_bench" "$work/pages" | sed "s/^/round $r pagelume: /"
    start=$(ms)
    vipsthumbnail -s 256 -o "$work/vips/%s.png" "$work"/pages/*
    echo "round $r vipsthumbnail: all $(( $(ms) - start ))"
done
