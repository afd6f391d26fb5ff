#!/usr/bin/env bash
# Checks a manual page's option list against the program's --help: each line of --help's
# options (its names, "-p, --port") is one tagged paragraph of the page's OPTIONS section with
# the same names, and no long option anywhere in the page is one the program lacks.
#
# check_manual.sh PROGRAM PAGE
set -euo pipefail
program=$1 page=$2

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The options a line names, blank-separated in the order given: "-p --port".
names() {
  while IFS= read -r line; do
    { grep -oE -- '(^|[^[:alnum:]-])--?[a-zA-Z][a-z-]*' <<<"$line" || true; } |
      sed -E 's/^[^-]*//' | paste -sd ' ' -
  done
}

help=$("$program" --help) || fail "$program --help failed"
# The page as text: \- is a hyphen, \fB and the like only change the font.
text=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")

# --help's option lines: the names before the value and the description.
from_help=$(sed -n '/^Options:/,/^$/p' <<<"$help" |
  sed -nE 's/^  ((-[a-zA-Z], )?--[a-z-]+).*/\1/p' | tr -d ',' | sort)
# The page's: the tag line after each .TP of the OPTIONS section.
from_page=$(awk '/^\.SH/ { options = ($2 == "OPTIONS") }
  options && previous == ".TP" { print }
  { previous = $0 }' <<<"$text" | names | sort)
[ -n "$from_help" ] || fail "$program --help lists no options"
diff <(echo "$from_help") <(echo "$from_page") >&2 ||
  fail "$page's OPTIONS differ from $program --help (< --help only, > the page only)"

# A long option named anywhere else in the page, an example or a command's text, exists.
while read -r option; do
  grep -qxF -- "$option" <<<"$(tr ' ' '\n' <<<"$from_help")" ||
    fail "$page names $option, which $program --help does not list"
done < <(names <<<"$text" | tr ' ' '\n' | grep -- '^--' | sort -u)
echo "$page: options as $program --help lists them"
