#!/usr/bin/env bash
# Page counting side by side with peers on the same files: Ghostscript for
# PostScript; qpdf, pdfinfo and Ghostscript for PDF (on files the PDF counter
# accepts: classic cross-reference tables with one key per line, made here
# with qpdf's QDF mode from the corpus PDFs). Prints a Markdown table of the
# median wall time per file over REPS runs and each peer's ratio to ours.
#   bench/peers.sh [REPS]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
reps=${1:-5}
bash "$src/scripts/deps.sh" ghostscript qpdf poppler-utils
# QM_BUILD_DIR picks the build directory (default: build), built Release
# two jobs at a time: the machine may be shared.
build=${QM_BUILD_DIR:-$src/build}
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target quirometer_cli >/dev/null
q="$build/quirometer"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median wall time in milliseconds of a command run REPS times.
median_ms() {
  local times=() t0 t1
  for _ in $(seq "$reps"); do
    t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}

ps_files=$(awk -F'\t' '$2=="POSTSCRIPT"{print "'"$src"'/tests/corpus/"$1}' "$src/tests/corpus/truth.tsv")
i=0
for f in $(awk -F'\t' '$2=="PDF"{print "'"$src"'/tests/corpus/"$1}' "$src/tests/corpus/truth.tsv"); do
  i=$((i + 1))
  qpdf --qdf --object-streams=disable "$f" "$work/$i.pdf" 2>/dev/null || true
done
# The sample PDFs too: the QDF rewrites keep several keys on a line, which
# the reader may refuse; only files it counts are timed.
for f in $(awk -F'\t' '$2=="PDF"{print "'"$src"'/samples/"$1}' "$src/samples/truth.tsv"); do
  cp "$f" "$work/sample-$(basename "$f")"
done
pdf_files=$(for f in "$work"/*.pdf; do
  [ -f "$f" ] || continue
  p=$("$q" count --json --pdl PDF "$f" 2>/dev/null | sed -n 's/.*"pages":\([0-9]*\).*/\1/p' || true)
  [ -n "$p" ] && echo "$f"
done)

echo "| language | files | tool | median ms per file | ratio to quirometer |"
echo "|---|---|---|---|---|"
row() {  # language files-list tool-name command-prefix...
  local lang=$1 files=$2 name=$3; shift 3
  local total=0 n=0
  for f in $files; do
    total=$(awk -v a="$total" -v b="$(median_ms "$@" "$f")" 'BEGIN{print a+b}'); n=$((n + 1))
  done
  [ $n -gt 0 ] || return 0
  awk -v t="$total" -v n="$n" 'BEGIN{printf "%.2f", t/n}'
}
report() {
  local lang=$1 files=$2; shift 2
  local ours; ours=$(row "$lang" "$files" quirometer "$q" count --pdl "$lang")
  [ -n "$ours" ] || { echo "| $lang | 0 | (no files) | | |"; return; }
  local n; n=$(echo "$files" | wc -w)
  echo "| $lang | $n | quirometer count | $ours | 1 |"
  while [ $# -gt 0 ]; do
    local name=$1 cmd=$2; shift 2
    local theirs; theirs=$(row "$lang" "$files" "$name" $cmd)
    echo "| $lang | $n | $name | $theirs | $(awk -v a="$theirs" -v b="$ours" 'BEGIN{printf "%.1f", a/b}') |"
  done
}
report POSTSCRIPT "$ps_files" \
  "gs nullpage" "gs -q -dNODISPLAY -dBATCH -dNOPAUSE -dSAFER -sDEVICE=nullpage"
report PDF "$pdf_files" \
  "qpdf --show-npages" "qpdf --show-npages" \
  "pdfinfo" "pdfinfo" \
  "gs nullpage" "gs -q -dNODISPLAY -dBATCH -dNOPAUSE -dSAFER -sDEVICE=nullpage"

# The accurate PostScript count beside Ghostscript's on every corpus
# PostScript job: pages by the bbox device (one %%BoundingBox per page it
# renders) against the truth the accurate count is held to
# (AccurateCorpus.POSTSCRIPT), and the time per job of each, the accurate
# count's from quirometer_bench (the accurate path has no command-line entry
# point; the bench reports its rate in the thread's CPU time).
cmake --build "$build" -j2 --target quirometer_bench >/dev/null 2>&1 || true
rates="$work/rates"
: >"$rates"
if [ -x "$build/bench/quirometer_bench" ]; then
  # Name and the MBps column, next to last ("2.85k" is 2850).
  "$build/bench/quirometer_bench" --benchmark_filter='^accurate/POSTSCRIPT/job/' 2>/dev/null |
    awk '/^accurate\/POSTSCRIPT\/job\// {v = $(NF-1); m = 1; if (v ~ /k$/) {m = 1000; sub(/k$/, "", v)}
         n = $1; sub(/.*\//, "", n); print n, v * m}' >"$rates"
fi
echo
echo "| PostScript job | truth pages | gs bbox pages | gs bbox ms | accurate count ms |"
echo "|---|---|---|---|---|"
for f in $ps_files; do
  rel=${f#"$src/tests/corpus/"}
  truth=$(awk -F'\t' -v f="$rel" '$1==f {print $4}' "$src/tests/corpus/truth.tsv")
  pages=$(gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=bbox "$f" 2>&1 | grep -c '^%%BoundingBox' || true)
  ms=$(median_ms gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=bbox "$f")
  ours=$(awk -v n="$(basename "$f")" -v b="$(stat -c %s "$f")" '$1 == n && $2 > 0 {printf "%.3f", b / ($2 * 1000)}' "$rates")
  echo "| $rel | $truth | $pages | $ms | ${ours:-?} |"
done
