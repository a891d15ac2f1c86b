#!/usr/bin/env bash
# deb_package_test.sh CPACK BUILD_DIR SCRATCH_DIR VERSION SOURCE_DIR FORTIFY PYTHON
# Builds the Debian package into SCRATCH_DIR (so that nothing else in the
# build folder is touched) and checks its fields, its dependencies, that it
# holds the two programs and their files and nothing else, that what it
# installs is what the build and the source hold, and that lintian finds no
# error and no warning in it. FORTIFY is "fortified" when the build defines
# _FORTIFY_SOURCE (not in the Debug and sanitizer builds), else "unfortified".
# PYTHON is "python" when the build makes the Python module, which the package
# then holds and Debian's python3 must import from it; "python-held" in the
# sanitizer build, whose package holds it but whose extension python3 cannot
# load without the sanitizer runtime preloaded.
set -uo pipefail
cpack=$1
build=$2
scratch=$3
version=$4
source=$5
fortify=$6
python=$7
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! (cd "$build" && "$cpack" -G DEB -B "$scratch") >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB failed"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$scratch/vantel_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  ls "$scratch"
  echo "FAIL: no $(basename "$deb") was made"
  exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"
[ "$(field Section)" = hamradio ] || fail "Section is '$(field Section)'"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
description=$(field Description)
[ -n "$(head -n1 <<<"$description")" ] && [ "$(wc -l <<<"$description")" -ge 4 ] ||
  fail "Description lacks a summary line or a long description: $description"

# Package names in Depends, alternatives included, versions dropped. The
# sanitizer build adds its runtimes; extra names are fine.
depends=$(field Depends | tr ',|' '\n\n' | sed 's/^ *//; s/[ (:].*//' | sed '/^$/d' | sort -u)
for package in libc6 libqt6widgets6 libpulse0 qt6-qpa-plugins fonts-liberation2; do
  grep -qx "$package" <<<"$depends" || fail "Depends does not name $package: $(field Depends)"
done

# Every file the package holds (directories aside), exactly these.
expected=$(sort <<'LIST'
./usr/bin/vantel
./usr/bin/vantel-gen
./usr/share/applications/vantel.desktop
./usr/share/bash-completion/completions/vantel-gen
./usr/share/doc/vantel/changelog.gz
./usr/share/doc/vantel/copyright
./usr/share/icons/hicolor/128x128/apps/vantel.png
./usr/share/icons/hicolor/32x32/apps/vantel.png
./usr/share/icons/hicolor/48x48/apps/vantel.png
./usr/share/man/man1/vantel-gen.1.gz
./usr/share/man/man1/vantel.1.gz
LIST
)
modules=/usr/lib/python3/dist-packages/vantel
if [ "$python" != nopython ]; then
  suffix=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
  expected=$(sort <<LIST
$expected
$(for f in __init__.py __init__.pyi __main__.py _clip.py _options.py _signature.py _sweep.py data.py torch.py vocab.py \
      py.typed "_vantel$suffix" "_sound$suffix" scorecard/__init__.py scorecard/card.py scorecard/cli.py scorecard/copytest.py \
      scorecard/decoders.py scorecard/results.py scorecard/run.py scorecard/scoring.py scorecard/suites.py \
      scorecard/texts.py; do
    echo ".$modules/$f"
  done)
./usr/bin/vantel-copy
./usr/bin/vantel-score
./usr/share/man/man1/vantel-copy.1.gz
./usr/share/man/man1/vantel-score.1.gz
LIST
)
fi
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | sort)
[ "$files" = "$expected" ] || fail "the package holds other files than expected:
$(diff <(echo "$expected") <(echo "$files"))"
awk '$2 != "root/root" { bad = 1 } END { exit bad }' <<<"$listing" || fail "files not owned by root:
$(awk '$2 != "root/root"' <<<"$listing")"

root=$scratch/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
for program in vantel vantel-gen; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vantel-gen" --version 2>&1)
[ "$out" = "vantel-gen $version" ] || fail "the packaged vantel-gen --version printed '$out'"
validation=$(desktop-file-validate "$root/usr/share/applications/vantel.desktop" 2>&1)
[ $? -eq 0 ] && [ -z "$validation" ] || fail "desktop-file-validate: $validation"
for page in vantel.1 vantel-gen.1; do
  cmp -s <(gzip -dc "$root/usr/share/man/man1/$page.gz") "$source/docs/man/$page" ||
    fail "/usr/share/man/man1/$page.gz does not hold docs/man/$page"
done
cmp -s "$root/usr/share/bash-completion/completions/vantel-gen" "$source/packaging/bash-completion/vantel-gen" ||
  fail "the installed completion differs from packaging/bash-completion/vantel-gen"
for size in 32 48 128; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/vantel.png
  # A PNG: its signature, then the IHDR chunk's big-endian width and height.
  read -r -a header < <(od -An -tu1 -w24 -N24 "$png")
  signature="${header[*]:0:8}"
  width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
  height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
  [ "$signature" = "137 80 78 71 13 10 26 10" ] && [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "$png is not a ${size}x${size} PNG (${width}x${height})"
done

# Debian's python3 imports the packaged module (and no other) and makes a clip.
if [ "$python" != nopython ]; then
  grep -qx python3-numpy <<<"$depends" || fail "Depends does not name python3-numpy: $(field Depends)"
fi
if [ "$python" = python ]; then
  clip=$(cd "$scratch" && PYTHONPATH=$root$(dirname "$modules") /usr/bin/python3 -c '
import vantel
clip = vantel.generate(message="e", rate=8000)
print(vantel.__file__, len(clip.samples), clip.labels[0][0])' 2>&1)
  [ "$clip" = "$root$modules/__init__.py 1920 E" ] || fail "the packaged Python module: $clip"
  for program in vantel-score vantel-copy; do
    out=$(PYTHONPATH=$root$(dirname "$modules") "$root/usr/bin/$program" --version 2>&1)
    [ "$out" = "$program $version" ] || fail "the packaged $program --version printed '$out'"
  done
fi

# The newest changelog entry is this version's (lintian does not compare
# them), and the copyright names LICENSE's holder and holds its text in full.
doc=$root/usr/share/doc/vantel
changelog_version=$(gzip -dc "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
[ "$changelog_version" = "$version" ] ||
  fail "the newest entry of packaging/debian/changelog is '$changelog_version', not $version"
holder=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
[ -n "$holder" ] && grep -qxF "Copyright: $holder" "$doc/copyright" ||
  fail "the copyright does not name LICENSE's holder '$holder'"
licence=$(awk 'BEGIN { RS = ""; FS = "\n" }
  $1 ~ /^License: / { for (i = 2; i <= NF; i++) { line = substr($i, 2); print (line == "." ? "" : line) } }' "$doc/copyright")
[ -n "$licence" ] && [ "$licence" = "$(sed -n '/^Permission/,$p' "$source/LICENSE")" ] ||
  fail "the copyright's licence text is not LICENSE's:
$(diff <(echo "$licence") <(sed -n '/^Permission/,$p' "$source/LICENSE"))"

# Every error or warning fails, and so does any hardening tag, though lintian
# counts those as informational: the programs are built hardened. Other
# informational tags are allowed.
tags=$(lintian --no-cfg --display-info --fail-on error,warning "$deb" 2>"$scratch/lintian.err")
status=$?
unhardened=$(grep -E '^I: vantel: hardening-' <<<"$tags")
[ "$fortify" = fortified ] || unhardened=$(grep -v ' hardening-no-fortify-functions ' <<<"$unhardened")
[ "$status" -eq 0 ] && ! grep -qE '^[EW]: ' <<<"$tags" && [ -z "$unhardened" ] ||
  fail "lintian (exit status $status) finds errors, warnings or a program not hardened:
$tags
$(grep -v 'running with root privileges' "$scratch/lintian.err")"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $(basename "$deb"), Depends: $(field Depends)"
[ -z "$tags" ] || echo "lintian's informational tags:
$tags"
rm -rf "$scratch"
