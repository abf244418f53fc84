#!/bin/bash
# Jobs of the languages Debian's printer drivers write beyond the exports'
# (ESC/P-R, ZPL, EPL2, CPCL and Dymo so far), written by the real drivers from
# the masters.
#
# ESC/P-R: printer-driver-escpr's epson-escpr-wrapper, fed with Ghostscript's
# CUPS raster (8-bit RGB, or grey for the driver's mono mode) as cupsd runs
# it (job id, user, title, copies, options, the raster on standard input),
# with the PPD of an EPSON ET-2750. The wrapper asks the scheduler for the
# queue's PPD (cupsGetPPD); a small preloaded shim answers with $PPD instead,
# so no cupsd is needed. The driver takes 300 or 360 dpi only; pages are
# scaled onto A6 where the paper does not matter, to keep the jobs small.
#
# Truth: pages and colour from the masters (tests/corpus/colour/pages.tsv;
# a page of the driver's mono mode is mono), paper and duplex from the
# options given. Each job is read back by an independent reader (below, in
# Python): pages from its start/end-page commands, each page's colour from
# its decoded rows; a job that disagrees with the truth is not written.
#
# ZPL, EPL2, CPCL and Dymo: CUPS's rastertolabel with the Zebra ZPL, EPL2
# and CPCL printers and the Dymo LabelWriter of CUPS's sample drivers (ppdc
# sample.drv), fed with 1-bit CUPS raster of a 4 x 5 inch label at 203 dpi
# (Dymo: 1.125 x 3.5 inches at 300 dpi); copies through the raster's
# NumCopies, as cupsd sets it (the filter passes them on in ZPL and CPCL; its
# EPL2 and Dymo streams print each label once, so the truth of those jobs
# is one copy).
# Truth: labels from the masters, copies from the option; checked by the
# prefix method (the job of the master's first k pages is a prefix of the
# job of all of them, k = 1 .. N - 1, so each page adds its own bytes).
#
# CaPSL: cjet (printer-driver-cjet) turns Ghostscript's LaserJet III PCL
# into CaPSL, as its foomatic PPD runs it (gs -sDEVICE=ljet3 | cjet), at the
# lowest resolution the PPD offers (75 dpi); copies through Ghostscript's
# NumCopies, which the PCL job sets and cjet passes on. Truth: pages from the
# masters, paper and copies from the options; checked by the prefix method
# (but for the last 512 bytes: cjet turns the PCL job's closing reset into
# its own set-up sequence).
#
# Writes tests/corpus/jobs/{escpr,zpl,epl,cpcl,dymo,capsl}/ with rows in tests/corpus/truth.tsv
# (rows of other tags are kept) and tests/corpus/colour/jobs/escpr/ with the
# per-page truth in tests/corpus/colour/escpr.tsv.
set -euo pipefail
export LC_ALL=C

scripts=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "$scripts/../../tests/corpus" && pwd)
colour=$corpus/colour

need=()
command -v gs >/dev/null || need+=(ghostscript)
command -v gcc >/dev/null || need+=(gcc)
[[ -x /usr/lib/cups/filter/epson-escpr-wrapper ]] || need+=(printer-driver-escpr)
[[ -x /usr/lib/cups/filter/rastertolabel ]] || need+=(cups)
command -v ppdc >/dev/null || need+=(cups-ppdc)
command -v cjet >/dev/null || need+=(printer-driver-cjet)
command -v python3 >/dev/null || need+=(python3)
if ((${#need[@]})); then
    apt-get -o DPkg::Lock::Timeout=900 install -y "${need[@]}" >&2
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/getppd.c" <<'C'
#include <stdlib.h>
const char *cupsGetPPD(const char *name) { (void)name; return getenv("PPD"); }
C
gcc -shared -fPIC -o "$tmp/getppd.so" "$tmp/getppd.c"
/usr/lib/cups/driver/escpr cat \
    "escpr:0/cups/model/epson-inkjet-printer-escpr/Epson-ET-2750_Series-epson-escpr-en.ppd" >"$tmp/escpr.ppd"

# escpr MASTER OUT INK DUPLEX PAPER [gs options...]: one job through the driver.
escpr() {
    local master=$1 out=$2 ink=$3 duplex=$4 paper=$5
    shift 5
    local space=1
    [[ $ink == MONO ]] && space=0
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r300 -dcupsColorSpace=$space -dcupsBitsPerColor=8 \
        -dcupsCompression=1 -dUseFastColor=true -sPAPERSIZE="${paper,,}" -dFIXEDMEDIA -dPSFitPage "$@" \
        -sOutputFile="$tmp/job.ras" "$master"
    LD_PRELOAD=$tmp/getppd.so PPD=$tmp/escpr.ppd /usr/lib/cups/filter/epson-escpr-wrapper \
        1 corpus escpr 1 "Ink=$ink Duplex=$duplex PageSize=$paper" <"$tmp/job.ras" >"$out" 2>"$tmp/log"
}

# check JOB COLOURS DUPLEX: the independent reader agrees with the truth.
check() {
    python3 - "$@" <<'PY'
import sys
path, want, duplex = sys.argv[1], sys.argv[2], sys.argv[3] == '1'
d = open(path, 'rb').read()
i = d.index(b'\x1b(R\x06\x00\x00ESCPR') + 11
assert (b'DP\x02\x00\x00\x02' in d[:i]) == duplex, 'duplex'
mono, pages, ink, colour = False, [], False, False
while i < len(d):
    assert d[i] == 0x1b, 'command at %d' % i
    n = int.from_bytes(d[i + 2:i + 6], 'little')
    name, p = d[i + 6:i + 10], d[i + 10:i + 10 + n]
    if name == b'setq':
        mono = p[2] == 1
    elif name == b'sttp':
        ink = colour = False
    elif name == b'dsnd':
        size, data, px = int.from_bytes(p[5:7], 'big'), p[7:], []
        if p[4] == 0:
            px = [data[k:k + 3] for k in range(0, size, 3)]
        else:
            k = 0
            while k < size:
                c = data[k]; k += 1
                runs = c + 1 if c < 0x80 else 1
                px += [data[k + 3 * j:k + 3 * j + 3] for j in range(runs)]
                k += 3 * runs
        for q in px:
            ink |= q != b'\xff\xff\xff'
            colour |= max(q) - min(q) > 8
    elif name == b'endp':
        pages.append('M' if mono or not colour else 'C')
        last_blank = not ink
    elif name == b'endj':
        break
    i += 10 + n
if duplex and len(pages) % 2 == 0 and last_blank:
    pages.pop()
got = ''.join(pages)
assert got == want, '%s: pages %s, truth %s' % (path, got, want)
PY
}

# Truth per page of a colour master: its pages' colours, M throughout in mono.
colours() {
    local master=$1 ink=$2 last=${3:-0}
    awk -F'\t' -v m="$master" -v ink="$ink" -v last="$last" \
        '$1 == m && (last == 0 || $2 <= last) { printf "%s", (ink == "MONO" || $3 == 0) ? "M" : "C" }' \
        "$colour/pages.tsv"
}

mkdir -p "$corpus/jobs/escpr" "$colour/jobs/escpr"
rm -f "$corpus/jobs/escpr/"* "$colour/jobs/escpr/"*

# Colour truth: master, ink, paper.
ctruth=$tmp/colour.tsv
printf 'file\ttag\tdriver\tmode\tpages\tcolours\texpected\treason\n' >"$ctruth"
while read -r master ink paper; do
    out=jobs/escpr/$master.${paper,,}.${ink,,}.escpr
    escpr "$colour/masters/$master.ps" "$colour/$out" "$ink" None "$paper"
    want=$(colours "$master" "$ink")
    check "$colour/$out" "$want" 0
    mode=colour
    [[ $ink == MONO ]] && mode=mono
    printf '%s\tESCPR\tepson-escpr-wrapper ET-2750 Ink=%s PageSize=%s\t%s\t%s\t%s\t\t\n' \
        "$out" "$ink" "$paper" "$mode" "${#want}" "$want" >>"$ctruth"
done <<'LIST'
photo-2 COLOR A6
photo-2 MONO A6
one-mark-5 COLOR A6
rich-black-2 COLOR A4
grey-images-2 COLOR A4
LIST
mv "$ctruth" "$colour/escpr.tsv"

# Page structure: pages, duplex (the driver ends an odd two-sided job with a
# blank side) and paper.
truth=$corpus/truth.tsv
grep -v $'\tESCPR\t' "$truth" >"$tmp/truth.tsv"
while read -r master ink duplex paper last width length; do
    out=jobs/escpr/$master-p$last.${paper,,}.${ink,,}.${duplex,,}.escpr
    escpr "$colour/masters/$master.ps" "$corpus/$out" "$ink" "$duplex" "$paper" -dLastPage="$last"
    want=$(colours "$master" "$ink" "$last")
    dup=0
    [[ $duplex != None ]] && dup=1
    check "$corpus/$out" "$want" $dup
    col=0
    [[ $want == *C* ]] && col=1
    printf '%s\tESCPR\tepson-escpr-wrapper ET-2750 Ink=%s Duplex=%s PageSize=%s\t%s\t1\t%s\t%s\t%s\t%s\t\t\n' \
        "$out" "$ink" "$duplex" "$paper" "${#want}" "$dup" "$col" "$width" "$length" >>"$tmp/truth.tsv"
done <<'LIST'
photo-2 COLOR DuplexNoTumble A6 1 4.13 5.83
photo-2 MONO None Letter 1 8.5 11
LIST

# label PPD DPI WIDTH HEIGHT MASTER OUT COPIES LAST: one label job (WIDTH x
# HEIGHT points) of the master's first LAST pages through the sample
# driver's PPD.
ppdc -d "$tmp/ppd" /usr/share/cups/drv/sample.drv
label() {
    local ppd=$1 dpi=$2 width=$3 height=$4
    shift 4
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r"$dpi" -dcupsColorSpace=3 -dcupsBitsPerColor=1 \
        -dDEVICEWIDTHPOINTS="$width" -dDEVICEHEIGHTPOINTS="$height" -dFIXEDMEDIA -dPSFitPage -dLastPage="$4" \
        -sOutputFile="$tmp/label.ras" -c "<</NumCopies $3>>setpagedevice" -f "$1"
    PPD=$tmp/ppd/$ppd.ppd /usr/lib/cups/filter/rastertolabel 1 corpus label 1 "" <"$tmp/label.ras" >"$2" 2>"$tmp/log"
}
grep -v -P '\t(ZPL|EPL|CPCL|Dymo)\t' "$tmp/truth.tsv" >"$tmp/truth2.tsv"
mv "$tmp/truth2.tsv" "$tmp/truth.tsv"
while read -r tag ppd dpi points ext master copies pages printed width length; do
    mkdir -p "$corpus/jobs/$ext"
    out=jobs/$ext/$master.copies$copies.$ext
    rm -f "$corpus/$out"
    label "$ppd" "$dpi" ${points/x/ } "$colour/masters/$master.ps" "$corpus/$out" "$copies" "$pages"
    for ((k = 1; k < pages; k++)); do
        label "$ppd" "$dpi" ${points/x/ } "$colour/masters/$master.ps" "$tmp/prefix.zpl" "$copies" "$k"
        cmp -s -n "$(stat -c %s "$tmp/prefix.zpl")" "$tmp/prefix.zpl" "$corpus/$out" ||
            { echo "$out: the job of $k pages is no prefix of the whole" >&2; exit 1; }
        [[ $(stat -c %s "$tmp/prefix.zpl") -lt $(stat -c %s "$corpus/$out") ]] ||
            { echo "$out: page $((k + 1)) adds nothing" >&2; exit 1; }
    done
    printf '%s\t%s\trastertolabel %s.ppd %s dpi NumCopies=%s\t%s\t%s\t0\t0\t%s\t%s\t\t\n' \
        "$out" "$tag" "$ppd" "$dpi" "$copies" "$pages" "$printed" "$width" "$length" >>"$tmp/truth.tsv"
done <<'LIST'
ZPL zebra 203 288x360 zpl one-mark-5 1 5 1 - -
ZPL zebra 203 288x360 zpl photo-2 3 2 3 - -
ZPL zebra 203 288x360 zpl mono-text-3 1 3 1 - -
EPL zebraep2 203 288x360 epl one-mark-5 1 5 1 - -
EPL zebraep2 203 288x360 epl photo-2 3 2 1 - -
CPCL zebracpl 203 288x360 cpcl one-mark-5 1 5 1 4 5
CPCL zebracpl 203 288x360 cpcl photo-2 3 2 3 4 5
Dymo dymo 300 81x252 dymo one-mark-5 1 5 1 - -
Dymo dymo 300 81x252 dymo photo-2 3 2 1 - -
LIST

# capsl MASTER OUT COPIES LAST: the master's first LAST pages through cjet.
capsl() {
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ljet3 -r75 -dNumCopies="$3" -dLastPage="$4" -sOutputFile=- "$1" \
        2>/dev/null </dev/null | cjet -q >"$2"
}
grep -v $'\tCAPSL\t' "$tmp/truth.tsv" >"$tmp/truth2.tsv"
mv "$tmp/truth2.tsv" "$tmp/truth.tsv"
mkdir -p "$corpus/jobs/capsl"
while read -r master copies pages width length; do
    out=jobs/capsl/$master.cjet-copies$copies.capsl
    capsl "$corpus/masters/$master.ps" "$corpus/$out" "$copies" "$pages"
    for ((k = 1; k < pages; k++)); do
        capsl "$corpus/masters/$master.ps" "$tmp/prefix.capsl" "$copies" "$k"
        size=$(($(stat -c %s "$tmp/prefix.capsl") - 512))
        cmp -s -n "$size" "$tmp/prefix.capsl" "$corpus/$out" ||
            { echo "$out: the job of $k pages is no prefix of the whole" >&2; exit 1; }
    done
    printf '%s\tCAPSL\tgs -sDEVICE=ljet3 -r75 -dNumCopies=%s | cjet -q\t%s\t%s\t0\t0\t%s\t%s\t\t\n' \
        "$out" "$copies" "$pages" "$copies" "$width" "$length" >>"$tmp/truth.tsv"
done <<'LIST'
letter-drawings-4 1 4 8.5 11
legal-posters-2 2 2 8.5 14
LIST
mv "$tmp/truth.tsv" "$truth"
