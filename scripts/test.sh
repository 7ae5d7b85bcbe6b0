#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test:
#  1. the whole project, built at the README's developer build's
#     optimisation (GCC's -O3, warnings as errors) but with assertions on,
#     under ctest, with a throwaway PostgreSQL on loopback for the server suite;
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

# The tests run under GoogleTest, where QtTest's checking macros return from
# the test on failure without failing it: wait with QTest::qWaitFor and assert
# with gtest's macros instead.
if git grep -nE '^[^/]*\b(QTRY_[A-Z_]+|QVERIFY[A-Z0-9_]*|QCOMPARE[A-Z_]*|QFAIL|QSKIP)[[:space:]]*\(' -- 'tests/*.cpp' 'tests/*.h'; then
  echo "QtTest's checking macros cannot fail a GoogleTest test: use ASSERT_TRUE(QTest::qWaitFor(...)) and gtest's assertions." >&2
  exit 1
fi

build=$(realpath -m "${BUILD_DIR:-$root/build/ci}")
# The developer build's optimisation, so that its warnings are caught here,
# without -DNDEBUG: the tests run with the code's assertions on. Stated in
# full so that a build folder configured otherwise is brought back to it.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O3" \
  -DZEL_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

pgdir=$(mktemp -d /tmp/zel-pg.XXXXXX)
cleanup() { bash scripts/pg.sh stop "$pgdir"; }
trap cleanup EXIT
pgport=$(( 20000 + RANDOM % 20000 ))
export ZEL_TEST_PG_URL=$(bash scripts/pg.sh start "$pgdir" "$pgport")
echo "Throwaway PostgreSQL: $ZEL_TEST_PG_URL"

# A test program stops every process it starts, also when it fails: a program
# of this build still running after the tests was left behind by them.
leftovers() {
  local exe
  # Processes come and go while /proc is read, and find then exits non-zero:
  # that is no finding of its own.
  { find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$build/*" 2>/dev/null || true; } | while read -r exe; do
    echo "$(basename "$(dirname "$exe")") $(readlink "$exe" || true)"
  done
}
check_no_leftovers() {
  local left until=$((SECONDS + 5))
  while :; do # processes killed a moment ago may still be exiting
    left=$(leftovers)
    [ -z "$left" ] && return 0
    [ $SECONDS -ge $until ] && break
    sleep 0.2
  done
  echo "The test run left processes of the project running:" >&2
  echo "$left" >&2
  kill -9 $(echo "$left" | cut -d' ' -f1) 2>/dev/null || true
  exit 1
}

status=0
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 600) || status=$?
check_no_leftovers
[ "$status" -eq 0 ] || exit "$status"

san=${SAN_BUILD_DIR:-$root/build/sanitize}
cmake -S . -B "$san" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEL_DATA_ONLY=ON -DZEL_SANITIZE=ON \
  -DZEL_WERROR=ON >/dev/null
cmake --build "$san" -j "$jobs"
(cd "$san" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -R '^data\.')

"$build/bench/zel-bench-packets" --smoke
"$build/bench/zel-bench-release" --smoke
"$build/bench/zel-bench-screen" --smoke

# Application server: benchmark smoke run (SQLite and the throwaway PostgreSQL),
# then a short libFuzzer run over change packets (clang, sanitizers).
"$build/bench/zel-bench-server" --smoke
"$build/bench/zel-bench-server" --smoke --server-process
"$build/bench/zel-bench-supervisor" --smoke
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
check_no_leftovers
