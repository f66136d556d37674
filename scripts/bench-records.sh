#!/usr/bin/env bash
# The yield report's benchmark (not a test): a folder of 200 MB of
# realistic run records, each written by the program's own writer over a
# wizard run against the simulated unit (bench/RecordGen.cpp), and
# `zul10-records summary` over it timed beside
#   jq -r .outcome FILES | sort | uniq -c
# over the same files, in the same run; then the summary's peak memory over
# a 2 GB folder. Prints one table.
#
#   scripts/bench-records.sh              # 200 MB and 2 GB (about 5 minutes)
#   scripts/bench-records.sh --no-big     # 200 MB only
#   ZUL_BENCH_RECORDS=DIR scripts/bench-records.sh   # where the folders go
#                                         # (default build/bench-records)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
big=1
[[ ${1:-} == --no-big ]] && big=0
command -v jq >/dev/null || { echo "bench-records: jq is not installed (apt-get install jq)" >&2; exit 1; }

ZUL_BUILD_TARGET=zul-record-gen nice scripts/build.sh build >/dev/null
ZUL_BUILD_TARGET=zul10-records nice scripts/build.sh build >/dev/null
gen=build/bench/zul-record-gen
report=build/records/zul10-records
root=${ZUL_BENCH_RECORDS:-build/bench-records}
mkdir -p "$root"

# FOLDER MEGABYTES: made once, reused while its size is the same.
make_folder() {
    local folder=$1 megabytes=$2
    if [[ -f $folder/.complete && $(cat "$folder/.complete") == "$megabytes" ]]; then return; fi
    rm -rf "$folder"
    echo "bench-records: writing $megabytes MB of records into $folder ..." >&2
    "$gen" "$folder" "$megabytes" --seed 20240611 --stations 8 >&2
    echo "$megabytes" >"$folder/.complete"
}

. scripts/measure.sh

small=$root/200mb
make_folder "$small" 200
files=("$small"/zul10-*.jsonl)
bytes=$(cat "${files[@]}" | wc -c)
records=$(cat "${files[@]}" | wc -l)
cat "${files[@]}" >/dev/null  # both read from the page cache

jq_pipeline() { jq -r .outcome "$@" | sort | uniq -c; }
export -f jq_pipeline
read -r jq_s jq_kib < <(measure 3 bash -c 'jq_pipeline "$@"' _ "${files[@]}")
read -r sum_s sum_kib < <(measure 5 "$report" summary "$small")
read -r csv_s csv_kib < <(measure 3 "$report" csv "$small")
read -r html_s html_kib < <(measure 3 "$report" html "$small" -o "$root/report.html")

mb=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
ratio=$(awk -v j="$jq_s" -v s="$sum_s" 'BEGIN { printf "%.1f", (s > 0 ? j / s : 0) }')
verdict() { awk -v ok="$1" 'BEGIN { print ok ? "ok" : "FAILED" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
rate() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f MB/s", (s > 0 ? b / 1048576 / s : 0) }'; }

echo
echo "Records: $records runs, $mb MB in ${#files[@]} files ($small); load $(cut -d' ' -f1 /proc/loadavg)"
echo
printf '| %-44s | %-28s | %-18s | %-7s |\n' "Figure" "Measured" "Target" "Verdict"
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..30})" \
    "$(printf -- '-%.0s' {1..20})" "$(printf -- '-%.0s' {1..9})"
row() { printf '| %-44s | %-28s | %-18s | %-7s |\n' "$@"; }
row "jq -r .outcome | sort | uniq -c, 200 MB" "$jq_s s ($(rate "$jq_s")), $(mib "$jq_kib")" "-" "-"
row "zul10-records summary, 200 MB" "$sum_s s ($(rate "$sum_s")), ${ratio}x jq" ">= 4x jq" \
    "$(verdict "$(awk -v r="$ratio" 'BEGIN { print (r >= 4) }')")"
row "  its peak resident memory" "$(mib "$sum_kib")" "<= 64 MiB" "$(verdict $((sum_kib <= 65536)))"
row "zul10-records csv, 200 MB" "$csv_s s, $(mib "$csv_kib")" "-" "-"
row "zul10-records html, 200 MB" "$html_s s, $(mib "$html_kib")" "-" "-"

if ((big)); then
    large=$root/2gb
    make_folder "$large" 2048
    read -r big_s big_kib < <(measure 1 "$report" summary "$large")
    big_mb=$(du -sm "$large" | cut -f1)
    row "zul10-records summary, 2 GB ($big_mb MB)" "$big_s s, $(mib "$big_kib")" "<= 64 MiB" \
        "$(verdict $((big_kib <= 65536)))"
fi
