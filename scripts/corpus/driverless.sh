#!/bin/bash
# The rasters of driverless printing and of the CUPS filter chain, written by
# the real producers: Ghostscript's pwgraster, urf, appleraster, cups, pclm
# and pclm8 devices, and cups-filters' rastertopwg and rastertopclm (fed
# with Ghostscript's CUPS raster, as cupsd runs them: job id, user, title,
# copies, options, the raster on standard input).
#
# Writes tests/corpus/jobs/{pwgraster,urf,cupsraster,pclm}/ with their rows
# in tests/corpus/truth.tsv (rows of other tags are kept), and the jobs of
# the colour masters under tests/corpus/colour/jobs/driverless/ with their
# truth per page in tests/corpus/colour/driverless.tsv.
#
# Truth: pages, paper and colour come from the masters (tests/corpus/masters,
# tests/corpus/colour/pages.tsv), copies and duplex from the options given.
# Each raster job is then read back by an independent reader (below, in
# Python): its page count, each page's colour from the decoded pixels, its
# copies and duplex must agree with that truth, or the job is not written.
# The PCLm jobs are checked by rendering: Ghostscript reads them as PDF.
#
# Resolutions are low (12 to 36 dpi) so that the whole set stays near 2 MB.
set -euo pipefail
export LC_ALL=C
export SOURCE_DATE_EPOCH=1767225600

scripts=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "$scripts/../../tests/corpus" && pwd)
colour=$corpus/colour

need=()
command -v gs >/dev/null || need+=(ghostscript)
[[ -x /usr/lib/cups/filter/rastertopwg ]] || need+=(cups-filters)
command -v python3 >/dev/null || need+=(python3)
if ((${#need[@]})); then
    apt-get -o DPkg::Lock::Timeout=900 install -y "${need[@]}" >&2
fi
filters=/usr/lib/cups/filter

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- the independent reader -------------------------------------------------
cat >"$tmp/read.py" <<'PY'
# Prints "pages copies duplex colours" of a CUPS, PWG or Apple raster:
# colours one letter a page, C when a pixel's colour components differ by
# more than 8 (the tolerance of the colour masters' check), M when none
# does, ? when the colour space has no such rule or depth.
import struct, sys

def neutral(px, space, n, first):
    if space in (0, 3, 18):
        return True
    if n == 0:
        return None
    for i in range(0, len(px) - n + 1, n):
        c = px[i + first:i + first + 3]
        if max(c) - min(c) > 8:
            return False
    return True

def coded(d, at, bpl, rows, unit, test):
    done, verdict = 0, True
    while done < rows:
        done += d[at] + 1
        at += 1
        line = bytearray()
        while len(line) < bpl:
            c = d[at]
            at += 1
            if c == 128:
                line += b'\xff' * (bpl - len(line))
            elif c > 128:
                line += d[at:at + (257 - c) * unit]
                at += (257 - c) * unit
            else:
                line += d[at:at + unit] * (c + 1)
                at += unit
        v = test(bytes(line[:bpl]))
        verdict = None if v is None or verdict is None else verdict and v
    return at, verdict

def letter(v):
    return '?' if v is None else 'M' if v else 'C'

def read(d):
    pages = []
    if d[:8] == b'UNIRAST\0':
        at = 12
        while at + 32 <= len(d):
            h = d[at:at + 32]
            bpp, space_code, duplex = h[0], h[1], h[2]
            width, height = struct.unpack('>II', h[12:20])
            space = [18, 19, 16, 20, 0, 1, 6][space_code]
            n = [1, 3, 3, 3, 1, 3, 4][space_code]
            at += 32
            test = lambda px: neutral(px, space, n if bpp == 8 * n else 0, 0)
            at, v = coded(d, at, (width * bpp + 7) // 8, height, max(1, bpp // 8), test)
            pages.append((0, int(duplex >= 2), letter(v)))
        return pages
    big = d[:2] == b'Ra'
    version = d[3:4] if big else d[0:1]
    order = '>' if big else '<'
    size = 420 if version == b't' else 1796
    at = 4
    while at + size <= len(d):
        u = lambda o: struct.unpack(order + 'I', d[at + o:at + o + 4])[0]
        width, height, bpc, bpp, bpl, corder, space = (u(o) for o in (372, 376, 384, 388, 392, 396, 400))
        copies, duplex = u(340), u(272)
        at += size
        n = bpp // bpc if corder == 0 and bpc == 8 else 0
        test = lambda px: neutral(px, space, n, 1 if space == 8 else 0)
        if version == b'2':
            at, v = coded(d, at, bpl, height, max(1, bpp // 8), test)
        else:
            v = test(d[at:at + bpl * height])
            at += bpl * height
        pages.append((copies, int(duplex != 0), letter(v)))
    return pages

pages = read(open(sys.argv[1], 'rb').read())
print(len(pages), pages[0][0] if pages else 0, pages[0][1] if pages else 0, ''.join(p[2] for p in pages))
PY

# Per page colour of a PCLm job, rendered as PDF (RGB, 72 dpi, no
# anti-aliasing), as scripts/corpus/colour_masters.sh checks its masters.
cat >"$tmp/render.py" <<'PY'
import glob, re, sys
out = ''
for f in sorted(glob.glob(sys.argv[1] + '-*.ppm'), key=lambda s: int(s.rsplit('-', 1)[1][:-4])):
    d = open(f, 'rb').read()
    m = re.match(rb'P6(?:\s+(?:#[^\n]*\n)*)(\d+)\s+(\d+)\s+(\d+)\s', d)
    px = d[m.end():m.end() + int(m[1]) * int(m[2]) * 3]
    out += 'C' if any(max(px[i:i + 3]) - min(px[i:i + 3]) > 8 for i in range(0, len(px), 3)) else 'M'
print(len(out), out)
PY

# --- masters ----------------------------------------------------------------
# shellcheck source=masters_table.sh
. "$scripts/masters_table.sh"

# The colour masters' truth per page: colours as M/C letters, first page's paper.
declare -A CPAGES CPAPER
while IFS=$'\t' read -r m page color w l; do
    [[ $m == master ]] && continue
    CPAGES[$m]+=$([[ $color == 1 ]] && echo C || echo M)
    [[ $page == 1 ]] && CPAPER[$m]="$w $l"
done <"$colour/pages.tsv"

rows=()     # truth.tsv rows
crows=()    # driverless.tsv rows
failed=()

# render master device out -- gs options: one raster job from Ghostscript.
render() {
    local src=$1 dev=$2 out=$3
    shift 4
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" "$@" -sOutputFile="$out" "$src" </dev/null >/dev/null 2>&1 &&
        [[ -s $out ]]
}

# through filter in out copies: a cups-filters filter run as cupsd runs it.
through() {
    local filter=$1 in=$2 out=$3 copies=$4
    PPD=$tmp/pclm.ppd CUPS_SERVERBIN=/usr/lib/cups "$filters/$filter" 1 quirometer corpus "$copies" "" \
        <"$in" >"$out" 2>/dev/null && [[ -s $out ]]
}

# check file want-pages want-copies want-duplex want-colours: the job as
# the independent reader (rasters) or Ghostscript (PCLm) sees it.
check() {
    local file=$1 pages=$2 copies=$3 duplex=$4 colours=$5 got want
    if [[ $file == *.pdf ]]; then
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r72 -dTextAlphaBits=1 -dGraphicsAlphaBits=1 \
            -sOutputFile="$tmp/page-%d.ppm" "$file" </dev/null >/dev/null 2>&1
        got=$(python3 "$tmp/render.py" "$tmp/page")
        rm -f "$tmp"/page-*.ppm
        want="$pages $colours"
    else
        got=$(python3 "$tmp/read.py" "$file")
        want="$pages $copies $duplex $colours"
    fi
    [[ $got == "$want" ]] || { failed+=("$file: read back '$got', truth '$want'"); return 1; }
}

# record set tag file driver mode pages copies duplex colours paper: a job
# written, checked against its truth, and its row kept; a job that does
# not read back as its truth is dropped and reported. set: corpus (a row
# in truth.tsv) or colour (a row in driverless.tsv).
record() {
    local set=$1 tag=$2 file=$3 driver=$4 mode=$5 pages=$6 copies=$7 duplex=$8 colours=$9 paper=${10}
    local readCopies=$copies shown=$copies color=0
    [[ $tag == URF ]] && readCopies=0   # URF has no copy count
    [[ $tag == URF || $tag == PCLm ]] && shown=-
    [[ $colours == *C* ]] && color=1
    if ! check "$file" "$pages" "$readCopies" "$duplex" "$colours"; then
        rm -f "$file"
        return 0
    fi
    if [[ $set == corpus ]]; then
        # shellcheck disable=SC2086
        rows+=("$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t\t' "${file#"$corpus"/}" "$tag" "$driver" "$pages" \
            "$shown" "$duplex" "$color" $paper)")
    else
        # The PDF reader logs no pages: PCLm pages get their colour from the
        # job's record (unknown when a colour job has more than one page),
        # and page 1's paper.
        local expected="" reason=""
        if [[ $tag == PCLm ]]; then
            expected=$colours
            [[ $colours == *C* && $pages -gt 1 ]] && expected=${colours//[MC]/?}
            if [[ $expected != "$colours" || $file == */mixed-paper-* ]]; then
                reason="the PDF reader logs no pages: colour per page from the job record, paper of page 1 for every page"
            else
                expected=""
            fi
        fi
        crows+=("$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "${file#"$colour"/}" "$tag" "$driver" "$mode" "$pages" \
            "$colours" "$expected" "$reason")")
    fi
}

# rastertopclm takes its strip height, resolution and compression from the
# printer's PPD, as the driverless PPD generator writes them.
cat >"$tmp/pclm.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PCLM.PPD"
*Manufacturer: "Generic"
*ModelName: "Generic PCLm"
*NickName: "Generic PCLm"
*ColorDevice: True
*cupsPclmStripHeightPreferred: 16
*cupsPclmStripHeightSupported: 16
*cupsPclmRasterBackSide: Normal
*cupsPclmSourceResolutionDefault: 24dpi
*cupsPclmSourceResolutionSupported: 24dpi
*cupsPclmCompressionMethodPreferred: flate
EOF

# Colour spaces of the CUPS raster header: 3 black, 18 sGray, 19 sRGB, 1 RGB, 6 CMYK.
SGRAY=(-dcupsColorSpace=18 -dcupsBitsPerColor=8)
SRGB=(-dcupsColorSpace=19 -dcupsBitsPerColor=8)
RGB=(-dcupsColorSpace=1 -dcupsBitsPerColor=8)
CMYK=(-dcupsColorSpace=6 -dcupsBitsPerColor=8)

# --- the corpus masters -------------------------------------------------------
jobs=$corpus/jobs
rm -rf "$jobs/pwgraster" "$jobs/urf" "$jobs/cupsraster" "$jobs/pclm"
mkdir -p "$jobs/pwgraster" "$jobs/urf" "$jobs/cupsraster" "$jobs/pclm"
# colours_of master grey: the master's pages as M/C letters (all M when grey).
colours_of() {
    local m=$1 grey=$2 p out=""
    for ((p = 0; p < PAGES[$m]; p++)); do out+=$([[ ${COLOR[$m]} == 1 && $grey == 0 ]] && echo C || echo M); done
    echo "$out"
}
# corpus_job tag device ext master variant grey copies duplex -- gs options
corpus_job() {
    local tag=$1 dev=$2 ext=$3 m=$4 variant=$5 grey=$6 copies=$7 duplex=$8
    shift 9
    local out="$jobs/${tag,,}/$m.$dev${variant:+-$variant}.$ext"
    local paper="$(width "${PAPER[$m]}") $(length "${PAPER[$m]}")"
    if ! render "$corpus/masters/$m.ps" "$dev" "$out" -- "$@"; then failed+=("$out: gs $dev $*"); return 0; fi
    record corpus "$tag" "$out" "gs -sDEVICE=$dev $*" - "${PAGES[$m]}" "$copies" "$duplex" "$(colours_of "$m" "$grey")" "$paper"
}
for m in letter-memo-1 a4-report-3 legal-posters-2 letter-drawings-4; do
    corpus_job PWGRaster pwgraster pwg "$m" mono 1 1 0 -- -r36
    corpus_job PWGRaster pwgraster pwg "$m" srgb 0 1 0 -- -r24 "${SRGB[@]}"
    corpus_job URF urf urf "$m" grey 1 0 0 -- -r36 "${SGRAY[@]}"
    corpus_job CUPSRaster cups ras "$m" mono 1 1 0 -- -r36
    corpus_job PCLm pclm pdf "$m" "" 0 1 0 -- -r36
done
corpus_job PWGRaster pwgraster pwg a4-handbook-27 mono-copies2-duplex 1 2 1 -- -r36 -dNumCopies=2 -dDuplex=true
corpus_job PWGRaster pwgraster pwg a4-report-3 srgb-duplex-tumble 0 1 1 -- -r24 "${SRGB[@]}" -dDuplex=true -dTumble=true
corpus_job URF appleraster urf a4-report-3 srgb-duplex 0 0 1 -- -r36 "${SRGB[@]}" -dDuplex=true
corpus_job URF urf urf a4-handbook-27 mono-duplex-tumble 1 0 1 -- -r36 -dDuplex=true -dTumble=true
corpus_job CUPSRaster cups ras a4-report-3 copies3-duplex 1 3 1 -- -r36 -dNumCopies=3 -dDuplex=true
corpus_job CUPSRaster cups ras a4-report-3 rgb 0 1 0 -- -r12 "${RGB[@]}"
corpus_job CUPSRaster cups ras legal-posters-2 cmyk 0 1 0 -- -r12 "${CMYK[@]}"
corpus_job PCLm pclm8 pdf a4-report-3 grey 1 1 0 -- -r36
# cups-filters: Ghostscript's CUPS raster through rastertopwg and rastertopclm.
for m in a4-report-3 letter-memo-1; do
    ras=$tmp/$m.ras
    render "$corpus/masters/$m.ps" cups "$ras" -- -r24 "${SRGB[@]}" || { failed+=("$ras"); continue; }
    paper="$(width "${PAPER[$m]}") $(length "${PAPER[$m]}")"
    out=$jobs/pwgraster/$m.rastertopwg-srgb.pwg
    through rastertopwg "$ras" "$out" 1 &&
        record corpus PWGRaster "$out" "gs -sDEVICE=cups -r24 -dcupsColorSpace=19 | rastertopwg" - \
            "${PAGES[$m]}" 1 0 "$(colours_of "$m" 0)" "$paper"
    out=$jobs/pclm/$m.rastertopclm.pdf
    through rastertopclm "$ras" "$out" 1 &&
        record corpus PCLm "$out" "gs -sDEVICE=cups -r24 -dcupsColorSpace=19 | rastertopclm" - \
            "${PAGES[$m]}" 1 0 "$(colours_of "$m" 0)" "$paper"
done

# cups-filters' pdftoraster, the PDF path of a driverless queue: PWG Raster
# without a PPD, in sRGB or grey; it writes duplex but leaves copies to CUPS.
m=a4-report-3
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$tmp/$m.pdf" "$corpus/masters/$m.ps" </dev/null >/dev/null 2>&1
paper="$(width "${PAPER[$m]}") $(length "${PAPER[$m]}")"
for variant in "srgb:Resolution=24dpi:0" "grey-duplex:ColorModel=Gray Resolution=24dpi sides=two-sided-long-edge:1"; do
    IFS=: read -r name options duplex <<<"$variant"
    out=$jobs/pwgraster/$m.pdftoraster-$name.pwg
    grey=0
    [[ $name == grey* ]] && grey=1
    /usr/lib/cups/filter/pdftoraster 1 quirometer corpus 1 "$options" "$tmp/$m.pdf" >"$out" 2>/dev/null && [[ -s $out ]] &&
        record corpus PWGRaster "$out" "pdftoraster '$options'" - "${PAGES[$m]}" 1 "$duplex" "$(colours_of "$m" "$grey")" "$paper" ||
        failed+=("$out: pdftoraster $options")
done

# --- the colour masters ---------------------------------------------------------
cjobs=$colour/jobs/driverless
rm -rf "$cjobs"
mkdir -p "$cjobs"
# colour_job tag device ext master mode variant -- gs options
colour_job() {
    local tag=$1 dev=$2 ext=$3 m=$4 mode=$5 variant=$6
    shift 7
    local out="$cjobs/$m.$dev-$variant.$ext" colours=${CPAGES[$m]}
    [[ $mode == mono ]] && colours=${colours//C/M}
    if ! render "$colour/masters/$m.ps" "$dev" "$out" -- "$@"; then failed+=("$out: gs $dev $*"); return 0; fi
    record colour "$tag" "$out" "gs -sDEVICE=$dev $*" "$mode" "${#colours}" 1 0 "$colours" "${CPAPER[$m]}"
}
for m in "${!CPAGES[@]}"; do
    colour_job PWGRaster pwgraster pwg "$m" colour srgb -- -r36 "${SRGB[@]}"
    colour_job PWGRaster pwgraster pwg "$m" mono grey -- -r36 "${SGRAY[@]}"
    colour_job URF urf urf "$m" colour srgb -- -r36 "${SRGB[@]}"
    colour_job PCLm pclm pdf "$m" colour rgb -- -r36
    colour_job PCLm pclm8 pdf "$m" mono grey -- -r36
done
# Uncompressed CUPS raster is large: a few masters, at 12 dpi.
for m in one-mark-5 rich-black-2 photo-2; do
    colour_job CUPSRaster cups ras "$m" colour cmyk -- -r12 "${CMYK[@]}"
done
colour_job CUPSRaster cups ras grey-images-2 colour rgb -- -r12 "${RGB[@]}"

# --- the truth files ------------------------------------------------------------
{
    awk -F'\t' 'NR == 1 || ($2 != "PWGRaster" && $2 != "URF" && $2 != "CUPSRaster" && $2 != "PCLm")' "$corpus/truth.tsv"
    printf '%s\n' "${rows[@]}"
} >"$corpus/truth.tsv.new"
mv "$corpus/truth.tsv.new" "$corpus/truth.tsv"
{
    printf 'file\ttag\tdriver\tmode\tpages\tcolours\texpected\treason\n'
    printf '%s\n' "${crows[@]}" | sort
} >"$colour/driverless.tsv"

echo "driverless: ${#rows[@]} corpus jobs, ${#crows[@]} colour jobs," \
    "$(du -shc "$jobs"/{pwgraster,urf,cupsraster,pclm} "$cjobs" | tail -1 | cut -f1)" >&2
if ((${#failed[@]})); then
    printf 'jobs not written:\n' >&2
    printf '  %s\n' "${failed[@]}" >&2
    exit 1
fi
