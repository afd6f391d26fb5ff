# Shared by ./run and ./test: installs what is missing, once, and says what.
# shellcheck shell=bash

PWM5_PACKAGES=(cmake g++ ninja-build pkg-config clang-format clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev libmodbus-dev
  xvfb xauth fonts-wqy-zenhei desktop-file-utils groff-base)

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
