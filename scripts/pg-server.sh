#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, from Debian's postgresql
# package: its own data folder, a Unix socket in that folder and 127.0.0.1 on
# a free port, nothing else. As root (CI runs as root), the server runs as
# the unprivileged user nobody, since PostgreSQL refuses to run as root.
#
#   scripts/pg-server.sh start DIR    # initdb into DIR/data, start, wait until it answers
#   scripts/pg-server.sh stop DIR [MODE]  # stop it (MODE: fast, the default, or
#                                     # immediate, as a crash), whatever state it is in
#   scripts/pg-server.sh resume DIR   # start a stopped one again, its data kept
#   scripts/pg-server.sh env DIR      # the libpq variables to reach it, one per line
#
# After start, DIR/env holds PGHOST (the socket folder), PGPORT, PGUSER and
# PGDATABASE (both "zul10"), and DIR/uri a connection URI over 127.0.0.1
# (postgresql://zul10@127.0.0.1:PORT/zul10). Local and 127.0.0.1 connections
# of every role are trusted; a test that wants a password sets up its own
# role and pg_hba line.
set -euo pipefail
usage="usage: scripts/pg-server.sh start|stop|resume|env DIR"
command=${1:?$usage}
dir=$(realpath -m "${2:?$usage}")
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -x $bin/pg_ctl ]] || { echo "pg-server: no PostgreSQL server (scripts/deps.sh installs it)" >&2; exit 1; }

# Runs a command as the server's user.
as_server() {
    if [[ $(id -u) -eq 0 ]]; then
        runuser -u nobody -- "$@"
    else
        "$@"
    fi
}

case $command in
start)
    if [[ -f $dir/data/postmaster.pid ]]; then
        "$0" stop "$dir"
    fi
    rm -rf "$dir"
    mkdir -p "$dir/data" "$dir/socket" "$dir/log"
    if [[ $(id -u) -eq 0 ]]; then
        chown nobody "$dir/data" "$dir/socket" "$dir/log"
        chmod 755 "$dir"
        # nobody must reach the folder: a folder under /tmp does.
        runuser -u nobody -- test -x "$dir" ||
            { echo "pg-server: the user nobody cannot reach $dir (use a folder under /tmp)" >&2; exit 1; }
    fi
    as_server "$bin/initdb" -D "$dir/data" -U zul10 -A trust -E UTF8 --locale=C.UTF-8 \
        >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # A free port on 127.0.0.1.
    port=""
    for candidate in $(seq 55432 55532); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
            port=$candidate
            break
        fi
    done
    [[ -n $port ]] || { echo "pg-server: no free port" >&2; exit 1; }
    cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$dir/socket'
fsync = on
max_connections = 60
log_min_messages = warning
CONF
    as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/log/server.log" -w -t 30 start >/dev/null ||
        { cat "$dir/log/server.log" >&2; exit 1; }
    as_server "$bin/createdb" -h "$dir/socket" -p "$port" -U zul10 zul10
    printf 'PGHOST=%s\nPGPORT=%s\nPGUSER=zul10\nPGDATABASE=zul10\n' "$dir/socket" "$port" >"$dir/env"
    printf 'postgresql://zul10@127.0.0.1:%s/zul10\n' "$port" >"$dir/uri"
    echo "pg-server: up on $dir/socket and 127.0.0.1:$port"
    ;;
stop)
    mode=${3:-fast}
    [[ $mode == fast || $mode == immediate ]] || { echo "$usage [fast|immediate]" >&2; exit 2; }
    if [[ -f $dir/data/postmaster.pid ]]; then
        as_server "$bin/pg_ctl" -D "$dir/data" -m "$mode" -w -t 30 stop >/dev/null 2>&1 ||
            as_server "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    ;;
resume)
    [[ -f $dir/data/PG_VERSION ]] || { echo "pg-server: no server's data in $dir" >&2; exit 1; }
    as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/log/server.log" -w -t 30 start >/dev/null ||
        { tail -20 "$dir/log/server.log" >&2; exit 1; }
    ;;
env)
    cat "$dir/env"
    ;;
*)
    echo "$usage" >&2
    exit 2
    ;;
esac
