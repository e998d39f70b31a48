#!/usr/bin/env bash
# Builds everything, starts a demo qor-server on SQLite and opens qor-host on the demo
# consultation (Maria da Silva, today, with a weight and three planned exercises).
# Without a display (or one WAYLAND_DISPLAY or DISPLAY names that does not answer) the
# host runs offscreen and writes run/screenshot.png.
# Idempotent: run it again at any time; the demo database is kept between runs.
set -euo pipefail
# The tree itself, also when run.sh is reached through a link (to it, or to the tree): a
# build configured through a link's path is configured anew, and all built again, by the
# next run from the tree's own path.
cd "$(dirname "$(readlink -f "$0")")"
source scripts/deps.sh

ensure_packages
build=${QOR_BUILD_DIR:-build/normal}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target qor-server qor-host Pkg_Qor12700 -j "$(nproc)"
bin="$(cd "$build" && pwd)/bin" # QOR_BUILD_DIR may be relative or absolute

mkdir -p run
# This run's own server log and settings: a run started beside it has its own server on
# another port, and a shared log would mix (or cut short) the two servers' lines and the
# port each host is told. The log is kept as run/qor-server.log when the run ends.
kept_log=run/qor-server.log
server_log=run/qor-server.$$.log
host_ini=run/qor-host.$$.ini
server_pid=""
stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -f "$host_ini"
  if [ -f "$server_log" ]; then mv -f "$server_log" "$kept_log"; fi
}
trap stop_server EXIT

# On a free port, so that a port another program holds (or a demo still open from an
# earlier run) cannot stop this one; the host is told below which port it got.
"$bin/qor-server" --db "sqlite:$PWD/run/demo.db" --demo --listen 127.0.0.1:0 \
  --token-file "$PWD/run/token" >"$server_log" 2>&1 &
server_pid=$!
# Wait for the server to say where it listens (it creates the token on first start).
for _ in $(seq 1 100); do
  if grep -q "qor-server listening on" "$server_log" 2>/dev/null; then break; fi
  if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "qor-server não iniciou:" >&2
    cat "$server_log" >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q "qor-server listening on" "$server_log"; then
  echo "qor-server não respondeu; veja $kept_log" >&2
  exit 1
fi
echo "$(grep -m1 'qor-server listening on' "$server_log")"
port=$(sed -n 's/^qor-server listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$server_log")

# A settings value quoted, so that the host reads back the whole path: unquoted, a comma
# in it makes a list of it and a semicolon starts a comment.
ini_value() {
  local value=${1//\\/\\\\}
  printf '"%s"' "${value//\"/\\\"}"
}

# The host's settings: the server, its token file, and the catalogue, which the demo
# database holds as well.
cat >"$host_ini" <<INI
[server]
host=127.0.0.1
port=$port
tokenFile=$(ini_value "$PWD/run/token")
[catalogue]
uri=$(ini_value "sqlite:$PWD/run/demo.db")
INI

# The demo consultation is dated the day the demo database was made; a later run opens
# that same consultation.
consulta=$(python3 - "$PWD/run/demo.db" <<'PY' 2>/dev/null || true
import sqlite3, sys
row = sqlite3.connect(sys.argv[1]).execute(
    "SELECT max(DTCONSPACI) FROM INFOAVAL WHERE CDFILIAL='0001' AND CDPACIENTE='000000000001'"
).fetchone()
print((row[0] or "")[:10])
PY
)
consulta=${consulta:-$(date +%F)}

# Whether the Wayland compositor WAYLAND_DISPLAY names, or the X server DISPLAY names,
# answers: one an ssh or tmux session left behind (a desktop session leaves both) makes the
# host abort at start, so a run there is one without a display. Where the user chose the
# host's platform (QT_QPA_PLATFORM), that choice stands.
display_answers() {
  [ -n "${QT_QPA_PLATFORM:-}" ] && return 0
  python3 - <<'PY'
import os, re, socket, sys
wayland = os.environ.get("WAYLAND_DISPLAY", "")
runtime = os.environ.get("XDG_RUNTIME_DIR", "")
if wayland and (wayland.startswith("/") or runtime):
    try:
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(5)
            s.connect(os.path.join(runtime, wayland))
            sys.exit(0)
    except OSError:
        pass
# Read as the X library reads it: [protocol/]host:number[.screen], the host maybe an IPv6
# address, bare ("::1:0") or in brackets ("[::1]:0").
protocol, _, rest = os.environ.get("DISPLAY", "").rpartition("/")
m = re.fullmatch(r"(.*):(\d+)(\.\d+)?", rest)
if not m:
    sys.exit(1)
host, number = m.group(1), int(m.group(2))
if host.startswith("[") and host.endswith("]"):
    host = host[1:-1]
local = host in ("", "unix") or protocol == "unix"
try:
    addresses = [(family, address) for family, _, _, _, address in socket.getaddrinfo(
        "127.0.0.1" if local else host, 6000 + number, type=socket.SOCK_STREAM)]
except OSError:
    addresses = []
if local:
    path = "/tmp/.X11-unix/X%d" % number
    addresses[:0] = [(socket.AF_UNIX, "\0" + path), (socket.AF_UNIX, path)]
for family, address in addresses:
    try:
        with socket.socket(family) as s:
            s.settimeout(5)
            s.connect(address)
            sys.exit(0)
    except OSError:
        pass
sys.exit(1)
PY
}

host_args=(--settings "$host_ini" --filial 0001 --paciente 000000000001
  --nome "Maria da Silva" --consulta "$consulta")
if [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}" ] && display_answers; then
  "$bin/qor-host" "${host_args[@]}"
else
  if [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}" ]; then
    echo "A tela ${DISPLAY:-$WAYLAND_DISPLAY} não responde: o host roda sem tela." >&2
  fi
  # The host ends as failed when the screen showed an error; the picture is written anyway.
  if ! QT_QPA_PLATFORM=offscreen "$bin/qor-host" "${host_args[@]}" --screenshot run/screenshot.png; then
    echo "A tela não abriu como esperado: veja as mensagens acima e $PWD/run/screenshot.png" >&2
    exit 1
  fi
  echo "Sem tela disponível: a janela foi gravada em $PWD/run/screenshot.png"
fi
