# Sourced by run.sh and test.sh: installs from Debian's packages what is missing.
QOR_PACKAGES=(
  cmake g++ make pkg-config binutils
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-translations-l10n
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  postgresql python3 openssl
  locales
  xvfb xauth
  clang-format
)

ensure_packages() {
  local missing=()
  local p
  for p in "${QOR_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    # Debian installed with a root password has no sudo.
    if ! command -v sudo >/dev/null; then
      echo "Faltam pacotes e o sudo não está instalado; instale-os como root: apt-get install ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  # Waits for the package lock, which a newly booted machine's automatic updates may hold,
  # instead of failing at once.
  local lock=(-o DPkg::Lock::Timeout=600)
  # apt-get update does not wait for the package lists' own lock (the option above is
  # dpkg's), which the daily update holds for a while: it is tried again as long.
  local out waited=0
  until out=$("${sudo[@]}" env LC_ALL=C apt-get "${lock[@]}" update -qq 2>&1); do
    if [[ $out != *"Could not get lock"* ]] || [ "$waited" -ge 600 ]; then
      printf '%s\n' "$out" >&2
      return 1
    fi
    if [ "$waited" -eq 0 ]; then echo "Aguardando outro apt liberar a lista de pacotes..."; fi
    sleep 5
    waited=$((waited + 5))
  done
  if [ -n "$out" ]; then printf '%s\n' "$out"; fi
  # Through env: sudo drops the caller's environment, DEBIAN_FRONTEND with it.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
}
