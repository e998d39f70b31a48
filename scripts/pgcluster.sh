# Sourced by test.sh: a throwaway PostgreSQL cluster in a temporary folder on a free
# loopback port, named to the tests in QOR_TEST_PG. Nothing is started when
# QOR_TEST_PG is already set (an existing server) or PostgreSQL is not installed.
QOR_PG_DIR=""

start_pg_cluster() {
  if [ -n "${QOR_TEST_PG:-}" ]; then
    echo "PostgreSQL for the tests: given in QOR_TEST_PG"
    return 0
  fi
  local bin
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "PostgreSQL not installed: its tests will be skipped"
    return 0
  fi
  QOR_PG_DIR=$(mktemp -d /tmp/qor-pg.XXXXXX)
  local run=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$QOR_PG_DIR"
    run=(runuser -u postgres --)
  fi
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  # The cluster's locale is fixed, not the caller's: a locale the caller names but the
  # machine lacks (common over ssh) would make initdb refuse to start.
  if ! "${run[@]}" "$bin/initdb" -D "$QOR_PG_DIR/data" -A trust -U postgres -E UTF8 \
    --locale=C.UTF-8 >"$QOR_PG_DIR/initdb.log" 2>&1; then
    echo "PostgreSQL for the tests: initdb failed:" >&2
    cat "$QOR_PG_DIR/initdb.log" >&2
    return 1
  fi
  if ! "${run[@]}" "$bin/pg_ctl" -D "$QOR_PG_DIR/data" -l "$QOR_PG_DIR/server.log" -w \
    -o "-p $port -k $QOR_PG_DIR -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=300" start >/dev/null; then
    echo "PostgreSQL for the tests: the server did not start:" >&2
    cat "$QOR_PG_DIR/server.log" >&2
    return 1
  fi
  export QOR_TEST_PG="postgresql://postgres@127.0.0.1:$port/postgres"
  echo "PostgreSQL for the tests: $QOR_TEST_PG"
}

stop_pg_cluster() {
  if [ -z "$QOR_PG_DIR" ]; then return 0; fi
  if [ -d "$QOR_PG_DIR/data" ]; then
    local bin run=()
    bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
    if [ "$(id -u)" -eq 0 ]; then run=(runuser -u postgres --); fi
    "${run[@]}" "$bin/pg_ctl" -D "$QOR_PG_DIR/data" -m fast stop >/dev/null 2>&1 || true
  fi
  # Also when initdb failed and left no data folder behind.
  rm -rf "$QOR_PG_DIR"
  QOR_PG_DIR=""
  # The address of the cluster just stopped (a given one returned above): left set, a
  # later start in this shell, or a ./test.sh run from it, would take it as given.
  unset QOR_TEST_PG
}
