#!/usr/bin/env bash
# A throwaway PostgreSQL cluster on loopback for the tests.
#   scripts/pg.sh start DIR [PORT]   -> prints the connection URL
#   scripts/pg.sh stop DIR
# Without PORT (or with 0) a free port is picked at random; a port that
# another program takes first is retried with another one, a few times. A
# start that fails for any other reason stops at once, with PostgreSQL's own
# words on the standard error, and leaves nothing running.
set -euo pipefail
cmd=${1:-} dir=${2:-}
[ -n "$dir" ] || { echo "usage: $0 start DIR [PORT] | stop DIR" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$bin" ] || { echo "pg.sh: PostgreSQL is not installed (no /usr/lib/postgresql/*/bin)" >&2; exit 1; }
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }

fail() {
  echo "pg.sh: $1" >&2
  if [ -f "$dir/log" ]; then
    echo "--- the end of $dir/log:" >&2
    tail -n 15 "$dir/log" >&2
  fi
  exit 1
}

case $cmd in
  start)
    port=${3:-0}
    case $port in ''|*[!0-9]*) echo "pg.sh: PORT must be a number, not '$port'" >&2; exit 2 ;; esac
    if [ -e "$dir/data" ]; then
      echo "pg.sh: $dir/data exists already: stop that cluster first (pg.sh stop $dir)" >&2
      exit 1
    fi
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    if ! out=$(as_pg "$bin/initdb" -D "$dir/data" -A trust -U zel 2>&1); then
      echo "$out" | tail -n 15 >&2
      fail "initdb failed in $dir/data"
    fi
    tries=1
    [ "$port" -eq 0 ] && tries=8
    started=""
    for _ in $(seq 1 "$tries"); do
      p=$port
      [ "$p" -eq 0 ] && p=$(( 20000 + RANDOM % 20000 ))
      : >"$dir/log"
      [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir/log"
      if as_pg "$bin/pg_ctl" -D "$dir/data" -o "-k $dir -p $p -c listen_addresses=127.0.0.1 -c fsync=off" \
        -l "$dir/log" -w -t 60 start >/dev/null 2>&1; then
        started=$p
        break
      fi
      # Only a port that something else holds is worth another try.
      grep -q "Address already in use" "$dir/log" || fail "PostgreSQL did not start on port $p"
      [ "$port" -eq 0 ] || fail "port $p is taken"
      echo "pg.sh: port $p is taken, trying another" >&2
    done
    [ -n "$started" ] || fail "no free port found after $tries tries"
    if ! out=$(as_pg "$bin/createdb" -h 127.0.0.1 -p "$started" -U zel zel 2>&1); then
      echo "$out" >&2
      as_pg "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
      fail "createdb failed on port $started"
    fi
    echo "postgresql://zel@127.0.0.1:$started/zel"
    ;;
  stop)
    if [ -d "$dir/data" ]; then as_pg "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true; fi
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start DIR [PORT] | stop DIR" >&2; exit 2 ;;
esac
