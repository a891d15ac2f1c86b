#!/usr/bin/env bash
# completion_test.sh COMPLETION VANTEL_GEN
# The bash completion offers exactly the options vantel-gen --help lists, the
# --mode values, and file names after -o, --output and --messages.
set -uo pipefail
completion=$1
gen=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Completes the words given, the last one being the word under the cursor,
# in a fresh shell that has only the completion file loaded; one reply a line.
complete_words() {
  (cd "$scratch" && bash --norc --noprofile -c '
    source "$1" || exit 1
    shift
    function=$(complete -p vantel-gen | sed -n "s/.*-F \([^ ]*\).*/\1/p")
    [ -n "$function" ] || { echo "vantel-gen has no completion function" >&2; exit 1; }
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" vantel-gen "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$completion" "$@")
}

expect_replies() {
  local expected=$1
  shift
  local got
  got=$(complete_words "$@" | sed '/^$/d' | sort)
  [ "$got" = "$(sed '/^$/d' <<<"$expected" | sort)" ] ||
    fail "completing '$*' gave [$(echo $got)], expected [$(echo $expected)]"
}

help_options=$("$gen" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | sed 's/^[ ,]//' | sort -u)
offered=$(complete_words vantel-gen - | sort -u)
[ -n "$help_options" ] || fail "no options found in vantel-gen --help"
missing=$(comm -23 <(echo "$help_options") <(echo "$offered"))
extra=$(comm -13 <(echo "$help_options") <(echo "$offered"))
[ -z "$missing" ] || fail "the completion does not offer: $(echo $missing)"
[ -z "$extra" ] || fail "the completion offers options --help does not list: $(echo $extra)"

expect_replies --mode vantel-gen --mo
expect_replies $'onoff\nfsk\ntone' vantel-gen --mode ''
expect_replies fsk vantel-gen --snr 3 --mode f
expect_replies fsk vantel-gen --mode = f
expect_replies --mode=tone vantel-gen --mode=t
expect_replies '' vantel-gen --wpm ''
expect_replies $'good\nmoderate\npoor\nflutter\nitu-low-quiet\nitu-low-moderate\nitu-low-disturbed\nitu-mid-quiet\nitu-mid-moderate\nitu-mid-disturbed\nitu-mid-nvis\nitu-high-quiet\nitu-high-moderate\nitu-high-disturbed' vantel-gen --channel ''
expect_replies pileup vantel-gen --qrm-traffic p
expect_replies --channel=poor vantel-gen --channel=p
expect_replies '' vantel-gen --rise ''

mkdir "$scratch/sets"
touch "$scratch/msgs.txt" "$scratch/cq.wav"
expect_replies msgs.txt vantel-gen --sweep --messages ms
expect_replies cq.wav vantel-gen -o c
expect_replies sets vantel-gen --sweep --output se

[ "$failures" -eq 0 ] || exit 1
echo "ok: $completion"
