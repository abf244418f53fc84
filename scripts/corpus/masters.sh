#!/bin/bash
# Writes the master documents (PostScript, DSC-conforming) into masters/.
# Each master's page count is fixed here and repeated in make.sh's table.
set -euo pipefail
here=$(cd "$(dirname "$0")/../../tests/corpus" && pwd)
out="$here/masters"
mkdir -p "$out"

# Prolog shared by every master: a page-size request, text helpers, a page badge.
prolog() { # $1 title, $2 pages, $3 width pt, $4 height pt
    cat <<PS
%!PS-Adobe-3.0
%%Title: $1
%%Creator: quirometer corpus masters
%%Pages: $2
%%BoundingBox: 0 0 $3 $4
%%DocumentMedia: Plain $3 $4 75 white ()
%%EndComments
%%BeginProlog
/W $3 def /H $4 def
/badge { % n -> draws the page number large in the top right corner
  gsave /Helvetica-Bold findfont 28 scalefont setfont
  W 90 sub H 60 sub moveto (p. ) show 3 string cvs show grestore } bind def
/line { % y string -> shows one line at the left margin
  exch 54 exch moveto show } bind def
/words [(ledger) (toner) (duplex) (margin) (spool) (queue) (quota) (sheet)
  (account) (report) (printer) (tray) (staple) (collate) (invoice) (budget)
  (department) (project) (balance) (colour) (mono) (paper) (legal) (letter)] def
/para { % seed lines y0 -> fills lines of pseudo-text downward from y0
  /y exch def /n exch def /s exch def
  n { /x 54 def
      { s 7 mul 13 add 97 mod /s exch def
        words s words length mod get
        dup stringwidth pop x add W 54 sub gt { pop exit } if
        x y moveto dup show stringwidth pop x add 4 add /x exch def } loop
      /y y 13 sub def } repeat } bind def
%%EndProlog
%%BeginSetup
<< /PageSize [$3 $4] >> setpagedevice
%%EndSetup
PS
}

page_begin() { printf '%%%%Page: %s %s\n%%%%BeginPageSetup\n/pagesave save def\n%%%%EndPageSetup\n' "$1" "$1"; }
page_end() { printf 'pagesave restore\nshowpage\n'; }

# 1: Letter, monochrome, one page of text.
{
    prolog "Letter memo, one page" 1 612 792
    page_begin 1
    cat <<'PS'
/Times-Bold findfont 20 scalefont setfont 740 (Quarterly print usage memo) line
/Times-Roman findfont 11 scalefont setfont 3 48 710 para
1 badge
PS
    page_end
    echo '%%Trailer'; echo '%%EOF'
} >"$out/letter-memo-1.ps"

# 2: A4, colour, three pages mixing text and charts.
{
    prolog "A4 colour report, three pages" 3 595 842
    for p in 1 2 3; do
        page_begin $p
        cat <<PS
/Helvetica-Bold findfont 18 scalefont setfont 0.1 0.2 0.7 setrgbcolor 780 (Colour report, section $p) line
0 setgray /Helvetica findfont 10 scalefont setfont $p 20 750 para
% a bar chart in colour
/pure [[1 0 0] [0 1 0] [0 0 1] [0 1 1] [1 0 1] [1 1 0]] def
0 1 11 { /i exch def pure i 6 mod get aload pop setrgbcolor
  60 i 38 mul add 200 30 i $p add 7 mul 31 mod 8 mul 20 add rectfill } for
0 setgray 1 setlinewidth 55 195 moveto 520 195 lineto stroke
1 0 0 setrgbcolor 300 120 60 0 360 arc fill
$p badge
PS
        page_end
    done
    echo '%%Trailer'; echo '%%EOF'
} >"$out/a4-report-3.ps"

# 3: Legal, colour, two pages of dense graphics.
{
    prolog "Legal colour posters, two pages" 2 612 1008
    for p in 1 2; do
        page_begin $p
        cat <<PS
% saturated colours only, so that the rasters of colour drivers stay small
/pure [[1 0 0] [0 1 0] [0 0 1] [0 1 1] [1 0 1] [1 1 0] [0 0 0]] def
0 1 13 { /i exch def pure i $p add 7 mod get aload pop setrgbcolor
  306 504 280 i 20 mul sub 0 max 0 360 arc fill } for
0 1 35 { /i exch def pure i 7 mod get aload pop setrgbcolor
  20 i 16 mul add 110 8 180 rectfill 20 i 16 mul add 720 8 i $p add 9 mod 20 mul rectfill } for
0 0 1 setrgbcolor 40 900 200 60 rectfill 1 0 0 setrgbcolor 372 900 200 60 rectfill
/Helvetica-Bold findfont 48 scalefont setfont 0 setgray 120 60 moveto (Poster $p) show
$p badge
PS
        page_end
    done
    echo '%%Trailer'; echo '%%EOF'
} >"$out/legal-posters-2.ps"

# 4: A4, monochrome, a long text document of 27 pages.
{
    prolog "A4 handbook, 27 pages" 27 595 842
    for p in $(seq 1 27); do
        page_begin $p
        cat <<PS
/Times-Bold findfont 14 scalefont setfont 790 (Handbook chapter $p) line
/Times-Roman findfont 10 scalefont setfont $p 22 770 para
$p badge
PS
        page_end
    done
    echo '%%Trailer'; echo '%%EOF'
} >"$out/a4-handbook-27.ps"

# 5: Letter, monochrome, four pages of line art.
{
    prolog "Letter drawings, four pages" 4 612 792
    for p in 1 2 3 4; do
        page_begin $p
        cat <<PS
0 setgray 0.5 setlinewidth
0 1 89 { /i exch def gsave 306 396 translate i 4 mul $p mul rotate
  0 0 moveto 250 i 2 mul sub 0 lineto stroke grestore } for
0.6 setgray 100 100 150 80 rectfill
$p badge
PS
        page_end
    done
    echo '%%Trailer'; echo '%%EOF'
} >"$out/letter-drawings-4.ps"
