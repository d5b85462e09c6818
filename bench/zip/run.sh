#!/usr/bin/env bash
# The archive step against Info-ZIP's zip -6 -r -X and against zlib's raw
# deflate at level 6 of the same bytes, over a generated staging tree of
# PNG pages; reports the ratios and our peak memory. Best of five runs each,
# by wall-clock and by CPU time (the steadier one on a busy machine).
#   bench/zip/run.sh [PAGES]     (default 250 pages, about 300 MB)
# Needs: python3, zip, time (the /usr/bin/time program).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
pages=${1:-250}
build=${BUILD_DIR:-$repo/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAGELUME_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target zip_bench raw_deflate_bench -j2 >/dev/null
bin="$build/bench/zip"

python3 "$repo/bench/zip/make_pages.py" "$work/staging" "$pages"
echo "staging tree: $(du -sh "$work/staging" | cut -f1) in $(find "$work/staging" -type f | wc -l) files"
cat $(find "$work/staging" -type f) >/dev/null  # all three start from a warm cache

# One run of a command: "wall cpu rss" (seconds, user+system seconds, KiB).
measure() {
    rm -f "$work/out.epub" "$work/out.zip" "$work/out.raw"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

# Five rounds (ROUNDS=n to change), the tools taking turns so that load from elsewhere on the
# machine hits all of them alike; the best wall and CPU time of each count.
declare -A wall cpu mem
for ((round = 0; round < ${ROUNDS:-5}; round++)); do
    for tool in ours raw rawfile infozip; do
        case $tool in
        ours) r=$(measure "$bin/zip_bench" "$work/staging" "$work/out.epub") ;;
        raw) r=$(measure "$bin/raw_deflate_bench" "$work/staging") ;;
        rawfile) r=$(measure "$bin/raw_deflate_bench" "$work/staging" "$work/out.raw") ;;
        infozip) r=$(measure sh -c "cd '$work/staging' && zip -6 -r -X -q '$work/out.zip' .") ;;
        esac
        read -r w c m <<<"$r"
        if [[ -z ${wall[$tool]:-} ]] || awk "BEGIN{exit !($w < ${wall[$tool]})}"; then
            wall[$tool]=$w
        fi
        if [[ -z ${cpu[$tool]:-} ]] || awk "BEGIN{exit !($c < ${cpu[$tool]})}"; then
            cpu[$tool]=$c
        fi
        if [[ $tool == ours ]] && ((m > ${mem[ours]:-0})); then
            mem[ours]=$m
        fi
    done
done

printf "%-14s %8s %8s\n" "" "wall s" "cpu s"
printf "%-14s %8s %8s\n" "archive step" "${wall[ours]}" "${cpu[ours]}"
printf "%-14s %8s %8s\n" "raw deflate" "${wall[raw]}" "${cpu[raw]}"
printf "%-14s %8s %8s\n" " + to a file" "${wall[rawfile]}" "${cpu[rawfile]}"
printf "%-14s %8s %8s\n" "zip -6 -r -X" "${wall[infozip]}" "${cpu[infozip]}"
echo "peak memory of the archive step: $((mem[ours] / 1024)) MiB (aim: well under 32)"
awk -v ow="${wall[ours]}" -v oc="${cpu[ours]}" -v rw="${wall[raw]}" -v rc="${cpu[raw]}" \
    -v fw="${wall[rawfile]}" -v fc="${cpu[rawfile]}" \
    -v zw="${wall[infozip]}" -v zc="${cpu[infozip]}" 'BEGIN {
    printf "ours / raw zlib: wall %.3f, cpu %.3f (aim <= 1.05)\n", ow / rw, oc / rc
    printf "ours / raw zlib writing a file: wall %.3f, cpu %.3f\n", ow / fw, oc / fc
    printf "ours / Info-ZIP: wall %.3f, cpu %.3f (aim <= 1.00)\n", ow / zw, oc / zc
}'
