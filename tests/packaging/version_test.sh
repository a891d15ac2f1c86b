#!/usr/bin/env bash
# version_test.sh VERSION PROGRAM...
# Each program answers --version with "<name> VERSION" on one line and exit
# status 0, and --help with text that names --version; both with no display
# and no Qt platform chosen, writing nothing to the current folder.
set -uo pipefail
version=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/cwd"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for program in "$@"; do
  name=$(basename "$program")
  for option in --version --help; do
    (cd "$scratch/cwd" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
      "$program" "$option" >"$scratch/out" 2>"$scratch/err" </dev/null)
    status=$?
    [ "$status" -eq 0 ] || fail "$name $option: exit status $status"
    [ ! -s "$scratch/err" ] || fail "$name $option wrote to standard error: $(cat "$scratch/err")"
    if [ "$option" = --version ]; then
      expected="$name $version"
      [ "$(cat "$scratch/out")" = "$expected" ] && [ "$(wc -l <"$scratch/out")" -eq 1 ] ||
        fail "$name --version printed '$(cat "$scratch/out")', not the one line '$expected'"
    else
      grep -q -- '--version' "$scratch/out" || fail "$name --help does not mention --version"
    fi
  done
done
[ -z "$(ls -A "$scratch/cwd")" ] || fail "files were left in the current folder: $(ls -A "$scratch/cwd")"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $*"
