-- The tests' and the benchmark's own delivery into the database: the
-- records in the table incoming (record jsonb, one run a row) inserted as
-- the delivery inserts them, each run once (ON CONFLICT DO NOTHING), its
-- items and values only when its run was inserted; the number of runs
-- inserted is the answer. Run it in the transaction that filled incoming.
WITH r AS (
    INSERT INTO runs
    SELECT (i.record->>'run_id')::uuid, (i.record->>'format')::smallint,
           coalesce(nullif(i.record->>'station', ''), i.record->>'host'), i.record->>'unit',
           i.record->>'user', i.record->>'host', i.record->>'version', i.record->>'limits',
           i.record->>'port', i.record->>'device', i.record->>'line',
           (i.record->>'start')::timestamptz, left(i.record->>'start', 10)::date,
           (i.record->>'end')::timestamptz, (i.record->>'seconds')::float8,
           i.record->>'outcome', nullif((i.record->>'failed_item')::smallint, 0),
           i.record->>'cause', (i.record->>'exchanges')::bigint, (i.record->>'retries')::bigint,
           i.record
    FROM incoming i
    ON CONFLICT (run_id) DO NOTHING
    RETURNING run_id, record),
items AS (
    INSERT INTO items
    SELECT r.run_id, (it->>'item')::smallint, it->>'title', it->>'verdict',
           (it->>'eeprom_written')::boolean,
           CASE WHEN it ? 'report' THEN ARRAY(SELECT jsonb_array_elements_text(it->'report')) END
    FROM r CROSS JOIN LATERAL jsonb_array_elements(r.record->'items') it),
vals AS (
    INSERT INTO measured_values
    SELECT r.run_id, (it->>'item')::smallint, v->>'name', coalesce((v->>'slot')::smallint, -1),
           v->>'label', (v->>'value')::smallint, (v->>'lower')::smallint,
           (v->>'upper')::smallint, v->>'verdict'
    FROM r CROSS JOIN LATERAL jsonb_array_elements(r.record->'items') it
           CROSS JOIN LATERAL jsonb_array_elements(coalesce(it->'values', '[]')) v)
SELECT count(*) FROM r;
