#!/usr/bin/env bash
# Builds the benchmarks and runs them all; bench_load runs on SQLite and on a throwaway
# PostgreSQL cluster (or the one QOR_TEST_PG names). Extra arguments go to bench_load.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
source scripts/pgcluster.sh

ensure_packages
build=${QOR_BUILD_DIR:-build/normal}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target qor-server bench_dataset bench_energy bench_load -j "$(nproc)"
trap stop_pg_cluster EXIT
start_pg_cluster
bin="$build/bin"
"$bin/bench_dataset"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bin/bench_energy"
postgres=()
if [ -n "${QOR_TEST_PG:-}" ]; then postgres=(--postgresql "$QOR_TEST_PG"); fi
"$bin/bench_load" "${postgres[@]}" "$@"
