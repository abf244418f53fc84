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

# --- The accurate PDF count -------------------------------------------------------
# Every corpus PDF as it stands. In one process on the same bytes in memory:
# the accurate count and libqpdf's QPDFPageDocumentHelper::getAllPages (median
# of 21 runs per file). Then one process per file: the accurate count and
# pdfinfo. Then generated files of 100 to 10,000 pages, for linearity.
cmake --build "$build" -j2 --target pdf_peers pdf_count >/dev/null
peers="$build/bench/pdf_peers"
corpus_pdfs=$(awk -F'\t' '$2=="PDF"{print "'"$src"'/tests/corpus/"$1}' "$src/tests/corpus/truth.tsv")
# shellcheck disable=SC2086
"$peers" time 21 $corpus_pdfs >"$work/inproc.tsv"
echo
# Per file: our time, libqpdf's and their ratio; the table gives medians over
# the files. The encrypted file stands apart: both sides spend its time in
# libqpdf deriving the AES-256 key.
python3 - "$work/inproc.tsv" <<'PY'
import statistics, sys
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1])]
plain = [r for r in rows if 'encrypted' not in r[0]]
def line(name, rs, col):
    ours = [float(r[col]) for r in rs]
    theirs = [float(r[3]) for r in rs]
    ratios = [t / o for o, t in zip(ours, theirs)]
    agree = sum(r[4] == r[5] for r in rs)
    print(f"| {name} | {len(rs)} | {statistics.median(ours):.1f} | {statistics.median(theirs):.1f} | "
          f"{statistics.median(ratios):.1f} (min {min(ratios):.1f}) | {agree} of {len(rs)} |")
print("| accurate PDF count, in process | files | median µs per file | libqpdf getAllPages, median µs | libqpdf / ours, median of files | pages agree |")
print("|---|---|---|---|---|---|")
line("whole count (colour read from the content)", plain, 1)
line("structure only (pages, paper, copies, duplex)", plain, 2)
enc = [r for r in rows if 'encrypted' in r[0]]
if enc:
    line("whole count, the encrypted file", enc, 1)
PY
ours_ms=0 theirs_ms=0 n=0
for f in $corpus_pdfs; do
  ours_ms=$(awk -v a="$ours_ms" -v b="$(median_ms "$build/bench/pdf_count" "$f")" 'BEGIN{print a+b}')
  theirs_ms=$(awk -v a="$theirs_ms" -v b="$(median_ms pdfinfo "$f")" 'BEGIN{print a+b}')
  n=$((n + 1))
done
echo
echo "| accurate PDF count | files | quirometer ms per file | pdfinfo ms per file | ratio |"
echo "|---|---|---|---|---|"
awk -v a="$ours_ms" -v b="$theirs_ms" -v n="$n" \
  'BEGIN{printf "| a process per file | %d | %.2f | %.2f | %.1f |\n", n, a/n, b/n, b/a}'

# Generated files: N letter pages, each with its own content stream, in a
# classic table; and the same rewritten by qpdf with object streams.
gen_pdf() { # pages out
  python3 - "$1" "$2" <<'PY'
import sys
n, path = int(sys.argv[1]), sys.argv[2]
out, at = bytearray(b'%PDF-1.7\n'), {}
def obj(k, body):
    at[k] = len(out)
    out.extend(b'%d 0 obj\n%s\nendobj\n' % (k, body))
kids = b' '.join(b'%d 0 R' % (4 + 2 * i) for i in range(n))
obj(1, b'<< /Type /Catalog /Pages 2 0 R >>')
obj(2, b'<< /Type /Pages /Kids [%s] /Count %d /MediaBox [0 0 612 792] >>' % (kids, n))
obj(3, b'<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>')
for i in range(n):
    page, content = 4 + 2 * i, 5 + 2 * i
    obj(page, b'<< /Type /Page /Parent 2 0 R /Contents %d 0 R /Resources << /Font << /F1 3 0 R >> >> >>' % content)
    text = b'BT /F1 24 Tf 72 700 Td (Page %d) Tj ET 0 g 72 72 468 20 re f' % (i + 1)
    obj(content, b'<< /Length %d >>\nstream\n%s\nendstream' % (len(text), text))
size = 4 + 2 * n
xref = len(out)
out.extend(b'xref\n0 %d\n0000000000 65535 f \n' % size)
for k in range(1, size):
    out.extend(b'%010d 00000 n \n' % at[k])
out.extend(b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (size, xref))
open(path, 'wb').write(out)
PY
}
echo
echo "| generated PDF | pages | whole count µs | µs per page | structure only µs | µs per page | libqpdf µs | libqpdf / whole |"
echo "|---|---|---|---|---|---|---|---|"
for pages in 100 1000 10000; do
  gen_pdf "$pages" "$work/gen-$pages.pdf"
  qpdf --object-streams=generate "$work/gen-$pages.pdf" "$work/gen-$pages-objstm.pdf"
  for f in "$work/gen-$pages.pdf" "$work/gen-$pages-objstm.pdf"; do
    "$peers" time 5 "$f" | awk -F'\t' -v p="$pages" -v name="$(basename "$f" .pdf)" \
      '{printf "| %s | %d | %.0f | %.2f | %.0f | %.2f | %.0f | %.1f |\n", name, p, $2, $2/p, $3, $3/p, $4, $4/$2}'
  done
done

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

# --- Colour of PDF and PostScript pages ----------------------------------------------
# The colour-truth jobs and the corpus PDF and PostScript jobs. In process:
# the accurate count with its colour pass and without it (the pass may cost
# at most twice the count). Beside it, Ghostscript rendering the same job at
# 72 dpi (the inkcov device, which renders every page), one process per job;
# our side as a process is the command-line tool counting the job alone.
# The colour pass cannot be switched off through the API nor the tool, so
# its cost as a host sees it is the host's time over that time less the
# pass's in-process cost (with - without): for QuirometerCount on the path
# (colour_peers' last column) and for the tool as a process.
cmake --build "$build" -j2 --target colour_peers >/dev/null
colour_jobs=$(ls "$src"/tests/corpus/colour/jobs/pspdf/*; awk -F'\t' '$2=="PDF" || $2=="POSTSCRIPT" {print "'"$src"'/tests/corpus/"$1}' "$src/tests/corpus/truth.tsv" | grep -v encrypted)
# shellcheck disable=SC2086
"$build/bench/colour_peers" 21 $colour_jobs >"$work/colour.tsv"
: >"$work/gs.tsv"
for f in $colour_jobs; do
  printf '%s\t%s\t%s\n' "$f" "$(median_ms gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=inkcov -r72 -o /dev/null "$f")" \
    "$(median_ms "$q" count -j 1 "$f")" >>"$work/gs.tsv"
done
echo
python3 - "$work/colour.tsv" "$work/gs.tsv" <<'PY'
import statistics, sys
inproc = {r[0]: r for r in (l.rstrip('\n').split('\t') for l in open(sys.argv[1]))}
gs = {r[0]: r for r in (l.rstrip('\n').split('\t') for l in open(sys.argv[2]))}
print("| colour pass | jobs | pages | left unknown | with colour, median µs | without, median µs | with / without: median (max) | with / without, QuirometerCount on the path: median (max) | with / without, the tool as a process: median (max) | gs inkcov -r72, median ms | gs / ours in process: median (min) | gs / ours as processes: median (min) | inflating the content alone, over the count without: median (max) |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
for name, test in (("PDF", lambda f: f.endswith(".pdf")), ("PostScript", lambda f: not f.endswith(".pdf"))):
    files = [f for f in inproc if test(f) and f in gs]
    if not files:
        continue
    w = [float(inproc[f][1]) for f in files]
    wo = [float(inproc[f][2]) for f in files]
    g = [float(gs[f][1]) for f in files]
    cli = [float(gs[f][2]) for f in files]
    cost = [a / b for a, b in zip(w, wo)]
    host = [float(inproc[f][6]) for f in files]
    hostCost = [h / (h - a + b) for h, a, b in zip(host, w, wo)]
    procCost = [1000 * c / (1000 * c - a + b) for c, a, b in zip(cli, w, wo)]
    ratio = [1000 * b / a for a, b in zip(w, g)]
    proc = [b / a for a, b in zip(cli, g)]
    floor = [(b + float(inproc[f][7])) / b for f, b in zip(files, wo)]
    floorText = f"{statistics.median(floor):.2f} ({max(floor):.2f})" if name == "PDF" else "-"
    pages = sum(int(inproc[f][3]) for f in files)
    unknown = sum(int(inproc[f][5]) for f in files)
    print(f"| {name} | {len(files)} | {pages} | {unknown} | {statistics.median(w):.0f} | {statistics.median(wo):.0f} | "
          f"{statistics.median(cost):.2f} ({max(cost):.2f}) | {statistics.median(hostCost):.2f} ({max(hostCost):.2f}) | "
          f"{statistics.median(procCost):.3f} ({max(procCost):.3f}) | {statistics.median(g):.0f} | "
          f"{statistics.median(ratio):.0f} ({min(ratio):.0f}) | {statistics.median(proc):.0f} ({min(proc):.0f}) | {floorText} |")
PY

