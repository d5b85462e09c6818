#!/usr/bin/env bash
# Comic archives at scale: how long adding a 20,000-page CBZ takes, whether
# converting grows linearly with the archive (2,000 against 20,000 pages), and
# the peak memory of converting it and of an archive with one 512 MiB member.
#   bench/archive/run.sh          (ROUNDS=n alternated rounds, default 3; the best counts)
# Needs python3 and /usr/bin/time (Debian: time); builds into build-bench/.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build-bench}
rounds=${ROUNDS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target pagelume epubfiles archive_list_bench -j2 >/dev/null

python3 - "$work" <<'PY'
import random, sys, zipfile
work = sys.argv[1]
page = b"\xff\xd8\xff\xe0" + bytes(200)
for n in (2000, 20000):
    order = list(range(1, n + 1))
    random.Random(n).shuffle(order)
    with zipfile.ZipFile(f"{work}/p{n}.cbz", "w", zipfile.ZIP_DEFLATED) as z:
        for i in order:
            z.writestr(f"vol/p{i}.jpg", page)
with zipfile.ZipFile(f"{work}/big.cbz", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
    with z.open("big.jpg", "w", force_zip64=True) as f:
        f.write(b"\xff\xd8\xff\xe0")
        block = bytes(1 << 20)
        for _ in range(512):
            f.write(block)
PY

# One conversion: prints "<seconds> <peak KiB>".
convert() {
    rm -rf "$work/out"
    /usr/bin/time -f "%e %M" -o "$work/time" "$build/pagelume" --yes --quiet --title T --author A \
        --output "$work/out" "$1" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    cat "$work/time"
}

best() { sort -g | head -1; }
: >"$work/list"; : >"$work/c2k"; : >"$work/c20k"
for ((r = 1; r <= rounds; r++)); do
    "$build/bench/archive/archive_list_bench" "$work/p20000.cbz" | awk '{print $2}' >>"$work/list"
    convert "$work/p2000.cbz" >>"$work/c2k"
    convert "$work/p20000.cbz" >>"$work/c20k"
done
list=$(best <"$work/list")
c2k=$(awk '{print $1}' "$work/c2k" | best)
c20k=$(awk '{print $1}' "$work/c20k" | best)
mem20k=$(awk '{print $2}' "$work/c20k" | sort -g | tail -1)
read -r bigTime bigMem < <(convert "$work/big.cbz")
echo "finding the pages of a 20,000-page CBZ: ${list} s"
echo "converting 2,000 pages: ${c2k} s; 20,000 pages: ${c20k} s"
awk -v a="$c2k" -v b="$c20k" 'BEGIN { printf "time per page at 20,000 / at 2,000: %.2f (1.0 is linear)\n", (b / 20000) / (a / 2000) }'
echo "peak memory converting 20,000 pages: $((mem20k / 1024)) MiB"
echo "peak memory converting one 512 MiB member: $((bigMem / 1024)) MiB (${bigTime} s)"
