#!/usr/bin/env bash
# The archive step, on one thread and on every core, against Info-ZIP's
# zip -6 -r -X and against zlib's raw deflate at level 6 of the same bytes on
# one thread, over a generated staging tree of PNG pages. The tools take
# turns in each round, so that load from elsewhere on the machine hits all of
# them alike; the ratios are taken within each round and their median over
# the rounds is reported, with the best times and our peak memory.
#   bench/zip/run.sh [PAGES]     (default 250 pages, about 300 MB; ROUNDS=n, default 5)
# Needs: python3, zip, time (the /usr/bin/time program).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
pages=${1:-250}
rounds=${ROUNDS:-5}
cores=$(nproc)
build=${BUILD_DIR:-$repo/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target zip_bench raw_deflate_bench -j2 >/dev/null
bin="$build/bench/zip"

python3 "$repo/bench/zip/make_pages.py" "$work/staging" "$pages"
echo "staging tree: $(du -sh "$work/staging" | cut -f1) in $(find "$work/staging" -type f | wc -l) files;" \
    "$cores cores"
cat $(find "$work/staging" -type f) >/dev/null  # every tool starts from a warm cache

# One run of a command: "wall cpu rss" (seconds, user+system seconds, KiB).
measure() {
    rm -f "$work/out.epub" "$work/out.zip" "$work/out.raw"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

tools=(one all raw rawfile infozip)
declare -A wall cpu best mem
for ((round = 0; round < rounds; round++)); do
    for tool in "${tools[@]}"; do
        case $tool in
        one) r=$(measure env PAGELUME_THREADS=1 "$bin/zip_bench" "$work/staging" "$work/out.epub") ;;
        all) r=$(measure env PAGELUME_THREADS="$cores" "$bin/zip_bench" "$work/staging" "$work/out.epub") ;;
        raw) r=$(measure "$bin/raw_deflate_bench" "$work/staging") ;;
        rawfile) r=$(measure "$bin/raw_deflate_bench" "$work/staging" "$work/out.raw") ;;
        infozip) r=$(measure sh -c "cd '$work/staging' && zip -6 -r -X -q '$work/out.zip' .") ;;
        esac
        read -r w c m <<<"$r"
        wall[$tool,$round]=$w
        cpu[$tool,$round]=$c
        if [[ -z ${best[$tool]:-} ]] || awk "BEGIN{exit !($w < ${best[$tool]})}"; then
            best[$tool]=$w
        fi
        if ((m > ${mem[$tool]:-0})); then
            mem[$tool]=$m
        fi
    done
    if ((round == 0)); then
        # The book must not depend on the threads.
        PAGELUME_THREADS=1 "$bin/zip_bench" "$work/staging" "$work/one.epub" 2>/dev/null
        PAGELUME_THREADS=$cores "$bin/zip_bench" "$work/staging" "$work/all.epub" 2>/dev/null
        cmp "$work/one.epub" "$work/all.epub" && echo "one thread and $cores threads: the same archive"
        rm -f "$work/one.epub" "$work/all.epub"
    fi
done

# Median over the rounds of a per-round ratio: ratio TOOL OVER [wall|cpu]
ratio() {
    local -n times=${3:-wall}
    for ((round = 0; round < rounds; round++)); do
        awk -v a="${times[$1,$round]}" -v b="${times[$2,$round]}" 'BEGIN { printf "%.3f\n", a / b }'
    done | sort -n | awk '{ v[NR] = $1 } END {
        printf "%.3f (%.3f to %.3f)", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }'
}

printf "best wall s:"
for tool in "${tools[@]}"; do printf "  %s %s" "$tool" "${best[$tool]}"; done
echo
echo "(one, all: the archive step on 1 and $cores threads; raw: zlib on one thread, output" \
    "discarded; rawfile: the same, written to a file; infozip: zip -6 -r -X)"
echo "median ratio of $rounds rounds, wall clock (lowest to highest):"
echo "  archive step, 1 thread / Info-ZIP:      $(ratio one infozip)"
echo "  archive step, $cores threads / Info-ZIP:     $(ratio all infozip)   (aim <= 0.6)"
echo "  archive step, 1 thread / raw zlib:      $(ratio one raw)"
echo "  archive step, $cores threads / raw zlib:     $(ratio all raw)   (1/cores: $(awk -v n="$cores" 'BEGIN { printf "%.3f", 1 / n }'))"
echo "  archive step, $cores threads / 1 thread:     $(ratio all one)"
echo "  archive step, 1 thread / raw zlib to a file: $(ratio one rawfile)"
echo "  CPU time, 1 thread / raw zlib:          $(ratio one raw cpu)"
echo "  CPU time, $cores threads / 1 thread:         $(ratio all one cpu)"
echo "peak memory of the archive step: $((mem[one] / 1024)) MiB on 1 thread," \
    "$((mem[all] / 1024)) MiB on $cores threads"
