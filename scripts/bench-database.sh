#!/usr/bin/env bash
# The database delivery's benchmark (not a test): realistic run records
# (bench/RecordGen.cpp, the program's own writer over wizard runs against
# the simulated unit; the format-2 ones, as a spool holds them) delivered by
# `zul10-records forward` into a local PostgreSQL server of its own
# (scripts/pg-server.sh), into a fresh database each time, timed from the
# forward's start to its end. Prints one table row: records (and judged
# values) per second, the median of three.
#
#   scripts/bench-database.sh            # about 7000 records
#   ZUL_BENCH_MB=N scripts/bench-database.sh   # N MB of generated records
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh >/dev/null

ZUL_BUILD_TARGET=zul-record-gen nice scripts/build.sh build >/dev/null
ZUL_BUILD_TARGET=zul10-records nice scripts/build.sh build >/dev/null
work=$root/build/bench-database
megabytes=${ZUL_BENCH_MB:-40}
mkdir -p "$work"

# The server under /tmp (its user must reach the folder), named by this tree.
server=/tmp/zul10-pg-bench-$(printf '%s' "$root" | md5sum | cut -c1-12)
stop() { bash scripts/pg-server.sh stop "$server" || true; rm -rf "$server"; }
trap stop EXIT
bash scripts/pg-server.sh start "$server" >/dev/null
set -a
. "$server/env"
set +a
export PGOPTIONS="-c client_min_messages=warning"
uri=$(cat "$server/uri")

# The records once, and a spool of their format-2 lines by day.
records=$work/records-$megabytes
if [[ ! -f $records/.complete ]]; then
    rm -rf "$records"
    build/bench/zul-record-gen "$records" "$megabytes" --seed 20260301 --stations 8 >/dev/null
    touch "$records/.complete"
fi
template=$work/spool-$megabytes
rm -rf "$template"
mkdir -p "$template"
for file in "$records"/zul10-*.jsonl; do
    day=$(basename "$file" | cut -c7-16)
    grep '"format":2' "$file" >>"$template/zul10-$day.jsonl" || true
done
count=$(cat "$template"/*.jsonl | wc -l)
bytes=$(cat "$template"/*.jsonl | wc -c)

times=()
for run in 1 2 3; do
    spool=$work/spool-run
    rm -rf "$spool"
    cp -a "$template" "$spool"
    database=bench_$run
    psql -q -c "DROP DATABASE IF EXISTS $database" -c "CREATE DATABASE $database"
    build/records/zul10-records db init "${uri%/*}/$database" >/dev/null
    start=$(date +%s.%N)
    ZUL10_STATION_FILE=/nonexistent ZUL10_RECORDS='' \
        build/records/zul10-records forward --spool "$spool" --database "${uri%/*}/$database"
    end=$(date +%s.%N)
    stored=$(psql -d "$database" -tAc "SELECT count(*) FROM runs")
    [[ $stored == "$count" ]] || { echo "bench-database: $stored runs of $count" >&2; exit 1; }
    times+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')")
done
values=$(psql -d bench_1 -tAc "SELECT count(*) FROM measured_values")
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)

echo
echo "Records: $count runs, $((bytes / 1048576)) MB, $values judged values; load $(cut -d' ' -f1 /proc/loadavg)"
echo
printf '| %-52s | %-40s |\n' "Figure" "Measured"
printf '|%s|%s|\n' "$(printf -- '-%.0s' {1..54})" "$(printf -- '-%.0s' {1..42})"
printf '| %-52s | %-40s |\n' "zul10-records forward into a local PostgreSQL" \
    "$(awk -v n="$count" -v v="$values" -v s="$median" \
        'BEGIN { printf "%.0f records/s (%.0f values/s), %s s", n / s, v / s, s }')"
