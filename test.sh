#!/usr/bin/env bash
# Builds everything and runs every test; installs what it needs from Debian's packages.
#   ./test.sh              normal build, all tests (SQLite and a throwaway PostgreSQL)
#   ./test.sh --sanitize   the same under AddressSanitizer (with leak checking) and
#                          UndefinedBehaviorSanitizer, in build/sanitize
# Both end by installing the build into a temporary prefix and running it from there.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")" # the tree, also when reached through a link
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

reports=""
cleanup() {
  stop_pg_cluster
  if [ -n "$reports" ]; then rm -rf "$reports"; fi
}
trap cleanup EXIT
start_pg_cluster
if [ "$mode" = sanitize ]; then
  # Every finding, leaks included, ends the process that meets it. The reports go to
  # files, so that a finding in a qor-server or qor-host started by a test fails the
  # run even where the test does not look at how that process ended.
  reports=$(mktemp -d /tmp/qor-sanitize.XXXXXX)
  # A system library's legal strndup that the strict string checks misread (tests/asan.supp).
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}:suppressions=$PWD/tests/asan.supp:print_suppressions=0:log_path=$reports/asan"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}:log_path=$reports/ubsan"
  # Leaks of the system's own libraries that no code of ours can free (tests/lsan.supp);
  # not printed, since any report file counts as a finding.
  export LSAN_OPTIONS="${LSAN_OPTIONS:-}:suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
fi
status=0
ctest --test-dir "$build" --output-on-failure -j 2 || status=$?
if [ "$status" -eq 0 ]; then
  scripts/check-install.sh "$build" || status=$?
fi
if [ -n "$reports" ] && [ -n "$(ls -A "$reports")" ]; then
  echo "Sanitizer findings (in the tests or in processes they started):" >&2
  cat "$reports"/* >&2
  status=1
fi
exit "$status"
