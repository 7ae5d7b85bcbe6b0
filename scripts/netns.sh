#!/usr/bin/env bash
# The load tool against server processes and PostgreSQL that each have a
# network namespace of their own on this machine, as on machines of their
# own: every process reaches the others over a veth link to a bridge, each
# link holds every packet for a delay, and each server process is held to a
# share of a core by a control group. Run as root.
#
#   scripts/netns.sh            one run per number of processes and delay, then
#                               a run with PostgreSQL restarted in the middle
#
# Settings (environment): SERVERS ("1 2 3 4"), DELAYS in ms ("1 5 50"), LOSS
# ("0.1%", where the kernel has netem), RUN_SECONDS (5), OPERATORS (32), QUOTA
# (cores a process, 0.25), ORDERS (20000), RESTART (1: the restart run, 0: none;
# RESTART_SERVERS 2, RESTART_DELAY 1, RESTART_SECONDS 12: the restart 4 s into
# the run, calls refused as unavailable up to 3 s after it), BUILD_DIR (build/ci), LOGS (a directory
# that keeps every run's output; else they go with the rest).
#
# The namespaces are zel-pg (PostgreSQL, 10.231.0.2), zel-s1..zel-s4 (the
# server processes, 10.231.0.11..14) and zel-op (the load tool, 10.231.0.3),
# on the bridge zelbr0 (10.231.0.1/24, in this machine's own namespace). The
# addresses exist only on these links: nothing is routed off the machine.
# Where the kernel has netem, each namespace's end of its link delays what
# leaves it by the delay (a round trip between two namespaces: twice the
# delay) and drops LOSS of it. Where it has not (no CONFIG_NET_SCH_NETEM), a
# relay on the bridge (scripts/delay-relay.py) carries each connection and
# holds every chunk for the delay in each direction: the same round trips,
# no loss. Everything made is removed at the end, also on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

[ "$(id -u)" -eq 0 ] || { echo "netns.sh makes namespaces and control groups: run it as root" >&2; exit 2; }
build=${BUILD_DIR:-build/ci}
server_bin=$root/$build/server/zel-server
load_bin=$root/$build/bench/zel-load
for b in "$server_bin" "$load_bin"; do
  [ -x "$b" ] || { echo "$b is missing: cmake --build $build --target zel-server zel-load" >&2; exit 2; }
done
SERVERS=${SERVERS:-"1 2 3 4"}
DELAYS=${DELAYS:-"1 5 50"}
LOSS=${LOSS:-0.1%}
RUN_SECONDS=${RUN_SECONDS:-5}
OPERATORS=${OPERATORS:-32}
QUOTA=${QUOTA:-0.25}
ORDERS=${ORDERS:-20000}
RESTART=${RESTART:-1}
RESTART_SERVERS=${RESTART_SERVERS:-2}
RESTART_DELAY=${RESTART_DELAY:-1}
RESTART_SECONDS=${RESTART_SECONDS:-12}
for n in $SERVERS $RESTART_SERVERS; do
  case $n in 1|2|3|4) ;; *) echo "SERVERS: 1 to 4 processes" >&2; exit 2 ;; esac
done

pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
bridge=zelbr0
spaces=(zel-pg zel-op zel-s1 zel-s2 zel-s3 zel-s4)
declare -A addr=([zel-pg]=10.231.0.2 [zel-op]=10.231.0.3 [zel-s1]=10.231.0.11 [zel-s2]=10.231.0.12
                 [zel-s3]=10.231.0.13 [zel-s4]=10.231.0.14)
declare -A link=([zel-pg]=zv-pg [zel-op]=zv-op [zel-s1]=zv-s1 [zel-s2]=zv-s2 [zel-s3]=zv-s3 [zel-s4]=zv-s4)
for ns in "${spaces[@]}"; do
  if ip netns list | grep -qw "$ns"; then
    echo "the namespace $ns exists: another run is under way (or was cut off: ip netns del $ns)" >&2
    exit 1
  fi
done
if ip link show "$bridge" >/dev/null 2>&1; then
  echo "the bridge $bridge exists: another run is under way (or was cut off: ip link del $bridge)" >&2
  exit 1
fi

work=$(mktemp -d /tmp/zel-netns.XXXXXX)
chmod 755 "$work"
logs=${LOGS:-$work/logs}
mkdir -p "$logs"
server_pids=()
relay_pid=""
cgroups=()

cpu_v1=/sys/fs/cgroup/cpu
cpu_v2=/sys/fs/cgroup
# A control group holding process $2 to QUOTA of a core.
quota() {
  local name=zel-netns-$1 pid=$2 period=100000 dir
  local q
  q=$(awk -v c="$QUOTA" 'BEGIN { printf "%d", c * 100000 }')
  if [ -f $cpu_v1/cpu.cfs_quota_us ]; then
    dir=$cpu_v1/$name
    mkdir -p "$dir"
    echo $period >"$dir/cpu.cfs_period_us"
    echo "$q" >"$dir/cpu.cfs_quota_us"
  elif grep -qw cpu $cpu_v2/cgroup.controllers 2>/dev/null; then
    grep -qw cpu $cpu_v2/cgroup.subtree_control || echo +cpu >$cpu_v2/cgroup.subtree_control
    dir=$cpu_v2/$name
    mkdir -p "$dir"
    echo "$q $period" >"$dir/cpu.max"
  else
    echo "no cpu controller of the kernel's control groups here" >&2
    return 1
  fi
  echo "$pid" >"$dir/cgroup.procs"
  cgroups+=("$dir")
}

stop_servers() {
  local pid
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${server_pids[@]}"; do
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  server_pids=()
}

stop_relay() {
  if [ -n "$relay_pid" ]; then
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=""
  fi
}

cleanup() {
  set +e
  stop_servers
  stop_relay
  if [ -f "$work/pg/data/postmaster.pid" ]; then
    ip netns exec zel-pg runuser -u postgres -- "$pgbin/pg_ctl" -D "$work/pg/data" -m immediate -w stop >/dev/null 2>&1
  fi
  local dir
  for dir in "${cgroups[@]}"; do rmdir "$dir" 2>/dev/null; done
  local ns
  for ns in "${spaces[@]}"; do ip netns del "$ns" 2>/dev/null; done
  for ns in "${spaces[@]}"; do ip link del "${link[$ns]}" 2>/dev/null; done
  ip link del "$bridge" 2>/dev/null
  if [ -z "${LOGS:-}" ]; then rm -rf "$work"; else rm -rf "$work/pg"; rmdir "$work" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- the links ----------------------------------------------------------------
ip link add "$bridge" type bridge
ip addr add 10.231.0.1/24 dev "$bridge"
ip link set "$bridge" up
for ns in "${spaces[@]}"; do
  ip netns add "$ns"
  ip link add "${link[$ns]}" type veth peer name eth0 netns "$ns"
  ip link set "${link[$ns]}" master "$bridge" up
  ip -n "$ns" link set lo up
  ip -n "$ns" addr add "${addr[$ns]}/24" dev eth0
  ip -n "$ns" link set eth0 up
done
netem=0
if ip netns exec zel-op tc qdisc add dev eth0 root netem delay 1ms 2>/dev/null; then
  netem=1
  ip netns exec zel-op tc qdisc del dev eth0 root
fi
if [ $netem = 1 ]; then
  echo "links: netem on each namespace's end (delay, loss $LOSS)"
else
  echo "links: this kernel has no netem; a relay on the bridge holds each connection's data for the delay" \
       "in each direction (no loss)"
fi

# ---- PostgreSQL in its namespace ----------------------------------------------------
mkdir -p "$work/pg"
chown postgres:postgres "$work/pg"
touch "$logs/postgresql.log"
chown postgres "$logs/postgresql.log"
runuser -u postgres -- "$pgbin/initdb" -D "$work/pg/data" -A trust -U zel >/dev/null
echo "host all all 10.231.0.0/24 trust" >>"$work/pg/data/pg_hba.conf"
ip netns exec zel-pg runuser -u postgres -- "$pgbin/pg_ctl" -D "$work/pg/data" \
  -o "-k $work/pg -p 5432 -c listen_addresses=${addr[zel-pg]} -c fsync=off -c max_connections=200" \
  -l "$logs/postgresql.log" -w start >/dev/null
# Seeded once into a template: each run starts from a copy of it, with all
# its orders still to work on.
pg_as() { ip netns exec zel-pg runuser -u postgres -- "$pgbin/$1" -h "${addr[zel-pg]}" -U zel "${@:2}"; }
pg_as createdb zelseed
seed_url="postgresql://zel@${addr[zel-pg]}:5432/zelseed"
ip netns exec zel-op "$server_bin" init --db "$seed_url" >/dev/null
echo "seeding $ORDERS orders"
ip netns exec zel-op "$server_bin" seed --db "$seed_url" --orders "$ORDERS" 2>/dev/null >/dev/null
direct_url="postgresql://zel@${addr[zel-pg]}:5432/zel"

# ---- one run --------------------------------------------------------------------------
# set_delay D: the links (netem) or the relay for a delay of D ms.
set_delay() {
  local d=$1 ns
  stop_relay
  if [ $netem = 1 ]; then
    for ns in "${spaces[@]}"; do
      ip netns exec "$ns" tc qdisc replace dev eth0 root netem delay "${d}ms" loss "$LOSS"
    done
    server_db_url=$direct_url
    return
  fi
  local pairs=(10.231.0.1:15432 "${addr[zel-pg]}:5432")
  for i in 1 2 3 4; do pairs+=("10.231.0.1:$((16000 + i))" "${addr[zel-s$i]}:50051"); done
  python3 scripts/delay-relay.py "$d" "${pairs[@]}" >"$logs/relay.log" 2>&1 &
  relay_pid=$!
  for _ in $(seq 1 50); do grep -q relaying "$logs/relay.log" 2>/dev/null && break; sleep 0.1; done
  grep -q relaying "$logs/relay.log" || { echo "the relay did not start: $logs/relay.log" >&2; exit 1; }
  server_db_url="postgresql://zel@10.231.0.1:15432/zel"
}

# server_address I: where the load tool reaches process I.
server_address() {
  if [ $netem = 1 ]; then echo "${addr[zel-s$1]}:50051"; else echo "10.231.0.1:$((16000 + $1))"; fi
}

# start_servers N: N processes, each in its namespace and its control group.
start_servers() {
  local n=$1 i list=()
  for i in $(seq 1 "$n"); do
    ip netns exec "zel-s$i" "$server_bin" serve --db "$server_db_url" --listen "${addr[zel-s$i]}:50051" \
      >"$logs/server$i.out" 2>>"$logs/server$i.log" &
    server_pids+=($!)
    quota "s$i" $!
    for _ in $(seq 1 200); do grep -q '^listening on' "$logs/server$i.out" && break; sleep 0.1; done
    grep -q '^listening on' "$logs/server$i.out" || { echo "zel-server $i did not start: $logs/server$i.log" >&2; exit 1; }
    list+=("$(server_address "$i")")
  done
  servers=$(IFS=,; echo "${list[*]}")
}

# run NAME N [zel-load options...]: N processes, the load tool against them.
summary=()
failed=0
run() {
  local name=$1 n=$2
  shift 2
  pg_as dropdb --if-exists zel 2>/dev/null
  pg_as createdb -T zelseed zel
  start_servers "$n"
  local out=$logs/$name.txt rc=0
  timeout $((RUN_SECONDS * 4 + 240)) ip netns exec zel-op "$load_bin" --servers "$servers" --db "$direct_url" \
    --operators "$OPERATORS" --seconds "$RUN_SECONDS" "$@" >"$out" 2>&1 || rc=$?
  stop_servers
  local cps p99g p99r checks
  cps=$(sed -n 's/.*: \([0-9]*\) calls per second.*/\1/p' "$out")
  p99g=$(awk '$1 == "GetIncPed" { print $4 }' "$out")
  p99r=$(awk '$1 == "SetIncPed" && $2 == "(release)" { print $5 }' "$out")
  if [ $rc = 0 ]; then checks="passed"; else checks="FAILED (exit $rc)"; failed=1; fi
  summary+=("$(printf '%-14s %9s %12s %14s   %s' "$name" "${cps:--}" "${p99g:--}" "${p99r:--}" "$checks")")
  echo "${summary[-1]}"
}

printf '%-14s %9s %12s %14s   %s\n' "run" "calls/s" "p99 GetIncPed" "p99 release µs" "checks"
for d in $DELAYS; do
  set_delay "$d"
  for n in $SERVERS; do run "${n}p-${d}ms" "$n"; done
done
if [ "$RESTART" = 1 ]; then
  set_delay "$RESTART_DELAY"
  restart="ip netns exec zel-pg runuser -u postgres -- $pgbin/pg_ctl -D $work/pg/data -m fast -w restart >/dev/null"
  RUN_SECONDS=$RESTART_SECONDS run "${RESTART_SERVERS}p-${RESTART_DELAY}ms-restart" "$RESTART_SERVERS" \
    --outage-after 4 --outage-grace 3 --outage-cmd "$restart"
fi
echo "settings: $OPERATORS operators, $RUN_SECONDS s a run, $QUOTA of a core a server process; logs in $logs"
[ -z "${LOGS:-}" ] && echo "(set LOGS=DIR to keep them)"
exit $failed
