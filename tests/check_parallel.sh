#!/usr/bin/env bash
# check_parallel.sh PROGRAM DOC PICTURE: runs DOC's GNU parallel commands (its
# line with --trc, its line with --pipe) on this machine alone (-S :), each
# in a folder of its own: every picture is the batch form's bytes, and the one
# that fails makes parallel exit with 1, the number of jobs that failed.
set -euo pipefail
program=$1 doc=$2 picture=$3
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "check_parallel: $*" >&2; exit 1; }
command -v parallel >/dev/null || skip "GNU parallel not found (Debian: parallel)"
parallel --version 2>/dev/null | grep -q '^GNU parallel' || skip "the parallel found is not GNU parallel"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two sizes (one with padded rows), a space, a name beyond ASCII, and a file
# that is no picture.
mkdir "$work/pictures" "$work/ref"
cd "$work/pictures"
cp "$picture" card.bmp
"$program" card.bmp 'odd one.bmp' 7 >/dev/null
cp card.bmp $'bild-\xc3\xa4.bmp'
"$program" -q -a 30 -d "$work/ref" ./*.bmp
echo 'not a picture' >bad.bmp

# parallel keeps its files under PARALLEL_HOME, not in the home folder.
export PARALLEL_HOME=$work/.parallel
PATH=$(dirname "$program"):$PATH
for form in --trc --pipe; do
  command=$(sed -n '/^```sh$/,/^```$/p' "$doc" | grep -e "parallel -S host1,host2 .*$form " || true)
  [[ -n $command && $command != *$'\n'* ]] || fail "$doc: not one command with parallel -S host1,host2 and $form"
  command=${command/-S host1,host2 /-S : }
  dir=$work/run$form
  cp -R "$work/pictures" "$dir"
  mkdir "$dir/out"
  echo "\$ $command"
  status=0
  (cd "$dir" && bash -c "$command") >/dev/null 2>"$work/err" || status=$?
  ((status == 1)) || { cat "$work/err"; fail "$form: parallel exited with $status, not 1 (one job failed)"; }
  for ref in "$work"/ref/*.bmp; do
    name=$(basename "$ref" .bmp)
    if [[ $form == --trc ]]; then out=$dir/$name-30.bmp; else out=$dir/out/$name.bmp; fi
    cmp "$ref" "$out" || fail "$form: $out is not the batch form's picture"
  done
  echo "$form: the batch form's bytes in each of $(find "$work/ref" -name '*.bmp' | wc -l) pictures"
done
