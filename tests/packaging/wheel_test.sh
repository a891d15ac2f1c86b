#!/usr/bin/env bash
# wheel_test.sh SOURCE_DIR CMAKE_BUILD_DIR SCRATCH_DIR VANTEL_GEN
# Builds the wheel as the README says (the extension taken from CMAKE_BUILD_DIR),
# installs it into a fresh virtual environment outside the repository, and
# there imports vantel and makes a clip: the same file vantel-gen writes, from
# an extension that links no Qt and no PulseAudio, with its type information.
set -uo pipefail
source=$1
cmake_build=$2
scratch=$3
gen=$4
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! (cd "$source" && VANTEL_CMAKE_BUILD_DIR=$cmake_build /usr/bin/python3 -m build --wheel --no-isolation \
      --outdir "$scratch/dist") >"$scratch/build.log" 2>&1; then
  cat "$scratch/build.log"
  echo "FAIL: python3 -m build --wheel --no-isolation failed"
  exit 1
fi
wheels=("$scratch"/dist/vantel-*.whl)
[ ${#wheels[@]} -eq 1 ] && [ -f "${wheels[0]}" ] || { echo "FAIL: no single wheel was made: ${wheels[*]}"; exit 1; }

venv=$scratch/venv
/usr/bin/python3 -m venv --system-site-packages --without-pip "$venv" || { echo "FAIL: no virtual environment"; exit 1; }
"$venv/bin/python" -m pip install --quiet --no-index --no-deps "${wheels[0]}" >"$scratch/pip.log" 2>&1 ||
  { cat "$scratch/pip.log"; echo "FAIL: pip install of the wheel failed"; exit 1; }

installed=$venv/lib/python3*/site-packages/vantel
out=$(cd "$scratch" && "$venv/bin/python" -c '
import vantel
clip = vantel.generate(message="cq", rate=8000, seed=3)
clip.save("clip.wav")
print(vantel.__file__)' 2>&1)
[ "$out" = "$(echo $installed)/__init__.py" ] || fail "the installed module did not make a clip: $out"
(cd "$scratch" && "$gen" --message cq --rate 8000 --seed 3 -o gen.wav >/dev/null) &&
  cmp -s "$scratch/clip.wav" "$scratch/gen.wav" || fail "the installed module's clip is not vantel-gen's file"
libraries=$(ldd $installed/_vantel*.so)
! grep -qiE 'qt6|libpulse' <<<"$libraries" || fail "the extension links Qt or PulseAudio:
$libraries"
sound=$(ldd $installed/_sound*.so)
grep -qi libpulse <<<"$sound" && ! grep -qi qt6 <<<"$sound" || fail "the playback extension links Qt or no PulseAudio:
$sound"
[ -f $installed/py.typed ] || fail "the package holds no py.typed"
for program in vantel-score vantel-copy; do
  out=$("$venv/bin/$program" --version 2>&1)
  [ "$out" = "$program $("$gen" --version | cut -d' ' -f2)" ] || fail "the wheel's $program --version printed '$out'"
done

[ "$failures" -eq 0 ] || exit 1
echo "ok: $(basename "${wheels[0]}") installs and makes vantel-gen's clip in a fresh virtual environment"
rm -rf "$scratch"
