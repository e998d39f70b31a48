#!/usr/bin/env bash
# Builds everything and runs every test; installs what it needs from Debian's packages.
#   ./test.sh              normal build, all tests (SQLite and a throwaway PostgreSQL)
#   ./test.sh --sanitize   the same under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/pgcluster.sh

mode=normal
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  mode=sanitize
  flags=(-DQOR_SANITIZE=ON -DQOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi

ensure_packages
build="build/$mode"
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

trap stop_pg_cluster EXIT
start_pg_cluster
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$build" --output-on-failure -j 2
