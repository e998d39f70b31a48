# Sourced by run.sh and test.sh: installs from Debian's packages what is missing.
QOR_PACKAGES=(
  cmake g++ make pkg-config
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
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  # Waits for the package lock, which a newly booted machine's automatic updates may hold,
  # instead of failing at once.
  local lock=(-o DPkg::Lock::Timeout=600)
  # Through env: sudo drops the caller's environment, DEBIAN_FRONTEND with it.
  "${sudo[@]}" apt-get "${lock[@]}" update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
}
