-- Totals kept beside the runs, so that the report and the views answer from
-- them instead of reading every run and every value: runs by day, station
-- and how they ended; readings by day, value and byte; each unit's runs.
-- The triggers below keep them; whoever inserts runs need not know them.
--
-- - A run is counted when its transaction commits (a deferred trigger), so
--   that its items and values, inserted after it in the same transaction,
--   are there. An insert that met ON CONFLICT DO NOTHING fires nothing.
-- - A run deleted (by a retention job) or changed is taken out of the
--   totals before the change, and counted again as it is after an update.
--   Its values are counted with it: values inserted, changed or deleted on
--   their own after their run's commit are not followed, and neither is
--   SET CONSTRAINTS ... IMMEDIATE before the values are in. After any such
--   change, SELECT zul10_recount() counts every total anew from the tables.
-- - Every writer of the totals first takes one advisory lock for the rest of
--   its transaction (zul10_lock), so two transactions never update the same
--   totals in crossing orders (no deadlock). A delivery takes it at its
--   commit and holds it to the commit's end only.
-- - Deliveries run at READ COMMITTED (the default): at REPEATABLE READ a
--   total that another commit changed after the snapshot would fail the
--   transaction.
-- - Text that a record sets has no bound on its length, and a btree refuses
--   an entry over about 2.7 kB: such text is keyed by its SHA-256.

-- The runs the totals hold.
CREATE TABLE zul10_counted (run_id uuid PRIMARY KEY);

-- Runs by day, station, outcome, failed item, cause and limits revision.
CREATE TABLE zul10_run_counts (
    start_date      date NOT NULL,
    key             bytea NOT NULL,      -- zul10_run_key of the fields below
    station         text NOT NULL,       -- zul10_station: the station, else the host
    outcome         text NOT NULL,
    failed_item     smallint NOT NULL,   -- 0: none
    cause           text NOT NULL,       -- failed runs only, '' for the others
    limits_revision text NOT NULL,
    with_unit       boolean NOT NULL,    -- whether the run names a unit
    runs            bigint NOT NULL,
    PRIMARY KEY (start_date, key));

-- Readings by day, judged value, its limits and the reading itself (a byte).
CREATE TABLE zul10_value_counts (
    start_date date NOT NULL,
    item       smallint NOT NULL,
    name       text NOT NULL,
    slot       smallint NOT NULL,
    lower      smallint NOT NULL,
    upper      smallint NOT NULL,
    value      smallint NOT NULL,
    label      text NOT NULL,            -- the label of the first reading counted
    readings   bigint NOT NULL,
    PRIMARY KEY (start_date, item, name, slot, lower, upper, value));

-- Each unit (a serial number) over all its runs.
CREATE TABLE zul10_units (
    key       bytea PRIMARY KEY,         -- SHA-256 of the serial number
    unit      text COLLATE "C" NOT NULL,
    runs      bigint NOT NULL,
    first_key bigint,                    -- the least zul10_first_key of its runs; NULL: no verdict
    last_key  bigint,                    -- the greatest zul10_last_key
    rank      text COLLATE "C" NOT NULL); -- the least zul10_unit_rank: its station from character 13

-- A run's start as seconds since 2000-01-01 00:00 UTC, held to 0 .. 2^32 - 1.
CREATE FUNCTION zul10_second(started_at timestamptz) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN isfinite(started_at)
                THEN greatest(0, least(4294967295,
                         floor(extract(epoch FROM started_at))::bigint - 946684800))
                WHEN started_at > 'epoch' THEN 4294967295 ELSE 0 END
$$;

-- For a run that came to a verdict (complete or failed): its start second
-- times 2, plus 1 when it completed; NULL for any other. The least of a
-- unit's is its first run with a verdict; of two in one second, the failed.
CREATE FUNCTION zul10_first_key(started_at timestamptz, outcome text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN outcome IN ('complete', 'failed')
                THEN zul10_second(started_at) * 2 + (outcome = 'complete')::int END
$$;

-- The same, plus 1 when it failed: the greatest is the last run with a
-- verdict; of two in one second, the failed one.
CREATE FUNCTION zul10_last_key(started_at timestamptz, outcome text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN outcome IN ('complete', 'failed')
                THEN zul10_second(started_at) * 2 + (outcome = 'failed')::int END
$$;

-- A unit is counted at the station of its first run with a verdict, else
-- of its first run; between runs of one second, the station first in byte
-- order. The least rank of a unit's runs names that station: 12 characters
-- of order, then the station's name.
CREATE FUNCTION zul10_unit_rank(started_at timestamptz, outcome text, station text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN outcome IN ('complete', 'failed')
                THEN '0' || lpad(zul10_first_key(started_at, outcome)::text, 11, '0')
                ELSE '1' || lpad(zul10_second(started_at)::text, 11, '0') END || station
$$;

-- The station a run is counted at: its own, or its host for a run that
-- names none.
CREATE FUNCTION zul10_station(station text, host text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT coalesce(nullif(station, ''), host)
$$;

-- The key of a row of zul10_run_counts: the texts length-prefixed, so that
-- no two different rows give the same bytes.
CREATE FUNCTION zul10_run_key(station text, outcome text, failed_item smallint, cause text,
                              limits_revision text, with_unit boolean) RETURNS bytea
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT sha256(convert_to(concat_ws(E'\n', length(station), station, outcome, failed_item,
                                       length(cause), cause, length(limits_revision),
                                       limits_revision, with_unit), 'UTF8'))
$$;

-- The run's fields as zul10_run_counts keeps them.
CREATE FUNCTION zul10_run_facts(r runs, OUT station text, OUT failed_item smallint,
                                OUT cause text, OUT with_unit boolean, OUT key bytea)
LANGUAGE sql IMMUTABLE AS $$
    SELECT s, i, c, u, zul10_run_key(s, r.outcome, i, c, r.limits_revision, u)
    FROM (SELECT zul10_station(r.station, r.host) AS s, coalesce(r.failed_item, 0)::smallint AS i,
                 CASE WHEN r.outcome = 'failed' THEN coalesce(r.cause, '') ELSE '' END AS c,
                 coalesce(r.unit, '') <> '' AS u) f
$$;

-- The lock every writer of the totals takes first, for its transaction.
CREATE FUNCTION zul10_lock() RETURNS void LANGUAGE sql AS $$
    SELECT pg_advisory_xact_lock(x'5A554C3130'::bigint)
$$;

-- Counts the unit u's row again from its counted runs, leaving out the run
-- leaving (the one being taken out).
CREATE FUNCTION zul10_recount_unit(u text, leaving uuid) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    k bytea := sha256(convert_to(u, 'UTF8'));
BEGIN
    DELETE FROM zul10_units WHERE key = k;
    INSERT INTO zul10_units
        SELECT k, u, count(*), min(zul10_first_key(r.started_at, r.outcome)),
               max(zul10_last_key(r.started_at, r.outcome)),
               min(zul10_unit_rank(r.started_at, r.outcome, zul10_station(r.station, r.host))
                   COLLATE "C")
        FROM runs r JOIN zul10_counted c USING (run_id)
        WHERE r.unit = u AND r.run_id IS DISTINCT FROM leaving
        HAVING count(*) > 0;
END $$;

-- Adds the run r to the totals (sign 1) or takes it out (sign -1).
CREATE FUNCTION zul10_count(r runs, sign integer) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    f record;
BEGIN
    SELECT * INTO f FROM zul10_run_facts(r);
    INSERT INTO zul10_run_counts AS c
        VALUES (r.start_date, f.key, f.station, r.outcome, f.failed_item, f.cause,
                r.limits_revision, f.with_unit, sign)
        ON CONFLICT (start_date, key) DO UPDATE SET runs = c.runs + excluded.runs;
    INSERT INTO zul10_value_counts AS c
        SELECT r.start_date, v.item, v.name, v.slot, v.lower, v.upper, v.value, v.label, sign
        FROM measured_values v WHERE v.run_id = r.run_id
        ON CONFLICT (start_date, item, name, slot, lower, upper, value)
        DO UPDATE SET readings = c.readings + excluded.readings;
    IF sign < 0 THEN
        DELETE FROM zul10_run_counts WHERE start_date = r.start_date AND key = f.key AND runs = 0;
        DELETE FROM zul10_value_counts c USING measured_values v
            WHERE v.run_id = r.run_id AND c.start_date = r.start_date AND c.item = v.item
              AND c.name = v.name AND c.slot = v.slot AND c.lower = v.lower
              AND c.upper = v.upper AND c.value = v.value AND c.readings = 0;
    END IF;
    IF f.with_unit THEN
        IF sign < 0 THEN
            PERFORM zul10_recount_unit(r.unit, r.run_id);
        ELSE
            INSERT INTO zul10_units AS t
                VALUES (sha256(convert_to(r.unit, 'UTF8')), r.unit, 1,
                        zul10_first_key(r.started_at, r.outcome),
                        zul10_last_key(r.started_at, r.outcome),
                        zul10_unit_rank(r.started_at, r.outcome, f.station))
                ON CONFLICT (key) DO UPDATE
                SET runs = t.runs + 1, first_key = least(t.first_key, excluded.first_key),
                    last_key = greatest(t.last_key, excluded.last_key),
                    rank = least(t.rank, excluded.rank);
        END IF;
    END IF;
END $$;

-- At the commit of an insert: counts the run as it is then (not when it
-- was deleted again, nor twice).
CREATE FUNCTION zul10_count_inserted() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
    r runs;
BEGIN
    PERFORM zul10_lock();
    SELECT * INTO r FROM runs WHERE run_id = NEW.run_id;
    IF FOUND THEN
        INSERT INTO zul10_counted VALUES (r.run_id) ON CONFLICT DO NOTHING;
        IF FOUND THEN
            PERFORM zul10_count(r, 1);
        END IF;
    END IF;
    RETURN NULL;
END $$;

-- Before a delete: takes the run out, when it was counted.
CREATE FUNCTION zul10_uncount_deleted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM zul10_lock();
    DELETE FROM zul10_counted WHERE run_id = OLD.run_id;
    IF FOUND THEN
        PERFORM zul10_count(OLD, -1);
    END IF;
    RETURN OLD;
END $$;

-- Before an update of what the totals hold: takes the run out and counts
-- it as it will be (a run not counted yet is counted at its commit).
CREATE FUNCTION zul10_recount_updated() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM zul10_lock();
    DELETE FROM zul10_counted WHERE run_id = OLD.run_id;
    IF FOUND THEN
        PERFORM zul10_count(OLD, -1);
        INSERT INTO zul10_counted VALUES (NEW.run_id);
        PERFORM zul10_count(NEW, 1);
    END IF;
    RETURN NEW;
END $$;

CREATE FUNCTION zul10_clear_truncated() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM zul10_lock();
    TRUNCATE zul10_counted, zul10_run_counts, zul10_value_counts, zul10_units;
    RETURN NULL;
END $$;

-- Counts every total anew from the runs and values (after a bulk load with
-- the triggers off, or a change they do not follow).
CREATE FUNCTION zul10_recount() RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM zul10_lock();
    TRUNCATE zul10_counted, zul10_run_counts, zul10_value_counts, zul10_units;
    INSERT INTO zul10_counted SELECT run_id FROM runs;
    INSERT INTO zul10_run_counts
        SELECT r.start_date, f.key, min(f.station), r.outcome, f.failed_item, min(f.cause),
               min(r.limits_revision), f.with_unit, count(*)
        FROM runs r CROSS JOIN LATERAL zul10_run_facts(r) f
        GROUP BY r.start_date, f.key, r.outcome, f.failed_item, f.with_unit;
    INSERT INTO zul10_value_counts
        SELECT r.start_date, v.item, v.name, v.slot, v.lower, v.upper, v.value, min(v.label),
               count(*)
        FROM measured_values v JOIN runs r USING (run_id)
        GROUP BY r.start_date, v.item, v.name, v.slot, v.lower, v.upper, v.value;
    INSERT INTO zul10_units
        SELECT sha256(convert_to(r.unit, 'UTF8')), min(r.unit), count(*),
               min(zul10_first_key(r.started_at, r.outcome)),
               max(zul10_last_key(r.started_at, r.outcome)),
               min(zul10_unit_rank(r.started_at, r.outcome, zul10_station(r.station, r.host))
                   COLLATE "C")
        FROM runs r WHERE r.unit <> ''
        GROUP BY 1;
END $$;

-- The triggers keep the totals with the rights of the schema's owner, so a
-- bench's role needs rights on the runs, items and values only (and a
-- retention job's on the runs). Their search path is the schema's alone, as
-- a function with its owner's rights must have it.
DO $$
DECLARE f text;
BEGIN
    FOREACH f IN ARRAY ARRAY['zul10_count_inserted()', 'zul10_uncount_deleted()',
                             'zul10_recount_updated()', 'zul10_clear_truncated()'] LOOP
        EXECUTE format('ALTER FUNCTION %s SECURITY DEFINER SET search_path = %I, pg_temp',
                       f, current_schema());
    END LOOP;
END $$;

CREATE CONSTRAINT TRIGGER zul10_count_inserted AFTER INSERT ON runs
    DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION zul10_count_inserted();
CREATE TRIGGER zul10_uncount_deleted BEFORE DELETE ON runs
    FOR EACH ROW EXECUTE FUNCTION zul10_uncount_deleted();
CREATE TRIGGER zul10_recount_updated BEFORE UPDATE ON runs
    FOR EACH ROW
    WHEN ((OLD.run_id, OLD.station, OLD.host, OLD.unit, OLD.limits_revision, OLD.started_at,
           OLD.start_date, OLD.outcome, OLD.failed_item, OLD.cause)
          IS DISTINCT FROM
          (NEW.run_id, NEW.station, NEW.host, NEW.unit, NEW.limits_revision, NEW.started_at,
           NEW.start_date, NEW.outcome, NEW.failed_item, NEW.cause))
    EXECUTE FUNCTION zul10_recount_updated();
CREATE TRIGGER zul10_clear_truncated AFTER TRUNCATE ON runs
    FOR EACH STATEMENT EXECUTE FUNCTION zul10_clear_truncated();

-- The runs already there.
SELECT zul10_recount();
