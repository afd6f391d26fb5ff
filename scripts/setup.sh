# Shared by ./run, ./test and the other scripts: installs what is missing, once, and says what.
# shellcheck shell=bash

# What building and running the tools needs: ./run installs only these.
PWM5_PACKAGES=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-serialport-dev libmodbus-dev
  fonts-wqy-zenhei)
# What the tests need besides: a formatter, clang for the fuzz targets, an X server for the
# tests that need a real one, and the package test's checkers.
PWM5_TEST_PACKAGES=(clang-format clang-14 libclang-rt-14-dev xvfb xauth desktop-file-utils
  groff-base lintian)

ensure_packages() {
  local missing=()
  for p in "${PWM5_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# configure_and_build DIR CMAKE_ARGS...
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}
