#!/usr/bin/env bash
# The product's main job on the embedded default: installs what is missing,
# builds the programs it runs (not the tests), creates and seeds the demo
# database once (var/zel.db), starts zel-server on loopback and zel-host logged
# in as the demo operator "0001".
# Without a display the shell runs under Xvfb logged in as "0005", whose login
# keeps to branch 0001: it opens "Inconsistência do Pedido", the filter dialog
# opens by itself and is confirmed for every order of the branch, whatever its
# dates, and the shell saves a screenshot of the review screen holding them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target zel-server zel-host PKG_ZEL08100 PKG_ZEL08200

server="$build/server/zel-server"
host="$build/app/zel-host"
mkdir -p var
db="$root/var/zel.db"
if [ ! -f "$db" ]; then
  echo "Creating the demo database $db"
  "$server" init --db "sqlite:$db"
  "$server" seed --db "sqlite:$db"
else
  # A database of an earlier version is brought to this one in place.
  "$server" init --db "sqlite:$db"
fi

out=var/zel-server.out
: >"$out"
"$server" serve --db "sqlite:$db" --listen 127.0.0.1:0 >"$out" 2>var/zel-server.log &
server_pid=$!
stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}
trap stop_server EXIT
addr=""
for _ in $(seq 1 200); do
  addr=$(sed -n 's/^listening on //p' "$out" | head -n 1)
  [ -n "$addr" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$addr" ]; then
  echo "zel-server did not start; see var/zel-server.log" >&2
  exit 1
fi
echo "zel-server listening on $addr (log: var/zel-server.log)"

umask 077
printf 'demo\n' >var/demo.password
args=(--server "$addr" --db "sqlite:$db" --password-file var/demo.password --locale pt_BR)

if [ -z "${DISPLAY:-}" ]; then
  shot="$root/var/zel-host.png"
  rm -f "$shot"
  xvfb-run -a -s "-screen 0 1280x800x24" "$host" "${args[@]}" --operator 0005 --open-incped \
    --filter "rbtTNrPedido=1,depDe=,depAte=,depEntrDE=,depEntrAte=" \
    --screenshot "$shot" --screenshot-delay 4000 --quit-after-screenshot
  [ -s "$shot" ] || { echo "zel-host saved no screenshot" >&2; exit 1; }
  echo "Screenshot of the review screen with the orders of branch 0001: $shot"
else
  echo "Starting zel-host as operator 0001"
  "$host" "${args[@]}" --operator 0001
fi
