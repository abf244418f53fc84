#!/usr/bin/env bash
# Files per second of the CLI with -j 1 and -j 2 over the whole corpus
# repeated to at least 2,000 files (each with its own tag), median of REPS.
#   bench/cli_scaling.sh [REPS]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
reps=${1:-3}
# QM_BUILD_DIR picks the build directory (default: build), built Release
# two jobs at a time: the machine may be shared.
build=${QM_BUILD_DIR:-$src/build}
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target quirometer_cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A manifest in the samples format, with nothing to compare: the tool only
# counts. Each repetition of the corpus is a copy of its own, as a print
# server's spool holds distinct files.
{
  echo -e "file\ttag\tpages"
  n=0; r=0
  while [ $n -lt 2000 ]; do
    r=$((r + 1))
    while IFS=$'\t' read -r file tag _; do
      [ "$file" = file ] && continue
      mkdir -p "$work/r$r/$(dirname "$file")"
      cp "$src/tests/corpus/$file" "$work/r$r/$file"
      echo -e "r$r/$file\t$tag\t-"; n=$((n + 1))
    done < "$src/tests/corpus/truth.tsv"
  done
} > "$work/truth.tsv"
files=$(($(wc -l < "$work/truth.tsv") - 1))
cat "$work"/r*/jobs/*/* > /dev/null  # warm the page cache
rate() {
  local best=() t0 t1
  for _ in $(seq "$reps"); do
    t0=$(date +%s%N)
    "$build/quirometer" samples --dir "$work" -j "$1" > /dev/null || true
    t1=$(date +%s%N)
    best+=($(( (t1 - t0) / 1000 )))
  done
  local us; us=$(printf '%s\n' "${best[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  awk -v f="$files" -v us="$us" 'BEGIN{printf "%.0f", f / (us / 1e6)}'
}
r1=$(rate 1)
r2=$(rate 2)
echo "files: $files"
echo "-j 1: $r1 files/s"
echo "-j 2: $r2 files/s"
awk -v a="$r1" -v b="$r2" 'BEGIN{printf "speed-up: %.2f\n", b / a}'
