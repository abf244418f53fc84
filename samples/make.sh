#!/bin/bash
# Rebuilds the bundled sample jobs: a few jobs of each language taken from the
# driver corpus (tests/corpus/jobs, see scripts/corpus/make.sh), the project's
# own PostScript master, and a small PDF written here with one key per line.
# truth.tsv beside this script is kept by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../tests/corpus"
cd "$here"

take() { # corpus job -> samples/<its file name>
    cp "$corpus/$1" "$here/$(basename "$1")"
}

take jobs/pcl/letter-memo-1.ljet4pjl-copies3.pcl
take jobs/pcl/a4-report-3.ljet4d-duplex.pcl
take jobs/pclxl/legal-posters-2.pxlcolor.pxl
take jobs/pclxl/letter-memo-1.pxlmono-copies3.pxl
take jobs/postscript/letter-memo-1.ps2write.ps
take masters/letter-memo-1.ps
take jobs/escp2/a4-report-3.epsonc.prn
take jobs/canon/letter-memo-1.bjc600.prn
take jobs/esc_page/letter-memo-1.escpage-duplex.prn
take jobs/lexmark/letter-memo-1.lex5700.prn
take jobs/zjstream/letter-memo-1.foo2zjs-copies2-duplex.zjs
take jobs/oakt/letter-memo-1.foo2oak.oak
take jobs/qpdl/letter-memo-1.foo2qpdl-copies2-duplex.qpdl
take jobs/hiperc/legal-posters-2.foo2hiperc.hiperc
take jobs/ppa/letter-memo-1.pnm2ppa.prn

# A two-page Letter PDF with a classic cross-reference table and every
# dictionary key on a line of its own.
pdf=two-pages-one-key-per-line.pdf
stream() { printf '<<\n/Length %d\n>>\nstream\n%s\nendstream' "${#1}" "$1"; }
objects=(
"<<
/Type /Catalog
/Pages 2 0 R
>>"
"<<
/Type /Pages
/Kids [3 0 R 4 0 R]
/Count 2
>>"
"<<
/Type /Page
/Parent 2 0 R
/MediaBox [0 0 612 792]
/Contents 5 0 R
/Resources 7 0 R
>>"
"<<
/Type /Page
/Parent 2 0 R
/MediaBox [0 0 612 792]
/Contents 6 0 R
/Resources 7 0 R
>>"
"$(stream 'BT /F1 24 Tf 72 700 Td (First page) Tj ET')"
"$(stream 'BT /F1 24 Tf 72 700 Td (Second page) Tj ET')"
"<<
/Font <<
/F1 8 0 R
>>
>>"
"<<
/Type /Font
/Subtype /Type1
/BaseFont /Helvetica
>>"
)
: >"$pdf.tmp"
printf '%%PDF-1.4\n' >>"$pdf.tmp"
offsets=()
for k in "${!objects[@]}"; do
    offsets+=("$(stat -c %s "$pdf.tmp")")
    printf '%d 0 obj\n%s\nendobj\n' $((k + 1)) "${objects[$k]}" >>"$pdf.tmp"
done
xref=$(stat -c %s "$pdf.tmp")
{
    printf 'xref\n0 %d\n' $((${#objects[@]} + 1))
    printf '0000000000 65535 f\r\n'
    for o in "${offsets[@]}"; do printf '%010d 00000 n\r\n' "$o"; done
    printf 'trailer\n<<\n/Size %d\n/Root 1 0 R\n>>\nstartxref\n%d\n%%%%EOF\n' $((${#objects[@]} + 1)) "$xref"
} >>"$pdf.tmp"
mv "$pdf.tmp" "$pdf"
if command -v pdfinfo >/dev/null; then
    pages=$(timeout 60 pdfinfo "$pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')
    [[ $pages == 2 ]] || { echo "$pdf: pdfinfo reads ${pages:-no} pages" >&2; exit 1; }
fi
du -ch "$here"/*.* | tail -1
