#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test:
#  1. the whole project (Release with assertions, warnings as errors) under
#     ctest, with a throwaway PostgreSQL on loopback for the server suite;
#  2. the data layer and its tests again under AddressSanitizer and
#     UndefinedBehaviorSanitizer;
#  3. a short smoke run of the benchmarks and of the load tool.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}

bash scripts/install-deps.sh

# The code follows .clang-format.
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
  echo "These files differ from .clang-format: run clang-format -i on them." >&2
  exit 1
fi

build=${BUILD_DIR:-$root/build/ci}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2" \
  -DZEL_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

pgdir=$(mktemp -d /tmp/zel-pg.XXXXXX)
cleanup() { bash scripts/pg.sh stop "$pgdir"; }
trap cleanup EXIT
pgport=$(( 20000 + RANDOM % 20000 ))
export ZEL_TEST_PG_URL=$(bash scripts/pg.sh start "$pgdir" "$pgport")
echo "Throwaway PostgreSQL: $ZEL_TEST_PG_URL"

(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 600)

san=${SAN_BUILD_DIR:-$root/build/sanitize}
cmake -S . -B "$san" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEL_DATA_ONLY=ON -DZEL_SANITIZE=ON \
  -DZEL_WERROR=ON >/dev/null
cmake --build "$san" -j "$jobs"
(cd "$san" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -R '^data\.')

"$build/bench/zel-bench-packets" --smoke
"$build/bench/zel-bench-screen" --smoke

# Application server: benchmark smoke run (SQLite and the throwaway PostgreSQL),
# then a short libFuzzer run over change packets (clang, sanitizers).
"$build/bench/zel-bench-server" --smoke
# Simulated operators against two server processes over the throwaway
# PostgreSQL, one of them killed mid-run; the database is checked at the end.
"$build/bench/zel-load" --smoke
fuzz=${FUZZ_BUILD_DIR:-$root/build/fuzz}
cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DZEL_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "$jobs" --target zel-fuzz-changes
corpus=$(mktemp -d /tmp/zel-fuzz-corpus.XXXXXX)
cp tests/server/fuzz-corpus/* "$corpus"/
fuzzlog="$corpus.log"
if ! "$fuzz/tests/server/zel-fuzz-changes" -max_total_time=20 -print_final_stats=1 "$corpus" >"$fuzzlog" 2>&1; then
  tail -60 "$fuzzlog"; exit 1
fi
tail -4 "$fuzzlog"
rm -rf "$corpus" "$fuzzlog"
