# Shared by scripts/windows-package and scripts/windows-test: the mingw-w64 cross compiler, Qt
# for Windows unpacked into a cache folder, and the Release tree build/windows.
# shellcheck shell=bash

source scripts/setup.sh

# The toolchain we are handed: Qt 6.4.2 for Windows (mingw-w64), with Qt Network, and its
# CMake toolchain file.
PWM5_TOOLCHAINS=${PWM5_TOOLCHAINS:-$(realpath -m "$PWD/../shared/toolchains")}
PWM5_QT_TARBALL=$PWM5_TOOLCHAINS/qt6.4.2-mingw64-network.tar.xz
# Unpacked once per machine, outside the repository.
PWM5_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/pwm5
PWM5_WIN_QT=$PWM5_CACHE/qt6-mingw
PWM5_WIN_BUILD=build/windows
# Where the MinGW runtime DLLs are.
PWM5_MINGW_DLL_DIRS=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

windows_toolchain_present() {
  [ -f "$PWM5_QT_TARBALL" ] && [ -f "$PWM5_TOOLCHAINS/mingw-w64-x86_64.cmake" ]
}

# Installs the cross compiler and the host tools (moc, rcc, uic of the same Qt version), and
# unpacks Qt for Windows unless the cache holds this very tarball's: the stamp names the
# tarball, its size and its time. An earlier Qt there (the one without Network, unpacked from
# another tarball, perhaps after this one was made) is replaced, and with it the build tree
# that was configured against it.
windows_setup() {
  windows_toolchain_present || {
    echo "No Windows toolchain at $PWM5_TOOLCHAINS (set PWM5_TOOLCHAINS)" >&2
    exit 2
  }
  # rsvg-convert and icotool draw the icon, makensis builds the installer.
  PWM5_PACKAGES+=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools zip librsvg2-bin icoutils nsis)
  ensure_packages
  local stamp=$PWM5_CACHE/qt6-mingw.unpacked unpacked
  unpacked=$(stat -c '%n %s %Y' "$PWM5_QT_TARBALL")
  if [ "$(cat "$stamp" 2>/dev/null)" != "$unpacked" ] ||
    [ ! -f "$PWM5_WIN_QT/lib/cmake/Qt6Network/Qt6NetworkConfig.cmake" ]; then
    echo "Unpacking Qt for Windows into $PWM5_CACHE"
    rm -f "$stamp"
    rm -rf "$PWM5_WIN_QT" "$PWM5_WIN_BUILD"
    mkdir -p "$PWM5_CACHE"
    tar -C "$PWM5_CACHE" -xJf "$PWM5_QT_TARBALL"
    echo "$unpacked" >"$stamp"
  fi
}

# windows_build TARGETS...: configures build/windows (Release, warnings as errors) and builds.
windows_build() {
  if [ ! -f "$PWM5_WIN_BUILD/build.ninja" ]; then
    "$PWM5_WIN_QT/bin/qt-cmake" -S . -B "$PWM5_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DPWM5_WERROR=ON -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWM5_TOOLCHAINS/mingw-w64-x86_64.cmake" \
      >/dev/null
  fi
  cmake --build "$PWM5_WIN_BUILD" --target "$@"
}

# windows_installer STAGE PRODUCT SETUP [MAKENSIS_ARGS...]: builds the installer SETUP of the
# programs in the folder STAGE (the zip's), with the version, publisher and icon of PRODUCT
# (packaging/windows/product.nsh of a build tree). Its uninstaller removes just the files and
# folders of STAGE, listed beside SETUP.
windows_installer() {
  local stage product setup list
  stage=$(realpath "$1")
  product=$(realpath "$2")
  setup=$(realpath -m "$3")
  list=${setup%.exe}-uninstall.nsh
  shift 3
  # $INSTDIR is NSIS's, the folder the uninstaller is in.
  # shellcheck disable=SC2016
  {
    (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|'
    # Deepest first, so that each is empty when its turn comes, unless the operator left a
    # file in it.
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) |
      sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|'
  } >"$list"
  makensis -V2 -WX "$@" -DPRODUCT="$product" -DSTAGE="$stage" -DUNINSTALL_LIST="$list" \
    -DOUTFILE="$setup" "$PWD/packaging/windows/pwm5.nsi"
}
