#!/usr/bin/env bash
# A throwaway PostgreSQL primary and a streaming standby of it on loopback, the
# primary committing only once the standby has the commit (synchronous
# replication), for a try of a switch to the standby.
#   scripts/pg-pair.sh start DIR PORT1 PORT2  -> prints the URL naming both,
#                                                the writable one chosen at
#                                                each connection
#   scripts/pg-pair.sh failover DIR           stops the primary and promotes
#                                             the standby (returns once it
#                                             takes writes)
#   scripts/pg-pair.sh stop DIR               stops both and removes DIR
set -euo pipefail
cmd=${1:-} dir=${2:-}
[ -n "$dir" ] || { echo "usage: $0 start DIR PORT1 PORT2 | failover DIR | stop DIR" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
opts() { echo "-k $dir -p $1 -c listen_addresses=127.0.0.1 -c fsync=off"; }
psql_at() { as_pg "$bin/psql" -h 127.0.0.1 -p "$1" -U zel -d postgres -Atqc "$2"; }
case $cmd in
  start)
    p1=$3 p2=$4
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    as_pg "$bin/initdb" -D "$dir/primary" -A trust -U zel >/dev/null
    as_pg "$bin/pg_ctl" -D "$dir/primary" -o "$(opts "$p1")" -l "$dir/primary.log" -w start >/dev/null
    as_pg "$bin/createdb" -h 127.0.0.1 -p "$p1" -U zel zel
    # The standby: a copy of the primary that follows its WAL, known to it
    # by its application name.
    as_pg "$bin/pg_basebackup" -d "host=127.0.0.1 port=$p1 user=zel application_name=zelstandby" \
      -D "$dir/standby" -R -X stream -c fast >/dev/null
    as_pg "$bin/pg_ctl" -D "$dir/standby" -o "$(opts "$p2")" -l "$dir/standby.log" -w start >/dev/null
    # Only now synchronous: set before the copy, the standby would inherit
    # it and, once promoted, wait for a standby of its own for ever.
    psql_at "$p1" "ALTER SYSTEM SET synchronous_standby_names = 'zelstandby'" >/dev/null
    psql_at "$p1" "SELECT pg_reload_conf()" >/dev/null
    for _ in $(seq 1 100); do
      [ "$(psql_at "$p1" "SELECT sync_state FROM pg_stat_replication WHERE application_name = 'zelstandby'")" = sync ] && break
      sleep 0.1
    done
    state=$(psql_at "$p1" "SELECT sync_state FROM pg_stat_replication WHERE application_name = 'zelstandby'")
    [ "$state" = sync ] || { echo "the standby did not become synchronous ($state)" >&2; exit 1; }
    echo "$p1 $p2" >"$dir/ports"
    echo "postgresql://zel@127.0.0.1:$p1,127.0.0.1:$p2/zel?target_session_attrs=read-write"
    ;;
  failover)
    as_pg "$bin/pg_ctl" -D "$dir/primary" -m fast -w stop >/dev/null
    as_pg "$bin/pg_ctl" -D "$dir/standby" -w promote >/dev/null
    ;;
  stop)
    for d in standby primary; do
      [ -f "$dir/$d/postmaster.pid" ] && as_pg "$bin/pg_ctl" -D "$dir/$d" -m fast -w stop >/dev/null || true
    done
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start DIR PORT1 PORT2 | failover DIR | stop DIR" >&2; exit 2 ;;
esac
