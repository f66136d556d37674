-- The run records: one row per run, keyed by its run id, with its items and
-- every judged value, and the whole record as it was spooled. Applied by
-- zul10-records db init, which notes it in zul10_schema.

-- The migrations applied, one row each.
CREATE TABLE zul10_schema (
    version    integer PRIMARY KEY,
    name       text NOT NULL,
    applied_at timestamptz NOT NULL DEFAULT now());

CREATE TABLE runs (
    run_id          uuid PRIMARY KEY,
    format          smallint NOT NULL,
    station         text NOT NULL,
    unit            text,                    -- NULL when no serial number was scanned
    operator        text NOT NULL,           -- the record's "user"
    host            text NOT NULL,
    program_version text NOT NULL,
    limits_revision text NOT NULL,
    port            text NOT NULL,
    device          text NOT NULL,
    line            text NOT NULL,
    started_at      timestamptz NOT NULL,    -- "start" as a moment
    start_date      date NOT NULL,           -- the local date of the start, as the record
                                             -- files' names and --from/--to have it
    ended_at        timestamptz,
    seconds         double precision NOT NULL,
    outcome         text NOT NULL CHECK (outcome IN ('complete', 'failed', 'communication error',
                                                     'cancelled', 'closed')),
    failed_item     smallint CHECK (failed_item BETWEEN 1 AND 7),
    cause           text,
    exchanges       bigint NOT NULL,
    retries         bigint NOT NULL,
    record          jsonb NOT NULL);         -- the whole record line as it was spooled

CREATE TABLE items (
    run_id         uuid NOT NULL REFERENCES runs ON DELETE CASCADE,
    item           smallint NOT NULL CHECK (item BETWEEN 1 AND 7),
    title          text NOT NULL,
    verdict        text NOT NULL,
    eeprom_written boolean,
    report         text[],
    PRIMARY KEY (run_id, item));

-- Every judged value of the records' "values".
CREATE TABLE measured_values (
    run_id  uuid NOT NULL REFERENCES runs ON DELETE CASCADE,
    item    smallint NOT NULL,
    name    text NOT NULL,
    slot    smallint NOT NULL DEFAULT -1,    -- -1: a value without a sensor slot (levers, speed)
    label   text NOT NULL,
    value   smallint NOT NULL,
    lower   smallint NOT NULL,
    upper   smallint NOT NULL,
    verdict text NOT NULL CHECK (verdict IN ('pass', 'fail', 'not judged')),
    PRIMARY KEY (run_id, item, name, slot));
