#!/usr/bin/env bash
# One logical application server for a try: a PostgreSQL cluster on loopback,
# one database initialised and seeded, and N zel-server processes in front of
# it, each on its own port. Prints the shell's --server list and the commands
# to try it with (the shell, the load tool).
#   scripts/cluster.sh start [N] [DIR]   N processes (default 2); DIR holds the
#                                        database, the logs and the process ids
#                                        (default var/cluster)
#   scripts/cluster.sh stop [DIR]        stops the processes and removes DIR
# ORDERS (default 60000) sets how many orders are seeded. SERVER_CPUS, a
# comma-separated list of CPUs or ranges (0,1 or 0,2-3), gives process i the
# i-th item in turn (zel-server serve --cpus): a core of its own per process.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmd=${1:-}
case $cmd in
  start)
    n=${2:-2}
    dir=${3:-var/cluster}
    ;;
  stop)
    dir=${2:-var/cluster}
    ;;
  *) echo "usage: $0 start [N] [DIR] | stop [DIR]" >&2; exit 2 ;;
esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

if [ "$cmd" = stop ]; then
  if [ -f "$dir/servers.pid" ]; then
    # Only a process that still runs zel-server is ours: a process id written
    # long ago may belong to another program by now.
    ours=()
    while read -r pid; do
      case $(readlink "/proc/$pid/exe" 2>/dev/null || true) in */zel-server) ours+=("$pid") ;; esac
    done <"$dir/servers.pid"
    for pid in "${ours[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${ours[@]}"; do
      for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    done
  fi
  bash scripts/pg.sh stop "$dir/pg"
  rm -rf "$dir"
  echo "stopped"
  exit 0
fi

if [ -f "$dir/servers.pid" ]; then
  echo "$dir holds a running setup: run '$0 stop $dir' first" >&2
  exit 1
fi
case $n in ''|*[!0-9]*|0) echo "N must be a number of processes (1 or more)" >&2; exit 2 ;; esac

bash scripts/install-deps.sh
build=${BUILD_DIR:-build/run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target zel-server zel-host zel-load PKG_ZEL08100
server="$root/$build/server/zel-server"

# From here on a failed step stops what this start has started, and says so.
trap 'status=$?; [ $status -eq 0 ] || { echo "cluster.sh: start failed; stopping what it started" >&2; bash "$root/scripts/cluster.sh" stop "$dir" >/dev/null; }' EXIT
: >"$dir/servers.pid"
# pg.sh picks a free port, retries a taken one, and says why PostgreSQL did
# not start when it does not.
url=$(bash scripts/pg.sh start "$dir/pg")
"$server" init --db "$url" >/dev/null
echo "Seeding ${ORDERS:-60000} orders into $url"
"$server" seed --db "$url" --orders "${ORDERS:-60000}" 2>/dev/null

IFS=, read -r -a cpus <<<"${SERVER_CPUS:-}"
addresses=()
for i in $(seq 1 "$n"); do
  out="$dir/server$i.out"
  pin=()
  if [ ${#cpus[@]} -gt 0 ]; then pin=(--cpus "${cpus[$(( (i - 1) % ${#cpus[@]} ))]}"); fi
  nohup "$server" serve --db "$url" --listen 127.0.0.1:0 "${pin[@]}" >"$out" 2>"$dir/server$i.log" &
  pid=$!
  echo "$pid" >>"$dir/servers.pid"
  addr=""
  for _ in $(seq 1 200); do
    addr=$(sed -n 's/^listening on //p' "$out" | head -n 1)
    [ -n "$addr" ] && break
    kill -0 "$pid" 2>/dev/null || break # it ended: no point in waiting
    sleep 0.1
  done
  if [ -z "$addr" ]; then
    echo "zel-server $i did not start:" >&2
    tail -n 15 "$dir/server$i.log" >&2
    exit 1
  fi
  addresses+=("$addr")
done
list=$(IFS=,; echo "${addresses[*]}")
umask 077
printf 'demo\n' >"$dir/demo.password"
echo "$list" >"$dir/servers"

cat <<EOF
$n zel-server process(es) over one PostgreSQL database:
  database  $url
  servers   $list   (process ids in $dir/servers.pid, logs in $dir/server*.log)

The shell, logged in as the demo operator 0001 (calls spread over every process):
  $build/app/zel-host --server $list --db '$url' \\
      --operator 0001 --password-file $dir/demo.password --locale pt_BR
Simulated operators, one process killed after 10 s:
  $build/bench/zel-load --servers $list --db '$url' \\
      --operators 64 --seconds 20 --kill-pid $(head -n 1 "$dir/servers.pid") --kill-after 10
Stop it all:
  bash scripts/cluster.sh stop${3:+ $3}
EOF
