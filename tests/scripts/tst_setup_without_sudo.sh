#!/usr/bin/env bash
# A first run as a user who is not root and has no sudo: the package check prints the line to
# run as root and exits 1, instead of failing on a missing sudo.
#   tst_setup_without_sudo.sh SETUP_SH
set -euo pipefail
setup=$1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A PATH of only the tools the check uses, so no sudo is found even where one is installed.
tools=$(mktemp -d "${TMPDIR:-/tmp}/no-sudo.XXXXXX")
trap 'rm -rf "$tools"' EXIT
for tool in bash dpkg-query grep id dirname mkdir; do
  ln -s "$(command -v "$tool")" "$tools/$tool"
done
# A copy the other user can read wherever the clone lies (/root is closed to it).
cp "$setup" "$tools/setup.sh"
chmod 755 "$tools"
chmod 644 "$tools/setup.sh"
cd "$tools"

check='source "$0"; PWM5_PACKAGES=(pwm5-absent-package); ensure_packages'
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "no setpriv to drop root"; exit 77; }
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

status=0
said=$("${as_user[@]}" env -i PATH="$tools" bash -c "$check" "$tools/setup.sh" 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, not 1: $said"
grep -qxF '  apt-get update && apt-get install -y --no-install-recommends pwm5-absent-package' \
  <<<"$said" || fail "no apt-get line to run as root: $said"
echo "ok: $said"
