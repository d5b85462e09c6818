#!/usr/bin/env bash
# The archive step, on one thread and on every core, against Info-ZIP's
# zip -6 -r -X and against zlib's raw deflate at level 6 of the same bytes on
# one thread, over a generated staging tree of PNG pages; and the whole
# conversion of those pages from the command line (copies, pages, documents,
# archive), on one thread and on every core, against the same Info-ZIP run.
# The tools take turns in each round, so that load from elsewhere on the
# machine hits all of them alike; the ratios are taken within each round and
# their median over the rounds is reported, with the best times and our peak
# memory.
#   bench/zip/run.sh [PAGES [WIDTHxHEIGHT]]
#       (default 250 pages of 1000x800, about 300 MB; 60 2000x1900 makes 60
#       pages of 5.7 MB; ROUNDS=n, default 5)
# Needs: python3, zip, time (the /usr/bin/time program).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
pages=${1:-250}
size=${2:-1000x800}
rounds=${ROUNDS:-5}
cores=$(nproc)
build=${BUILD_DIR:-$repo/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target zip_bench raw_deflate_bench pagelume -j2 >/dev/null
bin="$build/bench/zip"

python3 "$repo/bench/zip/make_pages.py" "$work/staging" "$pages" "$size"
mapfile -t images < <(ls "$work"/staging/OEBPS/*.png | sort -V)
# The whole conversion of the pages, as a user runs it.
convert=("$build/pagelume" --title Bench --author Bench --output "$work/book" --yes --quiet
    "${images[@]}")
echo "staging tree: $(du -sh "$work/staging" | cut -f1) in $(find "$work/staging" -type f | wc -l) files;" \
    "$cores cores"
cat $(find "$work/staging" -type f) >/dev/null  # every tool starts from a warm cache

# One run of a command: "wall cpu rss" (seconds, user+system seconds, KiB).
measure() {
    rm -rf "$work/out.epub" "$work/out.zip" "$work/out.raw" "$work/book"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

tools=(one all raw rawfile infozip book1 book)
declare -A wall cpu best mem
for ((round = 0; round < rounds; round++)); do
    for tool in "${tools[@]}"; do
        case $tool in
        one) r=$(measure env PAGELUME_THREADS=1 "$bin/zip_bench" "$work/staging" "$work/out.epub") ;;
        all) r=$(measure env PAGELUME_THREADS="$cores" "$bin/zip_bench" "$work/staging" "$work/out.epub") ;;
        raw) r=$(measure "$bin/raw_deflate_bench" "$work/staging") ;;
        rawfile) r=$(measure "$bin/raw_deflate_bench" "$work/staging" "$work/out.raw") ;;
        infozip) r=$(measure sh -c "cd '$work/staging' && zip -6 -r -X -q '$work/out.zip' .") ;;
        book1) r=$(measure env PAGELUME_THREADS=1 "${convert[@]}") ;;
        book) r=$(measure env PAGELUME_THREADS="$cores" "${convert[@]}") ;;
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
        PAGELUME_THREADS=1 "${convert[@]}" >/dev/null 2>&1
        mv "$work/book/Bench.epub" "$work/one.epub"
        PAGELUME_THREADS=$cores "${convert[@]}" >/dev/null 2>&1
        mv "$work/book/Bench.epub" "$work/all.epub"
        python3 "$repo/bench/zip/same_book.py" "$work/one.epub" "$work/all.epub" &&
            echo "whole conversion on one thread and on $cores threads: the same book (times aside)"
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
    "discarded; rawfile: the same, written to a file; infozip: zip -6 -r -X;" \
    "book1, book: the whole conversion on 1 and $cores threads)"
echo "median ratio of $rounds rounds, wall clock (lowest to highest):"
echo "  archive step, 1 thread / Info-ZIP:      $(ratio one infozip)"
echo "  archive step, $cores threads / Info-ZIP:     $(ratio all infozip)   (aim <= 0.6)"
echo "  whole conversion, 1 thread / Info-ZIP:  $(ratio book1 infozip)"
echo "  whole conversion, $cores threads / Info-ZIP: $(ratio book infozip)   (aim <= 0.6)"
echo "  whole conversion / its archive step, $cores threads: $(ratio book all)"
echo "  archive step, 1 thread / raw zlib:      $(ratio one raw)"
echo "  archive step, $cores threads / raw zlib:     $(ratio all raw)   (1/cores: $(awk -v n="$cores" 'BEGIN { printf "%.3f", 1 / n }'))"
echo "  archive step, $cores threads / 1 thread:     $(ratio all one)"
echo "  archive step, 1 thread / raw zlib to a file: $(ratio one rawfile)"
echo "  CPU time, 1 thread / raw zlib:          $(ratio one raw cpu)"
echo "  CPU time, $cores threads / 1 thread:         $(ratio all one cpu)"
echo "peak memory of the archive step: $((mem[one] / 1024)) MiB on 1 thread," \
    "$((mem[all] / 1024)) MiB on $cores threads; of the whole conversion:" \
    "$((mem[book1] / 1024)) MiB and $((mem[book] / 1024)) MiB"
