#!/usr/bin/env bash
# The example as a Windows user runs it, under wine with drive D: mapped to a directory:
# `tarnfold.exe D:\jobs\bracket` prints its path and the quoted root and writes face files
# byte-identical to the Linux build's, and `tarnfold-faces.exe --html` the same page as Linux's;
# a root named with a letter of code page 1252 works and
# its face files carry that name; a root with a character outside it is one line, status 1,
# nothing written.
#   example_on_drive_d.sh <tarnfold.exe> <Linux tarnfold> <source directory>
set -euo pipefail
exe=$1
linux=$2
source=$3
: "${WINEPREFIX:?the Windows tests run with their own WINEPREFIX}"
work=$(mktemp -d)
drive="$WINEPREFIX/dosdevices/d:"
trap 'rm -rf "$work"; rm -f "$drive"' EXIT
fail() { echo "example_on_drive_d: $*" >&2; exit 1; }

# The Linux build's face files, the reference.
mkdir -p "$work/linux"
cp -r "$source/examples" "$work/linux/"
rm -f "$work/linux/examples/bracket/data/"{face*.brep,last-run*}
(cd "$work/linux" && "$linux" examples/bracket >/dev/null)

# D:\tarnfold.exe and D:\jobs\<root>, each dataset naming its model by a Windows path.
mkdir -p "$work/d/jobs"
cp "$exe" "$work/d/tarnfold.exe"
ln -sfn "$work/d" "$drive"
for root in bracket café 模型; do
  cp -r "$work/linux/examples/bracket" "$work/d/jobs/$root"
  rm -f "$work/d/jobs/$root/data/"{face*.brep,last-run*}
  printf 'D:\\jobs\\%s\\model\\bracket.step\r\n' bracket >"$work/d/jobs/$root/data/address.txt"
done
run() { # run <root as typed>: stdout to out, stderr to err, the status echoed
  local status=0
  (cd "$work" && LC_ALL=C.UTF-8 wine 'D:\tarnfold.exe' "$1" >out 2>err) || status=$?
  echo "$status"
}

status=$(run 'D:\jobs\bracket')
[ "$status" = 0 ] || fail "D:\\jobs\\bracket: status $status: $(cat "$work/err")"
# Console lines end with CRLF on Windows.
printf 'D:\\tarnfold.exe\r\n"D:\\\\jobs\\\\bracket"\r\n' >"$work/expected"
head -c "$(stat -c %s "$work/expected")" "$work/out" | cmp -s - "$work/expected" ||
  fail "the first two lines are: $(head -2 "$work/out" | od -c | head -4)"
for face in "$work"/linux/examples/bracket/data/face*.brep; do
  name=$(basename "$face")
  cmp "$face" "$work/d/jobs/bracket/data/$name" || fail "$name differs from the Linux build's"
done
[ "$(ls "$work/d/jobs/bracket/data" | grep -c '^face')" = 4 ] || fail "not 4 face files"

# The page of tarnfold-faces.exe, laid out beside three.js as the zip lays it out: the same bytes
# as the Linux build's page of the same dataset.
mkdir -p "$work/d/three/build" "$work/d/three/examples/js/controls"
cp -L /usr/share/javascript/three/build/three.min.js "$work/d/three/build/"
cp -L /usr/share/javascript/three/examples/js/controls/OrbitControls.js \
  "$work/d/three/examples/js/controls/"
cp "$(dirname "$exe")/tarnfold-faces.exe" "$work/d/tarnfold-faces.exe"
(cd "$work/linux" && "$(dirname "$linux")/tarnfold-faces" examples/bracket --html page.html \
  >/dev/null 2>&1) || fail "the Linux build's tarnfold-faces failed"
(cd "$work" && LC_ALL=C.UTF-8 wine 'D:\tarnfold-faces.exe' 'D:\jobs\bracket' --html 'D:\page.html' \
  >/dev/null 2>"$work/err") || fail "tarnfold-faces.exe failed: $(cat "$work/err")"
cmp "$work/linux/page.html" "$work/d/page.html" || fail "the page differs from the Linux build's"

status=$(run 'D:\jobs\café')
[ "$status" = 0 ] || fail "D:\\jobs\\café: status $status: $(cat "$work/err")"
printf '"D:\\\\jobs\\\\caf\xe9"\r\n' | cmp -s - <(sed -n 2p "$work/out") ||
  fail "the root is not printed in code page 1252: $(sed -n 2p "$work/out" | od -c)"
cmp "$work/linux/examples/bracket/data/face8.brep" "$work/d/jobs/café/data/face8.brep" ||
  fail "no face8.brep under the name café"

status=$(run 'D:\jobs\模型')
[ "$status" = 1 ] || fail "D:\\jobs\\模型: status $status"
printf "tarnfold: error: cannot name 'D:\\\\jobs\\\\<U+6A21><U+578B>' in code page 1252, the narrow encoding of file names: it has no U+6A21\r\n" |
  cmp - "$work/err" || fail "its error: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "it printed: $(cat "$work/out")"
[ -z "$(ls "$work/d/jobs/模型/data" | grep -v '^address.txt$\|^force$\|^restraint$')" ] ||
  fail "something was written: $(ls "$work/d/jobs/模型/data")"
echo "example_on_drive_d: the example, café and 模型 behave under wine as on Windows"
