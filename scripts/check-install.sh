#!/usr/bin/env bash
# Installs a build into a throwaway prefix and uses it as an installation would be used:
# the layout, no path into the build tree, qor-server --help, a qor-server on a new
# SQLite database with the demo data, and qor-host offscreen on the demo consultation
# writing its screenshot. Run by test.sh after the tests.
#   scripts/check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: scripts/check-install.sh BUILD_DIR}" && pwd)

work=$(mktemp -d /tmp/qor-install.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "check-install: $*" >&2
  exit 1
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# The layout the README describes.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for f in bin/qor-host bin/qor-server bin/Pkg_Qor12700.so \
  "$libdir/libqor_rtl.so" "$libdir/libqor_data.so" "$libdir/libqor_remote.so" \
  "$libdir/libqor_sql.so" "$libdir/libqor_forms.so" "$libdir/libqor_framework.so" \
  share/qor/db/sqlite/001_schema.sql share/qor/db/postgresql/001_schema.sql \
  share/qor/db/compendium_2011_sample.tsv \
  share/qor/deploy/qor-server.service share/qor/deploy/qor-server.env \
  share/qor/deploy/qor-host.ini share/qor/deploy/qor.sysusers; do
  [ -e "$prefix/$f" ] || fail "faltando na instalação: $f"
done
grep -q "^ExecStart=$prefix/bin/qor-server " "$prefix/share/qor/deploy/qor-server.service" ||
  fail "a unidade systemd instalada não aponta para $prefix/bin/qor-server"

# Nothing installed may still look into the build tree for its libraries. Each tool's
# whole output is read before it is searched: a "grep -q" that stops reading early ends
# the writer with SIGPIPE, and pipefail would then hide the very line it found.
for f in "$prefix"/bin/* "$prefix/$libdir"/*.so*; do
  rpath=$(readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' || true)
  if [[ $rpath == *"$build"* ]]; then
    fail "$f procura bibliotecas na pasta de compilação"
  fi
done
# Every library resolves (ldd prints "not found" otherwise), with the build tree out of
# reach of the loader.
for f in "$prefix/bin/qor-host" "$prefix/bin/qor-server" "$prefix/bin/Pkg_Qor12700.so"; do
  libs=$(env -u LD_LIBRARY_PATH ldd "$f" 2>&1) || fail "ldd falhou em $f: $libs"
  if [[ $libs == *"not found"* ]]; then
    printf '%s\n' "$libs" >&2
    fail "$f não encontra suas bibliotecas"
  fi
done

"$prefix/bin/qor-server" --help >"$work/help.txt" || fail "qor-server --help falhou"
grep -q -- "--db URI" "$work/help.txt" || fail "qor-server --help não mostra as opções"

# A server on a new SQLite database with the demo data, on a free loopback port.
cd "$work"
"$prefix/bin/qor-server" --db "sqlite:$work/demo.db" --demo --listen 127.0.0.1:0 \
  --token-file "$work/token" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=""
for _ in $(seq 1 600); do
  port=$(sed -n 's/^qor-server listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || {
  cat "$work/server.err" >&2
  fail "o qor-server instalado não iniciou"
}

# The demo consultation is dated the day the server made it.
consulta=$(sed -n 's/.*consulta de \([0-9-]*\)$/\1/p' "$work/server.err")
[ -n "$consulta" ] || fail "o qor-server instalado não criou a demonstração"

cat >"$work/qor-host.ini" <<INI
[server]
host=127.0.0.1
port=$port
tokenFile=$work/token
[catalogue]
uri=sqlite:$work/demo.db
INI

# The host finds the package beside itself: no --package.
QT_QPA_PLATFORM=offscreen "$prefix/bin/qor-host" --settings "$work/qor-host.ini" \
  --filial 0001 --paciente 000000000001 --nome "Maria da Silva" --consulta "$consulta" \
  --screenshot "$work/screenshot.png" >"$work/host.out" 2>"$work/host.err" || {
  cat "$work/host.out" "$work/host.err" >&2
  fail "o qor-host instalado falhou"
}
# Any message the screen would have shown a user is a failure here.
if grep -q "^qor-host: \[" "$work/host.err"; then
  cat "$work/host.err" >&2
  fail "o qor-host instalado mostrou mensagens"
fi
[ -s "$work/screenshot.png" ] || fail "o qor-host instalado não gravou a imagem"

kill "$server_pid"
wait "$server_pid" || fail "o qor-server instalado não terminou bem ao receber SIGTERM"
server_pid=""
echo "check-install: instalação em prefixo temporário verificada (servidor, pacote e tela)"
