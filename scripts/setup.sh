# Shared by ./run, ./test and the other scripts: installs what is missing, once, and says what.
# shellcheck shell=bash

# What building and running the tools needs: ./run installs only these. libmosquitto-dev
# brings the MQTT client library that the bridge loads, and its header.
PWM5_PACKAGES=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-serialport-dev libmodbus-dev
  libmosquitto-dev fonts-wqy-zenhei)
# What the tests need besides: a formatter, clang for the fuzz targets, an X server for the
# tests that need a real one, the package test's checkers, a serial device server, and an MQTT
# broker (mosquitto, with mosquitto_passwd) with openssl to make its test certificates, and
# NSIS for the Windows installer.
PWM5_TEST_PACKAGES=(clang-format clang-14 libclang-rt-14-dev xvfb xauth desktop-file-utils
  groff-base lintian ser2net mosquitto openssl nsis)

# Where apt's output goes: a first run would otherwise bury the one line that says what it
# installs under a thousand lines of dpkg.
PWM5_PACKAGES_LOG=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/packages.log

ensure_packages() {
  local missing=()
  for p in "${PWM5_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local install=(apt-get install -y --no-install-recommends "${missing[@]}")
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages and no sudo to install them; as root, run:" >&2
      echo "  apt-get update && ${install[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  mkdir -p "$(dirname "$PWM5_PACKAGES_LOG")"
  if ! { "${sudo[@]}" apt-get update && DEBIAN_FRONTEND=noninteractive "${sudo[@]}" "${install[@]}"; } \
    >"$PWM5_PACKAGES_LOG" 2>&1; then
    echo "Installing failed; apt's output is in $PWM5_PACKAGES_LOG" >&2
    exit 1
  fi
}

# configure_and_build DIR CMAKE_ARGS...
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}
