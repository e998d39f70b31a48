#!/usr/bin/env bash
# Builds everything and runs every test; installs what it needs from Debian's packages.
#   ./test.sh              normal build, all tests (SQLite and a throwaway PostgreSQL)
#   ./test.sh --sanitize   the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#                          in build/sanitize
# Both end by installing the build into a temporary prefix and running it from there.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/pgcluster.sh

mode=normal
flags=()
case "${1:-}" in
  "") ;;
  --sanitize)
    mode=sanitize
    flags=(-DQOR_SANITIZE=ON -DQOR_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
    ;;
  *)
    echo "Uso: ./test.sh [--sanitize]" >&2
    exit 2
    ;;
esac

ensure_packages
build="build/$mode"
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

trap stop_pg_cluster EXIT
start_pg_cluster
if [ "$mode" = sanitize ]; then
  # Every finding fails the process that meets it, the qor-server and qor-host processes
  # the tests start included (they inherit these). Leak checking is off: its scan at exit
  # keeps a stopping qor-server alive long enough for the tests' own stop (a second
  # SIGTERM) to kill it; ASAN_OPTIONS=detect_leaks=1 turns it on.
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:halt_on_error=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
ctest --test-dir "$build" --output-on-failure -j 2
scripts/check-install.sh "$build"
