#!/usr/bin/env bash
# Builds the Debian packages from a build folder and checks them as a site
# would get them:
#   1. cpack -G DEB: zel-server and zel-host;
#   2. lintian: no error;
#   3. systemd-analyze verify on the server's unit (with its program's path
#      pointed at the unpacked one: the packages are not installed here);
#   4. both packages unpacked with dpkg-deb -x into a temporary root: no
#      library of theirs comes from the build folder; the server runs from
#      there with the packaged configuration against a fresh SQLite database
#      (and a fresh PostgreSQL database when ZEL_TEST_PG_URL names a
#      cluster), and the shell, headless, logs in to it and loads its module
#      from the package's module folder.
# The temporary root and every process started here go at the end.
#   scripts/package-check.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: $0 BUILD_DIR}")
cd "$build"

rm -f zel-server_*.deb zel-host_*.deb
cpack -G DEB >cpack.log 2>&1 || { tail -30 cpack.log >&2; echo "cpack failed" >&2; exit 1; }
server_deb=$(ls zel-server_*.deb)
host_deb=$(ls zel-host_*.deb)
echo "Packages: $server_deb $host_deb"

lintian --fail-on error --suppress-tags no-manual-page "$server_deb" "$host_deb"

root=$(mktemp -d /tmp/zel-pkgroot.XXXXXX)
pids=()
pgdb=""
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  if [ -n "$pgdb" ]; then psql -q "$ZEL_TEST_PG_URL" -c "DROP DATABASE IF EXISTS $pgdb" >/dev/null 2>&1 || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
dpkg-deb -x "$server_deb" "$root"
dpkg-deb -x "$host_deb" "$root"

mkdir "$root/verify"
sed "s|/usr/bin/zel-server|$root/usr/bin/zel-server|g" "$root/lib/systemd/system/zel-server.service" \
  >"$root/verify/zel-server.service"
# verify reports some findings only as warnings, with a zero exit status.
if ! out=$(systemd-analyze verify "$root/verify/zel-server.service" 2>&1) || [ -n "$out" ]; then
  echo "systemd-analyze verify on zel-server.service:" >&2
  echo "$out" >&2
  exit 1
fi

for f in "$root/usr/bin/zel-server" "$root/usr/bin/zel-host" "$root"/usr/lib/zel/modules/*.so; do
  if ldd "$f" | grep -E "not found|$build/"; then
    echo "$f does not find its libraries in the unpacked package (see above)" >&2
    exit 1
  fi
done

server=$root/usr/bin/zel-server
conf=$root/etc/zel/zel-server.conf

# Starts the unpacked server with the packaged configuration; the database
# and a free port are given on the command line, as overrides of the file's.
# Sets addr.
serve() {
  local db=$1 out=$root/serve.out
  : >"$out"
  "$server" serve --config "$conf" --db "$db" --listen 127.0.0.1:0 >"$out" 2>"$root/serve.log" &
  pids+=($!)
  addr=""
  for _ in $(seq 1 100); do
    addr=$(sed -n 's/^listening on //p' "$out" | head -n 1)
    [ -n "$addr" ] && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "the unpacked zel-server did not start:" >&2
  cat "$root/serve.log" >&2
  exit 1
}
stop_server() {
  local pid=${pids[-1]} status=0
  kill -TERM "$pid"
  wait "$pid" || status=$?
  unset 'pids[-1]'
  [ "$status" -eq 0 ] || { echo "zel-server ended with status $status on SIGTERM" >&2; cat "$root/serve.log" >&2; exit 1; }
}

db="sqlite:$root/var/zel.db"
mkdir -p "$root/var"
"$server" init --config "$conf" --db "$db"
"$server" seed --db "$db" --orders 60 --branches 1 2>/dev/null
serve "$db"
echo "Unpacked zel-server on $addr"

umask 077
printf 'demo\n' >"$root/demo.password"
shot=$root/shot.png
QT_QPA_PLATFORM=offscreen "$root/usr/bin/zel-host" --server "$addr" --db "$db" \
  --password-file "$root/demo.password" --operator 0005 --open-incped \
  --filter "rbtTNrPedido=1,depDe=,depAte=,depEntrDE=,depEntrAte=" \
  --screenshot "$shot" --screenshot-delay 3000 --quit-after-screenshot >"$root/host.out" 2>&1 &
host_pid=$!
pids+=("$host_pid")
# Both modules are loaded from the package's module folder, not the build's.
modules=("$root/usr/lib/zel/modules/libPKG_ZEL08100.so" "$root/usr/lib/zel/modules/libPKG_ZEL08200.so")
module="${modules[*]}"
loaded=""
for _ in $(seq 1 200); do
  if grep -qF "${modules[0]}" "/proc/$host_pid/maps" 2>/dev/null &&
    grep -qF "${modules[1]}" "/proc/$host_pid/maps" 2>/dev/null; then
    loaded=yes
    break
  fi
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
for _ in $(seq 1 900); do # it quits after its screenshot; 90 s at most
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
kill -9 "$host_pid" 2>/dev/null || true
status=0
wait "$host_pid" || status=$?
unset 'pids[-1]'
if [ -z "$loaded" ] || [ "$status" -ne 0 ] || [ ! -s "$shot" ]; then
  echo "the unpacked zel-host (status $status, module loaded: ${loaded:-no}):" >&2
  cat "$root/host.out" >&2
  exit 1
fi
echo "Unpacked zel-host logged in, loaded $module and saved its screenshot"
stop_server

if [ -n "${ZEL_TEST_PG_URL:-}" ]; then
  pgdb="zel_pkg_$$"
  psql -q "$ZEL_TEST_PG_URL" -c "CREATE DATABASE $pgdb" >/dev/null
  pgurl="${ZEL_TEST_PG_URL%/*}/$pgdb"
  "$server" init --config "$conf" --db "$pgurl"
  serve "$pgurl"
  echo "Unpacked zel-server on $addr over a fresh PostgreSQL database"
  stop_server
fi
echo "Packages checked."
