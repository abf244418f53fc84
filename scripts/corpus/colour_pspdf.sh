#!/bin/bash
# Prints the colour masters (tests/corpus/colour/masters) through the PDF and
# PostScript producers, in colour and in grey, into
# tests/corpus/colour/jobs/pspdf/, with the truth per page in
# tests/corpus/colour/pspdf.tsv: a colour mode keeps each master page's
# colour, a grey mode makes every page mono. The truth is then checked by
# rendering every page of every job (RGB, 72 dpi, no anti-aliasing) and
# looking for a pixel whose components differ by more than 8.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
masters="$root/tests/corpus/colour/masters"
out="$root/tests/corpus/colour/jobs/pspdf"
truth="$root/tests/corpus/colour/pspdf.tsv"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
rm -f "$out"/*

gs_run() { gs -q -dSAFER -dBATCH -dNOPAUSE "$@"; }
grey=(-sColorConversionStrategy=Gray -dProcessColorModel=/DeviceGray)
# Per master, its pages' colours as M/C letters, from pages.tsv.
colours() { awk -F'\t' -v m="$1" '$1 == m { printf "%s", ($3 == 1 ? "C" : "M") }' "$root/tests/corpus/colour/pages.tsv"; }

printf 'file\ttag\tdriver\tmode\tpages\tcolours\n' >"$truth"
row() { # file tag driver mode master-colours
    local c=$5
    [ "$4" = grey ] && c=$(printf '%s' "$c" | tr C M)
    printf '%s\t%s\t%s\t%s\t%d\t%s\n' "$1" "$2" "$3" "$4" "${#c}" "$c" >>"$truth"
}

for ps in "$masters"/*.ps; do
    m=$(basename "$ps" .ps)
    c=$(colours "$m")
    pdf="$tmp/$m.pdf"
    gs_run -sDEVICE=pdfwrite -sOutputFile="$pdf" "$ps"
    cp "$pdf" "$out/$m.pdfwrite.pdf";                                       row "$m.pdfwrite.pdf" PDF pdfwrite colour "$c"
    gs_run -sDEVICE=pdfwrite "${grey[@]}" -sOutputFile="$out/$m.pdfwrite-grey.pdf" "$ps"
    row "$m.pdfwrite-grey.pdf" PDF "pdfwrite -sColorConversionStrategy=Gray" grey "$c"
    pdftocairo -pdf "$pdf" "$out/$m.pdftocairo.pdf";                        row "$m.pdftocairo.pdf" PDF "pdftocairo -pdf" colour "$c"
    pdftocairo -ps "$pdf" "$out/$m.pdftocairo.ps";                          row "$m.pdftocairo.ps" POSTSCRIPT "pdftocairo -ps" colour "$c"
    pdftops "$pdf" "$out/$m.pdftops.ps";                                    row "$m.pdftops.ps" POSTSCRIPT pdftops colour "$c"
    gs_run -sDEVICE=ps2write -sOutputFile="$out/$m.ps2write.ps" "$ps";       row "$m.ps2write.ps" POSTSCRIPT ps2write colour "$c"
done
# Grey PostScript from ps2write (its prolog alone is 160 kB: two masters), and
# the pictures kept as JPEG (DCT) images in a PDF.
for m in one-mark-5 photo-2; do
    gs_run -sDEVICE=ps2write "${grey[@]}" -sOutputFile="$out/$m.ps2write-grey.ps" "$masters/$m.ps"
    row "$m.ps2write-grey.ps" POSTSCRIPT "ps2write -sColorConversionStrategy=Gray" grey "$(colours "$m")"
done
for m in photo-2 grey-images-2; do
    gs_run -sDEVICE=pdfwrite -dMaxInlineImageSize=0 -dAutoFilterColorImages=false -dColorImageFilter=/DCTEncode \
        -sOutputFile="$out/$m.pdfwrite-dct.pdf" "$masters/$m.ps"
    row "$m.pdfwrite-dct.pdf" PDF "pdfwrite -dColorImageFilter=/DCTEncode" colour "$(colours "$m")"
done

# A fig2dev drawing (a red box and black text) whose page comment stands
# twice before its one showpage, as some fig2dev files have it: one page.
if command -v fig2dev >/dev/null; then
    cat >"$tmp/box.fig" <<'FIG'
#FIG 3.2  Produced by hand
Landscape
Center
Metric
A4
100.00
Single
-2
1200 2
2 2 0 1 0 4 50 -1 20 0.000 0 0 -1 0 0 5
	 1200 1200 3600 1200 3600 2400 1200 2400 1200 1200
4 0 0 50 -1 0 12 0.0000 4 135 1200 1200 3000 Hello fig\001
FIG
    fig2dev -L ps "$tmp/box.fig" "$tmp/box.ps"
    awk '{print} /^%%EndPageSetup/ {print "%%Page: 1 1"}' "$tmp/box.ps" >"$out/box-1.fig2dev-page-twice.ps"
    printf '%s\t%s\t%s\t%s\t%d\t%s\n' box-1.fig2dev-page-twice.ps POSTSCRIPT "fig2dev -L ps" colour 1 C >>"$truth"
fi

[ "${1:-}" = --check ] || exit 0
bad=0
while IFS=$'\t' read -r file tag driver mode pages want; do
    [ "$file" = file ] && continue
    rm -f "$tmp"/page-*.ppm
    gs_run -sDEVICE=ppmraw -r72 -dTextAlphaBits=1 -dGraphicsAlphaBits=1 -sOutputFile="$tmp/page-%d.ppm" "$out/$file"
    got=$(python3 - "$tmp" "$pages" <<'PY'
import re, sys
out = ''
for n in range(1, int(sys.argv[2]) + 1):
    d = open(f'{sys.argv[1]}/page-{n}.ppm', 'rb').read()
    m = re.match(rb'P6(?:\s+(?:#[^\n]*\n)*)(\d+)\s+(\d+)\s+(\d+)\s', d)
    px = d[m.end():m.end() + int(m[1]) * int(m[2]) * 3]
    out += 'C' if any(max(px[i:i+3]) - min(px[i:i+3]) > 8 for i in range(0, len(px), 3)) else 'M'
print(out)
PY
)
    [ "$got" = "$want" ] || { echo "$file: truth $want, rendered $got" >&2; bad=1; }
done <"$truth"
exit $bad
