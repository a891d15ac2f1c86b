#!/usr/bin/env bash
# man_pages_test.sh VANTEL_GEN PAGE...
# Every page formats without a single groff warning and has a NAME line that
# lexgrog (and so apropos/whatis) can read; vantel-gen's page documents every
# option its --help lists.
set -uo pipefail
gen=$1
shift
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for page in "$@"; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [ $? -eq 0 ] && [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
  lexgrog "$page" >/dev/null 2>&1 || fail "lexgrog cannot read the NAME section of $page: $(lexgrog "$page" 2>&1)"
done

gen_page=
for page in "$@"; do
  [ "$(basename "$page")" = vantel-gen.1 ] && gen_page=$page
done
[ -n "$gen_page" ] || fail "no vantel-gen.1 among the pages"

if [ -n "$gen_page" ]; then
  # Options as the help text lists them: a - or -- word after a blank or a
  # comma. Hyphens inside words ("one-sided") are not options.
  options=$("$gen" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | sed 's/^[ ,]//' | sort -u)
  [ "$(echo "$options" | wc -l)" -ge 20 ] || fail "only $(echo "$options" | wc -l) options found in --help"
  # The page as a reader sees it: plain text, each paragraph on one line so
  # that no option name is broken at a line end.
  text=$(groff -man -Tascii -P-cbu -rLL=2000n "$gen_page" 2>/dev/null)
  for option in $options; do
    grep -qE -- "(^|[^-a-z0-9])$option([^-a-z0-9]|\$)" <<<"$text" ||
      fail "$gen_page does not document $option"
  done
fi

[ "$failures" -eq 0 ] || exit 1
echo "ok: $*"
