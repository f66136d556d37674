#!/usr/bin/env bash
# The report's benchmark over a database (not a test): a throwaway server
# (scripts/pg-server.sh) filled with 1,000,000 runs, then
# `zul10-records summary|html|csv postgresql://...` timed over it. Prints one
# table.
#
# The runs: about 20,000 records of 20 stations written by the program's own
# writer (bench/RecordGen.cpp, format 2 only), delivered by one
# `zul10-records forward`, then copied in the server, each copy
# days later, with run ids and serial numbers of its own, up to 1,000,000
# runs over about 850 days; the totals the triggers keep are then counted
# once (zul10_recount), as a bulk load does. About 10 GB and 20 minutes.
#
#   scripts/bench-database-report.sh
#   ZUL_BENCH_PG_DIR=/tmp/zul10-pg-mine scripts/bench-database-report.sh   # the server's folder
#   ZUL_BENCH_RUNS=100000 scripts/bench-database-report.sh                 # fewer runs
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
ZUL_BUILD_TARGET=zul-record-gen nice scripts/build.sh build >/dev/null
ZUL_BUILD_TARGET=zul10-records nice scripts/build.sh build >/dev/null
gen=build/bench/zul-record-gen
report=build/records/zul10-records
runs=${ZUL_BENCH_RUNS:-1000000}
server=${ZUL_BENCH_PG_DIR:-/tmp/zul10-pg-bench}
work=build/bench-database-report
mkdir -p "$work"
work=$(realpath "$work")

scripts/pg-server.sh start "$server" >/dev/null
trap 'scripts/pg-server.sh stop "$server"' EXIT
set -a
. "$server/env"
set +a
uri=$(cat "$server/uri")

echo "bench-database-report: writing the base records ..." >&2
rm -rf "$work/gen"
"$gen" "$work/gen" 130 --seed 20240611 --stations 20 >&2
cat "$work"/gen/zul10-*.jsonl | grep -F '"format":2' >"$work/base.jsonl"
base=$(wc -l <"$work/base.jsonl")

echo "bench-database-report: the schema and $base runs ..." >&2
"$report" db init "$uri" >/dev/null
# The base runs delivered as a bench delivers them: a spool of them, one
# forward into the database.
rm -rf "$work/spool"
mkdir -p "$work/spool"
for file in "$work"/gen/zul10-*.jsonl; do
    day=$(basename "$file" | cut -c7-16)
    grep -F '"format":2' "$file" >>"$work/spool/zul10-$day.jsonl" || true
done
start=$(date +%s.%N)
ZUL10_STATION_FILE=/nonexistent ZUL10_RECORDS='' \
    "$report" forward --spool "$work/spool" --database "$uri" >/dev/null
base_s=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')

echo "bench-database-report: copied up to $runs runs ..." >&2
start=$(date +%s.%N)
psql -q -v ON_ERROR_STOP=1 -v runs="$runs" >/dev/null <<'SQL'
-- The copies without the triggers (session_replication_role), the totals
-- counted once at the end.
SET session_replication_role = replica;
SET work_mem = '256MB';
CREATE TEMP TABLE span AS
    SELECT max(start_date) - min(start_date) + 1 AS days, count(*) AS base FROM runs;
CREATE TEMP TABLE copies AS
    SELECT r.run_id AS base, md5(r.run_id::text || ':' || k)::uuid AS run_id, k,
           k * (SELECT days FROM span) AS shift
    FROM generate_series(1, ceil(:runs::numeric / (SELECT base FROM span))::int) k
         CROSS JOIN runs r
    ORDER BY k, r.start_date, r.started_at
    LIMIT greatest(:runs - (SELECT base FROM span), 0);
CREATE INDEX ON copies (base);
INSERT INTO runs
SELECT c.run_id, r.format, r.station, r.unit || '-' || c.k, r.operator, r.host,
       r.program_version, r.limits_revision, r.port, r.device, r.line,
       r.started_at + c.shift * interval '1 day', r.start_date + c.shift,
       r.ended_at + c.shift * interval '1 day', r.seconds, r.outcome, r.failed_item, r.cause,
       r.exchanges, r.retries,
       jsonb_set(jsonb_set(jsonb_set(
           CASE WHEN r.record ? 'unit'
                THEN jsonb_set(r.record, '{unit}', to_jsonb(r.unit || '-' || c.k))
                ELSE r.record END,
           '{run_id}', to_jsonb(c.run_id::text)),
           '{start}', to_jsonb(to_char(r.start_date + c.shift, 'YYYY-MM-DD')
                               || substr(r.record->>'start', 11))),
           '{end}', to_jsonb(to_char(left(r.record->>'end', 10)::date + c.shift, 'YYYY-MM-DD')
                             || substr(r.record->>'end', 11)))
FROM copies c JOIN runs r ON r.run_id = c.base;
INSERT INTO items SELECT c.run_id, i.item, i.title, i.verdict, i.eeprom_written, i.report
FROM copies c JOIN items i ON i.run_id = c.base;
INSERT INTO measured_values
SELECT c.run_id, v.item, v.name, v.slot, v.label, v.value, v.lower, v.upper, v.verdict
FROM copies c JOIN measured_values v ON v.run_id = c.base;
SET session_replication_role = origin;
SELECT zul10_recount();
SQL
psql -q -c "VACUUM ANALYZE" >/dev/null
copy_s=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.0f", e - s }')
total=$(psql -tAc "SELECT count(*) FROM runs")
days=$(psql -tAc "SELECT count(DISTINCT start_date) FROM zul10_run_counts")
size=$(psql -tAc "SELECT pg_size_pretty(pg_database_size(current_database()))")
last=$(psql -tAc "SELECT max(start_date) FROM runs")
month_from=$(psql -tAc "SELECT max(start_date) - 29 FROM runs")

. scripts/measure.sh
"$report" summary "$uri" >"$work/summary.txt"  # the server's caches warm
read -r sum_s sum_kib < <(measure 5 "$report" summary "$uri")
read -r html_s html_kib < <(measure 3 "$report" html "$uri" -o "$work/report.html")
read -r month_s month_kib < <(measure 3 "$report" summary "$uri" --from "$month_from" --to "$last")
read -r range_s range_kib < <(measure 1 "$report" summary "$uri" --from 2000-01-01)
read -r csv_s csv_kib < <(measure 1 "$report" csv "$uri" --from "$month_from" --to "$last")

mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
verdict() { awk -v ok="$1" 'BEGIN { print ok ? "ok" : "FAILED" }'; }
echo
echo "Database: $total runs over $days days of 20 stations, $size; load $(cut -d' ' -f1 /proc/loadavg)"
echo "  ($base runs delivered in $base_s s, the copies and the totals in $copy_s s)"
echo
printf '| %-48s | %-22s | %-10s | %-7s |\n' "Figure" "Measured" "Target" "Verdict"
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..50})" "$(printf -- '-%.0s' {1..24})" \
    "$(printf -- '-%.0s' {1..12})" "$(printf -- '-%.0s' {1..9})"
row() { printf '| %-48s | %-22s | %-10s | %-7s |\n' "$@"; }
row "zul10-records summary, all $total runs" "$sum_s s, $(mib "$sum_kib")" "<= 2 s" \
    "$(verdict "$(awk -v s="$sum_s" 'BEGIN { print (s <= 2) }')")"
row "zul10-records html, all runs" "$html_s s, $(mib "$html_kib")" "-" "-"
row "zul10-records summary --from --to, 30 days" "$month_s s, $(mib "$month_kib")" "-" "-"
row "zul10-records summary --from 2000-01-01 (all)" "$range_s s, $(mib "$range_kib")" "-" "-"
row "zul10-records csv --from --to, 30 days" "$csv_s s, $(mib "$csv_kib")" "-" "-"
