#!/usr/bin/env bash
# A throwaway PostgreSQL cluster on loopback for the tests.
#   scripts/pg.sh start DIR PORT   -> prints the connection URL
#   scripts/pg.sh stop DIR
set -euo pipefail
cmd=$1 dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
case $cmd in
  start)
    port=$3
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    as_pg "$bin/initdb" -D "$dir/data" -A trust -U zel >/dev/null
    as_pg "$bin/pg_ctl" -D "$dir/data" -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off" \
      -l "$dir/log" -w start >/dev/null
    as_pg "$bin/createdb" -h 127.0.0.1 -p "$port" -U zel zel
    echo "postgresql://zel@127.0.0.1:$port/zel"
    ;;
  stop)
    [ -d "$dir/data" ] && as_pg "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start DIR PORT | stop DIR" >&2; exit 2 ;;
esac
