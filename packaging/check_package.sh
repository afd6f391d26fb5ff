#!/usr/bin/env bash
# Builds the .deb from an already built tree, unpacks it into a scratch root with dpkg -x and
# checks what an installation would get: the files where the desktop entry looks for them, a
# valid desktop entry, dependencies that cover every library the programs link, a launcher
# that starts the tool in the per-user folder, pwm5ctl and its bash completion, the bridge's
# service, the manual pages, the licence and changelog, the README and its pages, and
# lintian's verdict.
#
# Each check is a function of its own (check_*), run in a subshell, where its first failure
# ends it; the driver at the end runs them all and names those that failed.
#
# check_package.sh CPACK BUILD_DIR VERSION SANITIZED DESKTOP_FILE_VALIDATE
set -euo pipefail
cpack=$1 build=$2 version=$3 sanitized=$4 validate=$5

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d "$PWD/package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# --- What the checks look at: the .deb ($deb), its contents unpacked ($root, $bin), its
# declared dependencies ($depends). Without them no check can run.

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
debs=("$scratch"/out/*.deb)
{ [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
root=$scratch/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin

field() { dpkg-deb -f "$deb" "$1"; }
# Depends: package names, version constraints dropped.
mapfile -t depends < <(field Depends | tr ',' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | grep .)
declared() {
  local p
  for p in "${depends[@]}"; do [ "$p" = "$1" ] && return 0; done
  return 1
}
desktop=$root/usr/share/applications/pwm5.desktop
desktop_key() { sed -n "s/^$1=//p" "$desktop"; }

# --- The checks, in the order the driver runs them.

# The file's name and the control fields.
check_control_fields() {
  [ "$(basename "$deb")" = "pwm5_${version}_${arch}.deb" ] || fail "file name $(basename "$deb")"
  [ "$(field Package)" = pwm5 ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version), project says $version"
  [ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
  [ -n "$(field Maintainer)" ] || fail "no Maintainer"
}

# Every declared package exists (each is a build dependency, so it is installed here), and
# Depends has what the programs load without linking it: the xcb platform plugin, the CJK
# font, and the MQTT client library of the bridge.
check_declared_packages() {
  local p
  for p in "${depends[@]}"; do
    dpkg-query -W "$p" >/dev/null 2>&1 || fail "Depends names $p, which no installed package is"
  done
  for p in qt6-qpa-plugins fonts-wqy-zenhei libmosquitto1; do
    declared "$p" || fail "Depends lacks $p"
  done
}

# The programs, executable, in usr/bin.
check_programs() {
  local f
  for f in pwm5 pwm5-sim pwm5ctl pwm5-launch; do
    { [ -f "$bin/$f" ] && [ -x "$bin/$f" ]; } || fail "usr/bin/$f missing or not executable"
  done
}

# The package that holds a library file, whether dpkg lists it under /usr or not.
owner() {
  local path=$1 canon found p
  canon=$(readlink -f "$path")
  for p in "$path" "$canon" "${canon#/usr}"; do
    found=$(dpkg -S "$p" 2>/dev/null) && echo "${found%%:*}" && return 0
  done
  return 1
}
# Whether a package is a direct dependency of a declared package.
pulled_in() {
  local p list
  for p in "${depends[@]}"; do
    list=$(dpkg-query -W -f='${Depends}' "$p" | sed 's/[,|]/\n/g; s/([^)]*)//g; s/:any//g; s/ //g')
    grep -qx "$1" <<<"$list" && return 0
  done
  return 1
}

# The programs, the bridge's program and the two libraries of the package's private folder
# (core's, and the network module that a device server's line loads) carry no library search path but the one to that
# folder, and each library they link is in that folder or comes from a declared package. A
# sanitized test build also links the sanitizer runtimes, and keeps libraries that a release
# build drops as unused (libGLX, libOpenGL): there a dependency of a declared package will do.
check_linked_libraries() {
  local file expected runpath libs needed path pkg
  for file in bin/pwm5 bin/pwm5-sim bin/pwm5ctl lib/pwm5/pwm5-bridge lib/pwm5/libpwm5-core.so \
    lib/pwm5/pwm5-network.so; do
    # shellcheck disable=SC2016 # the loader's $ORIGIN, as the file carries it
    case $file in
      bin/pwm5 | bin/pwm5ctl) expected='$ORIGIN/../lib/pwm5' ;;
      lib/pwm5/pwm5-network.so | lib/pwm5/pwm5-bridge) expected='$ORIGIN' ;;
      *) expected='' ;;
    esac
    [ -f "$root/usr/$file" ] || fail "no usr/$file"
    runpath=$(readelf -d "$root/usr/$file" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = "$expected" ] || fail "$file's library search path is '$runpath'"
    libs=$(ldd "$root/usr/$file")
    while read -r needed; do
      path=$(awk -v n="$needed" '$1 == n && $2 == "=>" { print $3 }' <<<"$libs")
      { [ -n "$path" ] && [ "$path" != "not" ]; } || fail "$file: $needed not found by ldd"
      [ "$(dirname "$(realpath "$path")")" = "$root/usr/lib/pwm5" ] && continue
      pkg=$(owner "$path") || fail "$file: no package holds $path"
      declared "$pkg" && continue
      if [ "$sanitized" = ON ]; then
        case $pkg in libasan* | libubsan*) continue ;; esac
        pulled_in "$pkg" && continue
      fi
      fail "$file links $needed from $pkg, which Depends lacks"
    done < <(readelf -d "$root/usr/$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  done
}

# The desktop entry: valid, and its program and icon are where it says.
check_desktop_entry() {
  local report k program icon
  [ -f "$desktop" ] || fail "no usr/share/applications/pwm5.desktop"
  [ -x "$validate" ] || fail "desktop-file-validate not found (package desktop-file-utils)"
  # A hint (for instance no main category, so the menu files it under "Other") fails it too.
  { report=$("$validate" "$desktop" 2>&1) && [ -z "$report" ]; } ||
    fail "desktop-file-validate: $report"
  for k in Name 'Name\[zh_CN\]' Comment 'Comment\[zh_CN\]' Categories; do
    [ -n "$(desktop_key "$k")" ] || fail "desktop entry has no $k"
  done
  [ "$(desktop_key Terminal)" = false ] || fail "Terminal=$(desktop_key Terminal)"
  for program in "$(desktop_key Exec | cut -d' ' -f1)" "$(desktop_key TryExec)"; do
    case $program in /* | */*) fail "$program is not a bare program name on PATH" ;; esac
    [ -x "$bin/$program" ] || fail "the desktop entry runs $program, which is not in usr/bin"
  done
  icon=$(desktop_key Icon)
  [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon=$icon has no usr/share/icons/hicolor/scalable/apps/$icon.svg"
  head -c 200 "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" | grep -q '<svg' ||
    fail "$icon.svg is not an SVG"
}

# The desktop entry's command starts the packaged tool, in the per-user folder. Started when
# its platform plugin is loaded: the libraries resolved and QApplication built.
check_desktop_command_starts_tool() {
  local command here=$scratch/window
  tool="" # a subshell's variable, for its exit trap
  trap '[ -z "$tool" ] || kill "$tool" 2>/dev/null' EXIT
  read -r -a command <<<"$(desktop_key Exec)"
  mkdir -p "$here/home" "$here/runtime"
  chmod 700 "$here/runtime"
  (cd "$here/home" && HOME=$here/home XDG_DATA_HOME=$here/data PATH="$bin:$PATH" \
    XDG_RUNTIME_DIR=$here/runtime QT_QPA_PLATFORM=offscreen exec "${command[@]}") &
  tool=$!
  for _ in $(seq 400); do
    kill -0 "$tool" 2>/dev/null || fail "${command[*]} exited before the window was up"
    if [ "$(readlink "/proc/$tool/exe")" = "$(readlink -f "$bin/pwm5")" ] &&
      grep -q libqoffscreen "/proc/$tool/maps"; then
      break
    fi
    sleep 0.05
  done
  grep -q libqoffscreen "/proc/$tool/maps" ||
    fail "${command[*]} did not bring the window up in 20 s"
  [ "$(readlink "/proc/$tool/cwd")" = "$(readlink -f "$here/data/pwm5")" ] ||
    fail "pwm5 works in $(readlink "/proc/$tool/cwd")"
  kill "$tool"
  wait "$tool" || true
  tool=""
}

# The launcher the desktop entry runs starts the pwm5 beside it in the per-user folder, however
# it is called. It runs from a folder of its own, beside a stand-in pwm5 that records where it
# was started.
check_launcher_folder() {
  local here=$scratch/launcher launch row call xdg expected env_args
  launch=$(desktop_key Exec | cut -d' ' -f1)
  mkdir -p "$here/bin" "$here/home" "$here/elsewhere"
  cp -p "$bin/$launch" "$here/bin/"
  cat >"$here/bin/pwm5" <<'EOF'
#!/bin/sh
pwd >"$PWM5_STARTED_IN"
EOF
  chmod +x "$here/bin/pwm5"
  ln -s "$here/bin/$launch" "$here/elsewhere/linked-launch"
  local home=$here/home
  # how the launcher is called | XDG_DATA_HOME (- for unset) | the folder pwm5 must start in
  local cases=(
    "$here/bin/$launch|-|$home/.local/share/pwm5"
    "$here/bin/$launch|$here/xdg|$here/xdg/pwm5"
    "$here/bin/$launch|$here/xdg|$here/xdg/pwm5" # again, now that the folder exists
    "$here/bin/$launch|relative/data|$home/.local/share/pwm5"
    "../bin/$launch|-|$home/.local/share/pwm5"
    "$here/elsewhere/linked-launch|-|$home/.local/share/pwm5"
  )
  for row in "${cases[@]}"; do
    IFS='|' read -r call xdg expected <<<"$row"
    rm -f "$here/started-in"
    env_args=(HOME="$home" PWM5_STARTED_IN="$here/started-in" PATH=/usr/bin:/bin)
    [ "$xdg" = - ] || env_args+=(XDG_DATA_HOME="$xdg")
    (cd "$home" && env -i "${env_args[@]}" "$call") || fail "$row: launcher failed"
    [ -f "$here/started-in" ] || fail "$row: the launcher did not start the pwm5 beside it"
    [ "$(cat "$here/started-in")" = "$expected" ] ||
      fail "$row: pwm5 started in $(cat "$here/started-in")"
  done
}

# pwm5ctl runs from the unpacked tree, on the system's libraries and core's library in the
# package's private folder, and finds its network module beside that: a device server's port on
# which nothing listens is refused by the server's address, not for a module it cannot load.
check_pwm5ctl_runs() {
  local out said
  out=$("$bin/pwm5ctl" --version) || fail "pwm5ctl --version failed"
  [ "$out" = "pwm5ctl $version" ] || fail "pwm5ctl --version says '$out'"
  # Port 9, discard: nothing listens there on a machine that builds packages.
  said=$("$bin/pwm5ctl" -p tcp:127.0.0.1:9 read 2>&1 >/dev/null) || true
  grep -q "connection refused" <<<"$said" || fail "pwm5ctl through a device server: $said"
}

# The bridge's service: the template unit where systemd looks for it, running the packaged
# pwm5ctl with the settings of the file its instance names, and an example of that file which
# sets every variable the command line uses. Where systemd-analyze is installed it must accept
# the unit without a word: an unknown or misplaced key is only a warning to systemd, which
# ignores it when it runs the unit. It reads the unit's files alone; no systemd runs here. The
# copy it checks runs the unpacked pwm5ctl, and looks up the manual page among the unpacked
# ones.
check_bridge_service() {
  local unit=$root/usr/lib/systemd/system/pwm5-bridge@.service
  local example=$root/usr/share/doc/pwm5/examples/bridge-example.conf
  local here=$scratch/unit exec name report verify
  [ -f "$unit" ] || fail "no usr/lib/systemd/system/pwm5-bridge@.service"
  [ -f "$example" ] || fail "no usr/share/doc/pwm5/examples/bridge-example.conf"
  exec=$(sed -n 's/^ExecStart=//p' "$unit")
  [ "${exec%% *}" = /usr/bin/pwm5ctl ] || fail "the unit runs ${exec%% *}, not /usr/bin/pwm5ctl"
  grep -qx 'EnvironmentFile=/etc/pwm5/bridge-%i.conf' "$unit" ||
    fail "the unit reads no /etc/pwm5/bridge-%i.conf"
  # The example's lines are plain assignments, which a shell reads as systemd does.
  # shellcheck disable=SC2016 # the names and the inner bash's arguments, not this shell's
  while read -r name; do
    env -i bash -c 'set -a && . "$1" && [ -v "$2" ]' _ "$example" "$name" ||
      fail "bridge-example.conf sets no $name, which the unit's command line uses"
  done < <(grep -o '\$[{]\?[A-Za-z_][A-Za-z0-9_]*' <<<"$exec" | tr -d '${' | sort -u)
  command -v systemd-analyze >/dev/null || return 0
  mkdir "$here"
  sed "s|/usr/bin/pwm5ctl|$bin/pwm5ctl|" "$unit" >"$here/pwm5-bridge@line1.service"
  verify=(systemd-analyze verify)
  command -v man >/dev/null || verify+=(--man=no) # the pages are checked below
  { report=$(MANPATH=$root/usr/share/man "${verify[@]}" "$here/pwm5-bridge@line1.service" 2>&1) &&
    [ -z "$report" ]; } || fail "systemd-analyze verify: $report"
}

# A manual page for each program: compressed as Debian does (gzip -9n: no name, no time, so
# the same bytes every build), with the project's version, and read by groff without a warning
# (-k: the pages are UTF-8, as man reads them). pwm5-sim's page names every option its --help
# lists.
check_manual_pages() {
  local f man title text report page option
  command -v groff >/dev/null || fail "groff not found (package groff-base)"
  for f in pwm5 pwm5-sim pwm5ctl pwm5-launch; do
    man=$root/usr/share/man/man1/$f.1.gz
    [ -f "$man" ] || fail "no usr/share/man/man1/$f.1.gz"
    gzip -t "$man" || fail "$f.1.gz is not a valid gzip file"
    [ "$(od -An -tx1 -j3 -N5 "$man" | tr -d ' ')" = 0000000000 ] ||
      fail "$f.1.gz keeps a file name or time (not gzip -n)"
    title=$(tr '[:lower:]' '[:upper:]' <<<"$f")
    # Read whole before grep -q, which stops early: zcat must not meet a closed pipe.
    text=$(zcat "$man")
    grep -q "^\.TH $title 1 .*\"pwm5 $version\"" <<<"$text" ||
      fail "$f.1 does not name version $version"
    { report=$(groff -k -t -man -ww -Tutf8 -z <<<"$text" 2>&1) && [ -z "$report" ]; } ||
      fail "groff on $f.1: $report"
  done
  page=$(zcat "$root/usr/share/man/man1/pwm5-sim.1.gz" | sed 's/\\-/-/g')
  while read -r option; do
    grep -q -- "$option" <<<"$page" || fail "pwm5-sim.1 does not describe $option"
  done < <("$bin/pwm5-sim" --help | grep -o -- '--[a-z-]*' | sort -u)
}

# The licence and the history, where Debian keeps them; the history's last entry is this
# version.
check_licence_and_changelog() {
  local doc=$root/usr/share/doc/pwm5
  grep -q '^License: Expat' "$doc/copyright" || fail "usr/share/doc/pwm5/copyright names no licence"
  [[ $(zcat "$doc/changelog.gz") == "pwm5 ($version) "* ]] ||
    fail "the changelog's last entry is not version $version"
}

# The README and its pages beside it, as in the source tree: every file one of them links to is
# installed where the link leads, but LICENSE, whose text the package holds as copyright.
check_readme_and_pages() {
  local doc=$root/usr/share/doc/pwm5 file target
  [ -f "$doc/README.md" ] || fail "no usr/share/doc/pwm5/README.md"
  [ -f "$doc/docs/window.md" ] || fail "no usr/share/doc/pwm5/docs/window.md"
  for file in "$doc/README.md" "$doc"/docs/*.md; do
    while read -r target; do
      [ "$target" = LICENSE ] || [ -e "$(dirname "$file")/$target" ] ||
        fail "${file#"$doc"/} links to $target, which the package does not hold there"
    done < <(grep -o '](\([^)#:]*\)' "$file" | sed 's/^](//' | sort -u)
  done
}

# lintian, Debian's package checker: no error and no warning.
check_lintian() {
  local report
  command -v lintian >/dev/null || fail "lintian not found (package lintian)"
  report=$(lintian --fail-on error,warning "$deb" 2>&1) ||
    fail "lintian: $(grep -v 'running with root privileges' <<<"$report")"
}

# The bash completion, in the folder bash-completion loads a command's completion from. What
# Tab offers after each line, the words as bash splits them ("=" a word of its own; a line
# ending in a blank completes an empty word), in a folder that holds one file, a.json.
check_bash_completion() {
  local completion=$root/usr/share/bash-completion/completions/pwm5ctl here=$scratch/completion
  local row line expected got
  [ -f "$completion" ] || fail "no usr/share/bash-completion/completions/pwm5ctl"
  mkdir "$here"
  touch "$here/a.json"
  local completions=(
    "pwm5ctl |address adopt apply baud bridge monitor read scan set verify"
    "pwm5ctl -p COM1 --parity |even none odd"
    "pwm5ctl -b 9600 set ch5.o|ch5.output="
    "pwm5ctl set ch1.duty = 5 key_lock = |off on"
    "pwm5ctl scan --bauds 9600,3|9600,38400"
    "pwm5ctl --json baud 1|115200 19200"
    "pwm5ctl apply |- a.json"
    "pwm5ctl verify |- a.json"
    "pwm5ctl monitor --c|--count --csv"
    "pwm5ctl adopt 17 11|115200"
    "pwm5ctl bridge --disc|--discovery --discovery-prefix"
  )
  for row in "${completions[@]}"; do
    IFS='|' read -r line expected <<<"$row"
    # shellcheck disable=SC2016 # expanded by the inner bash
    got=$(cd "$here" && LC_ALL=C bash --norc --noprofile -c '
      source "$1" && rule=$(complete -p pwm5ctl) || exit 1
      read -r -a COMP_WORDS <<<"$2"
      [[ $2 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      rule=${rule#*-F } && "${rule%% *}"; printf "%s\n" "${COMPREPLY[@]}" | sort | xargs' \
      _ "$completion" "$line") || fail "the bash completion does not load or register pwm5ctl"
    [ "$got" = "$expected" ] || fail "completion of '$line': '$got', expected '$expected'"
  done
}

# --- The driver: every check, each in a subshell of its own with errexit on.
checks=(
  check_control_fields
  check_declared_packages
  check_programs
  check_linked_libraries
  check_desktop_entry
  check_desktop_command_starts_tool
  check_launcher_folder
  check_pwm5ctl_runs
  check_bridge_service
  check_manual_pages
  check_licence_and_changelog
  check_readme_and_pages
  check_lintian
  check_bash_completion
)
failed=()
for check in "${checks[@]}"; do
  set +e
  (
    set -e
    "$check"
  )
  status=$?
  set -e
  [ "$status" -eq 0 ] || failed+=("$check")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "package $(basename "$deb"): ${#failed[@]} of ${#checks[@]} checks failed: ${failed[*]}" >&2
  exit 1
fi
echo "package $(basename "$deb") checked: ${#checks[@]} checks passed"
