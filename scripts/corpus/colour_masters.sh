#!/bin/bash
# Writes the colour masters (PostScript, DSC-conforming) into
# tests/corpus/colour/masters/ and their truth, one row per page, into
# tests/corpus/colour/pages.tsv. Each master says by construction which of
# its pages print in colour; `--check` renders every page with Ghostscript
# (RGB, 72 dpi, no anti-aliasing) and confirms that a page has a pixel whose
# components differ exactly when the truth says colour.
set -euo pipefail
here=$(cd "$(dirname "$0")/../../tests/corpus/colour" && pwd)
out="$here/masters"
mkdir -p "$out"

A4="595 842" LETTER="612 792" A3="842 1191"

head_ps() { # title pages w h
    cat <<PS
%!PS-Adobe-3.0
%%Title: $1
%%Creator: quirometer colour masters
%%Pages: $2
%%BoundingBox: 0 0 $3 $4
%%EndComments
%%BeginProlog
/text { % y -> ten lines of black text from y down
  /Times-Roman findfont 12 scalefont setfont
  10 { dup 54 exch moveto (Quarterly ledger of the print room: sheets, toner and queues.) show 14 sub } repeat pop
} bind def
%%EndProlog
PS
}
page_ps() { # n w h body
    printf '%%%%Page: %s %s\n%%%%BeginPageSetup\n<< /PageSize [%s %s] >> setpagedevice\n%%%%EndPageSetup\n%s\nshowpage\n' \
        "$1" "$1" "$2" "$3" "$4"
}
black_text='0 setgray 700 text'
red_mark='0 setgray 700 text 1 0 0 setrgbcolor 300 300 6 6 rectfill'
# An RGB image whose every pixel has equal components: grey.
grey_image='0 setgray 700 text gsave 100 200 translate 256 64 scale
16 16 8 [16 0 0 16 0 0] {<'$(for i in $(seq 0 255); do printf '%02x%02x%02x' $((i*7%256)) $((i*7%256)) $((i*7%256)); done)'>} false 3 colorimage grestore'
photo='0 setgray 700 text gsave 100 200 translate 256 256 scale
16 16 8 [16 0 0 16 0 0] {<'$(for i in $(seq 0 255); do printf '%02x%02x%02x' $((i%16*16)) $((i/16*16)) 128; done)'>} false 3 colorimage grestore'
rich_black='0 0 0 1 setcmykcolor 700 text 0.6 0.6 0.6 1 setcmykcolor 54 500 moveto (Rich black heading) show
0.6 0.6 0.6 1 setcmykcolor 54 300 200 20 rectfill'
cmyk_colour='0 0 0 1 setcmykcolor 700 text 0 0.7 1 0 setcmykcolor 54 300 200 20 rectfill'

truth="$here/pages.tsv"
printf 'master\tpage\tcolor\tpaperWidth\tpaperLength\n' >"$truth"
write() { # name pages, then per page: "w h colour body"
    local name=$1 n=$2 i=0; shift 2
    { head_ps "$name" "$n" 595 842
      while (($#)); do
          i=$((i + 1))
          read -r w h <<<"$1"
          page_ps "$i" "$w" "$h" "$3"
          printf '%s\t%d\t%d\t%s\t%s\n' "$name" "$i" "$2" "$(inch "$w")" "$(inch "$h")" >>"$truth"
          shift 3
      done
      echo '%%EOF'; } >"$out/$name.ps"
}
inch() { case $1 in 595) echo 8.27 ;; 842) echo 11.69 ;; 612) echo 8.5 ;; 792) echo 11 ;; 1191) echo 16.54 ;; esac; }

write mono-text-3 3 "$A4" 0 "$black_text" "$A4" 0 "$black_text" "$A4" 0 "$black_text"
write one-mark-5 5 "$LETTER" 0 "$black_text" "$LETTER" 0 "$black_text" "$LETTER" 1 "$red_mark" \
    "$LETTER" 0 "$black_text" "$LETTER" 0 "$black_text"
write grey-images-2 2 "$A4" 0 "$grey_image" "$A4" 0 "$grey_image"
write photo-2 2 "$A4" 1 "$photo" "$A4" 0 "$black_text"
write rich-black-2 2 "$A4" 0 "$rich_black" "$A4" 1 "$cmyk_colour"
write mixed-paper-3 3 "$A4" 0 "$black_text" "$A3" 1 "$red_mark" "$LETTER" 0 "$black_text"

[ "${1:-}" = --check ] || exit 0
# The check: render each page, look for a non-neutral pixel (tolerance 8).
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
bad=0
for ps in "$out"/*.ps; do
    name=$(basename "$ps" .ps)
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r72 -dTextAlphaBits=1 -dGraphicsAlphaBits=1 \
       -sOutputFile="$tmp/$name-%d.ppm" "$ps"
done
while IFS=$'\t' read -r name page color _; do
    [ "$name" = master ] && continue
    got=$(python3 - "$tmp/$name-$page.ppm" <<'PY'
import re, sys
d = open(sys.argv[1], 'rb').read()
m = re.match(rb'P6(?:\s+(?:#[^\n]*\n)*)(\d+)\s+(\d+)\s+(\d+)\s', d)
px = d[m.end():m.end() + int(m[1]) * int(m[2]) * 3]
print(int(any(max(px[i:i+3]) - min(px[i:i+3]) > 8 for i in range(0, len(px), 3))))
PY
)
    [ "$got" = "$color" ] || { echo "$name page $page: truth $color, rendered $got" >&2; bad=1; }
done <"$truth"
exit $bad
