#!/usr/bin/env bash
# `cmake --install` with DESTDIR, as packagers stage it: every command in bin, every page of doc/
# in man1 (gzipped, the same text), README, the guide (doc/guide/, beside README as in the tree),
# copyright, changelog and the example dataset in the documentation directory, and no face file
# or record that a run left in the example.
# Usage: install_layout_test.sh <build-dir> <program>...
set -euo pipefail
build=$1
shift
repo=$(cd "$(dirname "$0")/.." && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
expect() {
    if ! "${@:2}"; then echo "install layout: $1" >&2; failures=$((failures + 1)); fi
}

DESTDIR=$stage cmake --install "$build" --prefix /opt/tarnfold-test >/dev/null
root=$stage/opt/tarnfold-test
for program in "$@"; do
    expect "bin/$program is missing or not executable" test -x "$root/bin/$program"
done
for page in "$repo"/doc/*.1; do
    name=$(basename "$page")
    expect "man1/$name.gz does not hold doc/$name" cmp -s "$page" <(gzip -dc "$root/share/man/man1/$name.gz")
done
doc=$root/share/doc/tarnfold
for file in README.md copyright changelog.gz examples/bracket/data/address.txt \
    examples/bracket/model/bracket.step examples/batch/tarnfold-array.sbatch; do
    expect "share/doc/tarnfold/$file is missing" test -f "$doc/$file"
done
for page in "$repo"/doc/guide/*.md; do
    name=doc/guide/$(basename "$page")
    expect "share/doc/tarnfold/$name does not hold $name" cmp -s "$page" "$doc/$name"
done
expect "a face file was installed" test -z "$(find "$root" -name 'face*.brep*')"
expect "the record of a run was installed" test -z "$(find "$root" -name 'last-run*')"
expect "something outside bin and share was installed" \
    test -z "$(find "$root" -mindepth 1 -maxdepth 1 ! -name bin ! -name share)"
echo "install layout: $failures problems"
[ "$failures" -eq 0 ]
