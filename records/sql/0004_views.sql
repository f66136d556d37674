-- Views for a dashboard or a spreadsheet, read from the totals
-- (0003_totals.sql), so that each answers in a moment whatever the runs
-- hold. The same definitions as the report's (zul10-records summary):
-- yield is complete of complete and failed; communication errors and
-- stopped runs (cancelled, window closed) are counted apart; a unit's first
-- and last run are those that came to a verdict.

-- Runs and yield per day and station (the station, or the host of a run
-- that names none).
CREATE VIEW zul10_yield_per_day AS
SELECT day, station, runs, complete, failed, communication_errors,
       runs - complete - failed - communication_errors AS stopped,
       round(100.0 * complete / nullif(complete + failed, 0), 1) AS yield_percent
FROM (SELECT start_date AS day, station, sum(runs)::bigint AS runs,
             coalesce(sum(runs) FILTER (WHERE outcome = 'complete'), 0)::bigint AS complete,
             coalesce(sum(runs) FILTER (WHERE outcome = 'failed'), 0)::bigint AS failed,
             coalesce(sum(runs) FILTER (WHERE outcome = 'communication error'), 0)::bigint
                 AS communication_errors
      FROM zul10_run_counts GROUP BY start_date, station) t;

-- Each unit: its runs, the station it is counted at (that of its first run
-- with a verdict, else of its first run), whether its first run with a
-- verdict completed (first pass) and whether its last did (final pass);
-- both NULL for a unit without a verdict.
CREATE VIEW zul10_first_pass_by_unit AS
SELECT unit, runs, substr(rank, 13) AS station,
       first_key IS NOT NULL AS judged,
       first_key % 2 = 1 AS first_pass,
       last_key % 2 = 0 AS final_pass,
       to_timestamp(first_key / 2 + 946684800) AS first_verdict_at,
       to_timestamp(last_key / 2 + 946684800) AS last_verdict_at
FROM zul10_units;

-- First-pass and final yield of the units per station.
CREATE VIEW zul10_first_pass_by_station AS
SELECT station, units, judged, first_pass, final_pass,
       round(100.0 * first_pass / nullif(judged, 0), 1) AS first_pass_percent,
       round(100.0 * final_pass / nullif(judged, 0), 1) AS final_percent
FROM (SELECT station, count(*) AS units, count(*) FILTER (WHERE judged) AS judged,
             count(*) FILTER (WHERE first_pass) AS first_pass,
             count(*) FILTER (WHERE final_pass) AS final_pass
      FROM zul10_first_pass_by_unit GROUP BY station) t;

-- The process capability of each judged value against the limits it was
-- judged by (a value judged by two limits revisions has a row for each):
-- readings, mean, sample standard deviation, extremes, Cp and Cpk, and the
-- share outside the limits. A bound at the byte's end (lower 0, upper 255)
-- cannot fail: the limit is one-sided, Cp is NULL and Cpk comes from the
-- other bound; no Cp or Cpk from fewer than two readings or a standard
-- deviation under 0.001.
CREATE VIEW zul10_capability AS
SELECT item, name, slot, label, lower, upper, n, mean::float8 AS mean, sd::float8 AS sd,
       min, max,
       CASE WHEN sd >= 0.001 AND lower > 0 AND upper < 255
            THEN ((upper - lower) / (6 * sd))::float8 END AS cp,
       CASE WHEN sd >= 0.001
            THEN least(CASE WHEN upper < 255 THEN (upper - mean) / (3 * sd) END,
                       CASE WHEN lower > 0 THEN (mean - lower) / (3 * sd) END)::float8 END AS cpk,
       (outside::numeric / n)::float8 AS outside_share
FROM (SELECT t.*, sx / n AS mean,
             CASE WHEN n >= 2 THEN sqrt(greatest(n * sxx - sx * sx, 0) / (n * (n - 1))) END AS sd
      FROM (SELECT item, name, slot, min(label) AS label, lower, upper,
                   sum(readings)::bigint AS n, sum(readings * value) AS sx,
                   sum(readings * value * value) AS sxx, min(value) AS min, max(value) AS max,
                   coalesce(sum(readings) FILTER (WHERE value < lower OR value > upper), 0)
                       AS outside
            FROM zul10_value_counts GROUP BY item, name, slot, lower, upper) t
      WHERE n > 0) m;
