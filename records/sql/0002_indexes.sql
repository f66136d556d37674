-- The questions asked of the runs: a day or a span of days, a station, a
-- unit, an outcome, and the slowest runs. Text a record sets (a station's
-- name, a serial number) has no bound on its length, and a btree refuses an
-- entry over about 2.7 kB: those columns get hash indexes, which hold only
-- a hash of the text and answer "station = ..." and "unit = ...".
CREATE INDEX runs_start_date ON runs (start_date);
CREATE INDEX runs_station ON runs USING hash (station);
CREATE INDEX runs_unit ON runs USING hash (unit);
CREATE INDEX runs_outcome ON runs (outcome, start_date);
CREATE INDEX runs_seconds ON runs (seconds DESC);
