# The installer's part of scripts/windows-test, which sources this once its own helpers are
# defined (pass, fail, run_ctl, check, reads_start_values, start_sim, window_session) and
# then calls installer_tests, with pwm5-sim as COM1.
# shellcheck shell=bash
# scratch, top, win, version, here: scripts/windows-test's.
# shellcheck disable=SC2154,SC2034

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\pwm5'

# unix_folder NAME: the Unix path of the folder in the Windows environment variable NAME.
unix_folder() {
  winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')" | sed 's|/$||'
}
# uninstall_value NAME: the value NAME of pwm5's uninstall entry, empty when there is none.
uninstall_value() {
  wine reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1  *REG_[A-Z_]*  *//p"
}
has_uninstall_entry() { wine reg query "$uninstall_key" >/dev/null 2>&1; }
# files_in DIR: the files under DIR, one a line (./NAME), sorted.
files_in() { (cd "$1" && find . -type f | LC_ALL=C sort); }

# verify NAME CHECK: runs the function CHECK; a PASS, or a FAIL with what CHECK put in $why.
verify() {
  why=""
  if "$2"; then
    pass "$1"
  else
    fail "$1: $why"
  fi
}
# differs WHAT GOT WANTED: true, with $why saying so, when GOT is not WANTED.
differs() {
  [ "$2" = "$3" ] && return 1
  why="$why$1 is '$2', not '$3'; "
}

# An earlier version to upgrade: this installer at 0.0.1, of a folder with files this version
# has not (a DLL, a plugin in a folder of its own) besides the guide and the licence.
make_earlier_installer() {
  local dir=$scratch/earlier stage=$scratch/earlier/pwm5
  mkdir -p "$stage/imageformats"
  cp "$win/README.txt" "$win/LICENSE.txt" "$stage/"
  echo "a DLL of an earlier version" >"$stage/Qt6Svg.dll"
  echo "a plugin of an earlier version" >"$stage/imageformats/qico.dll"
  sed -e 's/^\(!define PRODUCT_VERSION "\)[^"]*/\10.0.1/' \
    -e 's/^\(!define PRODUCT_VERSION_WINDOWS "\)[^"]*/\10.0.1.0/' \
    "$PWM5_WIN_BUILD/packaging/windows/product.nsh" >"$dir/product.nsh"
  windows_installer "$stage" "$dir/product.nsh" "$dir/pwm5-0.0.1-win64-setup.exe" >/dev/null
  earlier_setup=$dir/pwm5-0.0.1-win64-setup.exe
}

installs_earlier_version() {
  wine "$earlier_setup" /S || why="setup.exe /S exit $?; "
  [ -f "$installed/Qt6Svg.dll" ] || why="${why}no Qt6Svg.dll in $installed; "
  differs DisplayVersion "$(uninstall_value DisplayVersion)" 0.0.1
  [ -z "$why" ]
}
# Over the earlier version, in its folder: its files go, but for the operator's.
upgrades_in_place() {
  wine "$setup" /S || why="setup.exe /S exit $?; "
  differs "the installed files" "$(files_in "$installed" | tr '\n' ' ')" \
    "$({ files_in "$stage" && printf '%s\n' ./uninstall.exe ./COM3 ./com.txt; } |
      LC_ALL=C sort | tr '\n' ' ')"
  differs com.txt "$(cat "$installed/com.txt")" "$(printf '3\r\n9600\r')"
  differs DisplayVersion "$(uninstall_value DisplayVersion)" "$version"
  [ -z "$why" ]
}
registers_uninstall_entry() {
  local folder size
  folder=$(winepath -w "$installed")
  differs DisplayName "$(uninstall_value DisplayName)" pwm5
  differs InstallLocation "$(uninstall_value InstallLocation)" "$folder"
  differs DisplayIcon "$(uninstall_value DisplayIcon)" "$folder\\pwm5.exe,0"
  differs UninstallString "$(uninstall_value UninstallString)" "\"$folder\\uninstall.exe\""
  differs QuietUninstallString "$(uninstall_value QuietUninstallString)" \
    "\"$folder\\uninstall.exe\" /S"
  [ -n "$(uninstall_value Publisher)" ] || why="${why}no Publisher; "
  # In KiB: what the programs take, give or take the rounding of each file.
  size=$(($(uninstall_value EstimatedSize)))
  local staged
  staged=$(du -s --apparent-size -k "$stage" | cut -f1)
  [ "$size" -ge $((staged - 100)) ] && [ "$size" -le $((staged + 100)) ] ||
    why="${why}EstimatedSize $size KiB for $staged KiB; "
  [ -z "$why" ]
}
# The shortcut names pwm5.exe (a string of the .lnk, after its length); that it starts the
# window in its folder, the window started by it shows.
start_menu_entry() {
  [ -f "$shortcut" ] || { why="no $shortcut"; return 1; }
  grep -qF "$(winepath -w "$installed")\\pwm5.exe" < <(strings -el "$shortcut") ||
    why="$shortcut does not name pwm5.exe in $installed: $(strings -el "$shortcut" | tr '\n' ' ')"
  [ -z "$why" ]
}
# Silently: every file it installed, the shortcut and the entry go; the operator's stay.
uninstalls_silently() {
  # The uninstaller copies itself to the temporary folder and runs from there: done when
  # wine's last process has ended.
  wine "$installed/uninstall.exe" /S || why="uninstall.exe /S exit $?; "
  wineserver -w
  differs "what is left" "$(files_in "$installed" | tr '\n' ' ')" "./COM3 ./com.txt "
  [ ! -e "$shortcut" ] || why="$why$shortcut is left; "
  ! has_uninstall_entry || why="${why}the uninstall entry is left; "
  [ -z "$why" ]
}
# /D=PATH: another folder; installed again without /D, it stays there.
installs_where_told() {
  wine "$setup" /S '/D=C:\Tools\pwm5' || why="setup.exe /S /D= exit $?; "
  [ -f "$elsewhere/pwm5.exe" ] || why="${why}no pwm5.exe in $elsewhere; "
  differs InstallLocation "$(uninstall_value InstallLocation)" 'C:\Tools\pwm5'
  wine "$setup" /S || why="${why}setup.exe /S again exit $?; "
  [ ! -e "$installed/pwm5.exe" ] || why="${why}installed again into $installed; "
  differs "InstallLocation after that" "$(uninstall_value InstallLocation)" 'C:\Tools\pwm5'
  [ -z "$why" ]
}
# Which with nothing else in it goes with the rest.
uninstalls_from_there() {
  wine "$elsewhere/uninstall.exe" /S || why="uninstall.exe /S exit $?; "
  wineserver -w
  [ ! -e "$elsewhere" ] || why="$why$elsewhere is left: $(files_in "$elsewhere" | tr '\n' ' '); "
  ! has_uninstall_entry || why="${why}the uninstall entry is left; "
  [ -z "$why" ]
}
# Neither the installer nor the uninstaller asks for administrator rights: their manifests
# ask to run as the user who starts them.
ask_no_rights() {
  local exe
  for exe in "$setup" "$installed/uninstall.exe"; do
    grep -q 'requestedExecutionLevel level="asInvoker"' < <(strings "$exe") ||
      why="$why$exe asks for more than the user's rights; "
  done
  [ -z "$why" ]
}

installer_tests() {
  setup=$top/$PWM5_WIN_BUILD/pwm5-$version-win64-setup.exe
  stage=$top/$PWM5_WIN_BUILD/stage/pwm5-$version-win64
  installed=$(unix_folder LOCALAPPDATA)/Programs/pwm5
  shortcut="$(unix_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/pwm5.lnk"
  make_earlier_installer

  verify "setup.exe /S of an earlier version" installs_earlier_version
  # The operator's settings and a line's address file.
  printf '3\r\n9600\r\n' >"$installed/com.txt"
  printf 'tcp:127.0.0.1:502\r\n' >"$installed/COM3"
  verify "setup.exe /S over it" upgrades_in_place
  verify "the uninstall entry" registers_uninstall_entry
  verify "the Start menu entry" start_menu_entry
  verify "setup.exe and uninstall.exe run as the user" ask_no_rights

  here=$installed
  check "installed pwm5ctl.exe read" reads_start_values
  # From the Start menu, the window starts in its folder: no com.txt there gives COM1, and
  # closing it stores COM1 there.
  run_ctl -p COM1 -t 1000 set ch3.frequency=2345
  rm "$installed/com.txt"
  window_session "pwm5.exe from the Start menu" 1 wine-installed.png "$shortcut"
  here=$win

  verify "uninstall.exe /S" uninstalls_silently
  elsewhere=$WINEPREFIX/drive_c/Tools/pwm5
  verify "setup.exe /S /D=C:\\Tools\\pwm5, then setup.exe /S" installs_where_told
  verify "uninstall.exe /S in C:\\Tools\\pwm5" uninstalls_from_there
}
