#!/bin/bash
# Regenerates the corpus of real driver output: writes the master documents,
# runs each through every driver that writes a language the library counts,
# and writes truth.tsv (one row per job). The jobs are committed, so the tests
# never need the drivers; run this only to rebuild them.
#
#   scripts/corpus/make.sh          rebuild everything
#   QM_CORPUS_ONLY=PCL make.sh      rebuild only the jobs of one tag
#   make.sh --expected              only merge expected.tsv into truth.tsv again
#
# Expected results that differ from the truth by the counter's design are kept
# by hand in expected.tsv and merged into truth.tsv here.
set -uo pipefail
export LC_ALL=C
export SOURCE_DATE_EPOCH=1767225600   # fixed dates inside PDF and PostScript output

scripts=$(cd "$(dirname "$0")" && pwd)
here=$(cd "$scripts/../../tests/corpus" && pwd)   # the corpus: jobs, masters, truth
cd "$here"
jobs_dir=jobs
truth=truth.tsv
only=${QM_CORPUS_ONLY:-}
limit=120   # seconds for any one driver run
# Scratch folders of the sections below, removed however the script ends.
cleanup=()
trap 'rm -rf "${cleanup[@]}"' EXIT

# --- tools ---------------------------------------------------------------
need=()
command -v gs >/dev/null || need+=(ghostscript)
command -v foo2zjs >/dev/null || need+=(printer-driver-foo2zjs)
command -v pnm2ppa >/dev/null || need+=(printer-driver-pnm2ppa)
command -v pnmtopng >/dev/null || need+=(netpbm)
command -v pdfinfo >/dev/null || need+=(poppler-utils)
command -v qpdf >/dev/null || need+=(qpdf)
if ((${#need[@]})); then
    echo "installing ${need[*]}" >&2
    timeout 600 apt-get install -y "${need[@]}" >&2 || { echo "cannot install ${need[*]}" >&2; exit 1; }
fi

if [[ ${1:-} == --expected ]]; then
    merge_only=1
else
    merge_only=0
    "$scripts/masters.sh" || exit 1
fi

# --- masters: name, pages, paper, colour -----------------------------------
# Paper sizes in inches as printed on the sheet.
# shellcheck source=masters_table.sh
. "$scripts/masters_table.sh"
# foo2 paper codes differ per driver.
paper_code() { # driver paper
    case $1:$2 in
        foo2zjs:letter|foo2oak:letter) echo 1 ;; foo2zjs:legal|foo2oak:legal) echo 5 ;; foo2zjs:a4|foo2oak:a4) echo 9 ;;
        foo2qpdl:letter) echo 0 ;; foo2qpdl:legal) echo 1 ;; foo2qpdl:a4) echo 2 ;;
        foo2hiperc:a4) echo 1 ;; foo2hiperc:letter) echo 2 ;; foo2hiperc:legal) echo 3 ;;
    esac
}
geometry() { # paper dpi -> WxH pixels
    local w h
    case $1 in letter) w=85 h=110 ;; legal) w=85 h=140 ;; a4) w=827 h=1169 ;; esac
    if [[ $1 == a4 ]]; then echo "$((w * $2 / 100))x$((h * $2 / 100))"; else echo "$((w * $2 / 10))x$((h * $2 / 10))"; fi
}

# --- truth rows ------------------------------------------------------------
rows=()
failed=()
# add_row file tag driver pages copies duplex color width length
add_row() { rows+=("$(printf '%s\t' "$@")"); }

# What a driver states in the job: s = paper size, c = copies, d = duplex,
# D = duplex, but only when it is on (simplex jobs say nothing), k = colour
# (the job says whether it prints in colour).
truth_row() { # file tag driver master states copies duplex colordevice
    local file=$1 tag=$2 driver=$3 m=$4 states=$5 copies=$6 duplex=$7 cdev=$8
    local pages=${PAGES[$m]} c=- d=- k=- w=- l=-
    [[ $states == *c* ]] && c=$copies
    [[ $states == *d* ]] && d=$duplex
    [[ $states == *D* && $duplex == 1 ]] && d=1
    if [[ $states == *k* ]]; then
        # A colour driver given a monochrome document writes a colour job
        # that prints no colour: the truth is not stated.
        if [[ $cdev == 1 ]]; then [[ ${COLOR[$m]} == 1 ]] && k=1; else k=0; fi
    fi
    if [[ $states == *s* ]]; then w=$(width "${PAPER[$m]}") l=$(length "${PAPER[$m]}"); fi
    add_row "$file" "$tag" "$driver" "$pages" "$c" "$d" "$k" "$w" "$l"
}

wanted() { [[ -z $only || ${only,,} == "${1,,}" ]]; }

# gs_job tag device ext master states colordevice variant copies duplex -- gs options
gs_job() {
    local tag=$1 dev=$2 ext=$3 m=$4 states=$5 cdev=$6 variant=$7 copies=$8 duplex=$9
    shift 10
    wanted "$tag" || return 0
    local dir="$jobs_dir/${tag,,}" name="$m.$dev${variant:+-$variant}.$ext"
    mkdir -p "$dir"
    # Plain colour conversion: saturated colours stay undithered and small.
    local fast=(-dUseFastColor=true)
    [[ $dev == ps2write || $dev == pdfwrite ]] && fast=()
    if ! timeout "$limit" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" "${fast[@]}" "$@" \
        -sOutputFile="$dir/$name" "masters/$m.ps" </dev/null >/dev/null 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: gs $dev $* ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    truth_row "$dir/$name" "$tag" "gs -sDEVICE=$dev $*" "$m" "$states" "$copies" "$duplex" "$cdev"
}

# raster_job tag driver ext master states variant copies duplex -- driver options
# Ghostscript renders the master to raw bitmaps (pbmraw for monochrome
# documents, bitcmyk for colour ones) that the driver turns into its stream.
raster_job() {
    local tag=$1 drv=$2 ext=$3 m=$4 states=$5 variant=$6 copies=$7 duplex=$8
    shift 9
    wanted "$tag" || return 0
    local dir="$jobs_dir/${tag,,}" name="$m.$drv${variant:+-$variant}.$ext" dpi=600 dev=pbmraw cdev=0
    mkdir -p "$dir"
    local geo
    geo=$(geometry "${PAPER[$m]}" $dpi)
    local opts=(-r${dpi}x$dpi -g"$geo" -p"$(paper_code "$drv" "${PAPER[$m]}")")
    if [[ ${COLOR[$m]} == 1 ]]; then dev=bitcmyk cdev=1; opts+=(-c); fi
    [[ $drv == foo2hiperc ]] && opts+=(-Z1)   # compressed bands, as the printers accept
    opts+=("$@")
    if ! timeout "$limit" bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE="$1" -r"$2" -g"$3" -sOutputFile=- "$4" </dev/null 2>/dev/null | "${@:5}"' \
        _ "$dev" "$dpi" "$geo" "masters/$m.ps" "$drv" "${opts[@]}" >"$dir/$name" 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: $drv ${opts[*]} ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    truth_row "$dir/$name" "$tag" "gs -sDEVICE=$dev -r$dpi | $drv ${opts[*]}" "$m" "$states" "$copies" "$duplex" "$cdev"
}

# ppa_job master variant -- pnm2ppa options (300 dpi rasters, read as such)
ppa_job() {
    local m=$1 variant=$2
    shift 3
    wanted PPA || return 0
    local dir="$jobs_dir/ppa" name="$m.pnm2ppa${variant:+-$variant}.prn" dev=pbmraw
    [[ ${COLOR[$m]} == 1 ]] && dev=ppmraw
    local opts=("$@" --dpi300 -s "${PAPER[$m]/letter/us}")
    mkdir -p "$dir"
    if ! timeout "$limit" bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE="$1" -r300 -sOutputFile=- "$2" </dev/null 2>/dev/null | pnm2ppa "${@:3}" -i - -o -' \
        _ "$dev" "masters/$m.ps" "${opts[@]}" >"$dir/$name" 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: pnm2ppa ${opts[*]} ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    local k=0
    [[ $dev == ppmraw ]] && k=-
    [[ ${COLOR[$m]} == 1 ]] && k=1
    [[ " $* " == *" --bw "* ]] && k=0
    add_row "$dir/$name" PPA "gs -sDEVICE=$dev -r300 | pnm2ppa ${opts[*]}" "${PAGES[$m]}" - - "$k" - -
}

# --- serial printers: jobs for the accurate count -----------------------------------------
# serial_job tag device input master states colordevice variant -- gs options
# input is ps (the master) or pdf (the master through pdfwrite first, as a
# host that prints PDF sends it). States as for truth_row, plus L: the driver
# states the form length (or the sheet), so the sheet is stated.
serial_pdf_dir=$(mktemp -d)
cleanup+=("$serial_pdf_dir")
serial_input() { # master input -> path
    local m=$1 input=$2
    if [[ $input == ps ]]; then echo "masters/$m.ps"; return; fi
    local pdf="$serial_pdf_dir/$m.pdf"
    [[ -s $pdf ]] || gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$pdf" "masters/$m.ps" </dev/null >/dev/null 2>&1
    echo "$pdf"
}
serial_row() { # file tag driver master states colordevice pages
    local file=$1 tag=$2 driver=$3 m=$4 states=$5 cdev=$6 pages=$7 k=- w=- l=-
    if [[ $states == *k* ]]; then
        if [[ $cdev == 1 ]]; then [[ ${COLOR[$m]} == 1 ]] && k=1; else k=0; fi
    fi
    if [[ $states == *L* ]]; then w=$(width "${PAPER[$m]}") l=$(length "${PAPER[$m]}"); fi
    add_row "$file" "$tag" "$driver" "$pages" - - "$k" "$w" "$l"   # no copies or duplex command
}
serial_job() {
    local tag=$1 dev=$2 input=$3 m=$4 states=$5 cdev=$6 variant=$7
    shift 8
    wanted "$tag" || return 0
    local dir="$jobs_dir/${tag,,}" name="$m.$dev${variant:+-$variant}.prn" src
    src=$(serial_input "$m" "$input")
    mkdir -p "$dir"
    if ! timeout "$limit" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" "$@" -sOutputFile="$dir/$name" "$src" \
        </dev/null >/dev/null 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: gs $dev $* ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    local shown="gs -sDEVICE=$dev $*"
    [[ $input == pdf ]] && shown="gs -sDEVICE=pdfwrite | $shown"
    serial_row "$dir/$name" "$tag" "$shown" "$m" "$states" "$cdev" "${PAGES[$m]}"
}
# gutenprint_job master model pagesize WxH(points) colormodel resolution quality duplex variant pages -- gs options
# Gutenprint's own ESC/P2 for an Epson model: Ghostscript renders CUPS raster
# at a low resolution of the model on a small sheet, and the CUPS filter
# writes the job offline with the model's PPD. duplex is the PPD's Duplex
# choice (None, DuplexNoTumble); copies are left to CUPS, the job has none.
gutenprint_job() {
    local m=$1 model=$2 size=$3 geo=$4 cmodel=$5 res=$6 quality=$7 duplex=$8 variant=$9 pages=${10}
    shift 11
    wanted ESCP2 || return 0
    local filter=/usr/lib/cups/filter/rastertogutenprint.5.3 driver=/usr/lib/cups/driver/gutenprint.5.3
    if [[ ! -x $filter || ! -x $driver ]]; then failed+=("gutenprint: printer-driver-gutenprint is not installed"); return 0; fi
    local dir="$jobs_dir/escp2" name="$m.gutenprint-$model-$variant.prn" ppd="$serial_pdf_dir/$model.ppd" src cs=1 bits=8
    local dpi=${res%dpi} gsdup=false
    [[ $dpi == *x* ]] || dpi=${dpi}x$dpi
    [[ $duplex != None ]] && gsdup=true
    [[ $cmodel == Black ]] && cs=3 bits=1
    src=$(serial_input "$m" pdf)
    mkdir -p "$dir"
    "$driver" cat "gutenprint.5.3://escp2-$model/expert" >"$ppd" 2>/dev/null
    local opts="PageSize=$size Resolution=$res ColorModel=$cmodel StpQuality=$quality Duplex=$duplex"
    if ! timeout "$limit" bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -dcupsColorSpace="$1" -dcupsBitsPerColor="$2" -r"$3" -dDEVICEWIDTHPOINTS="${4%x*}" -dDEVICEHEIGHTPOINTS="${4#*x}" -dFIXEDMEDIA -dPDFFitPage -dDuplex="$5" "${@:10}" -sOutputFile=- "$6" </dev/null 2>/dev/null | PPD="$7" "$8" 1 user title 1 "$9" 2>/dev/null' \
        _ "$cs" "$bits" "$dpi" "$geo" "$gsdup" "$src" "$ppd" "$filter" "$opts" "$@" >"$dir/$name" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: gutenprint $model $opts")
        rm -f "$dir/$name"
        return 0
    fi
    local k=- d=- w=${geo%x*} l=${geo#*x}
    [[ $cmodel == Black ]] && k=0
    [[ $cmodel == RGB && ${COLOR[$m]} == 1 ]] && k=1
    [[ $duplex != None ]] && d=1   # a one-sided job states nothing
    add_row "$dir/$name" ESCP2 "gs -sDEVICE=cups${*:+ $*} | rastertogutenprint (escp2-$model, $opts)" "$pages" - "$d" "$k" \
        "$(awk -v p="$w" 'BEGIN { printf "%g", p / 72 }')" "$(awk -v p="$l" 'BEGIN { printf "%g", p / 72 }')"
}
if ((merge_only)); then
    # Keep the jobs and the truth; only the expected records are merged again.
    while IFS= read -r line; do
        rows+=("$(cut -f1-9 <<<"$line")"$'\t')
    done < <(tail -n +2 "$truth")
    only=""
else
if [[ -z $only ]]; then rm -rf "$jobs_dir"; else rm -rf "$jobs_dir/${only,,}"; fi
mkdir -p "$jobs_dir"

all=(letter-memo-1 a4-report-3 legal-posters-2 a4-handbook-27 letter-drawings-4)
light=(letter-memo-1 a4-report-3 a4-handbook-27)   # for drivers whose rasters are large

# --- PCL XL ------------------------------------------------------------------
for m in "${all[@]}"; do
    gs_job PCLXL pxlmono pxl "$m" scdk 0 "" 1 0 -- -r150
    [[ $m == a4-handbook-27 ]] && continue
    gs_job PCLXL pxlcolor pxl "$m" scdk 1 "" 1 0 -- -r150
    gs_job PCLXL lj5mono pxl "$m" sdk 0 "" 1 0 -- -r75
done
for m in letter-memo-1 a4-report-3; do
    gs_job PCLXL pxlmono pxl "$m" scdk 0 copies3 3 0 -- -r150 -dNumCopies=3
    gs_job PCLXL pxlmono pxl "$m" scdk 0 duplex 1 1 -- -r150 -dDuplex=true
    gs_job PCLXL pxlcolor pxl "$m" scdk 1 copies2-duplex 2 1 -- -r150 -dNumCopies=2 -dDuplex=true
done

# --- PCL 5 ---------------------------------------------------------------------
for m in "${all[@]}"; do
    gs_job PCL ljet4 pcl "$m" sck 0 "" 1 0 -- -r75
    gs_job PCL ljet4pjl pcl "$m" sck 0 "" 1 0 -- -r75
    gs_job PCL ljet3 pcl "$m" sck 0 "" 1 0 -- -r75
    [[ $m == a4-handbook-27 ]] && continue
    gs_job PCL laserjet pcl "$m" ck 0 "" 1 0 -- -r75
done
for m in letter-memo-1 a4-report-3 legal-posters-2; do
    gs_job PCL deskjet pcl "$m" sck 0 "" 1 0 -- -r75
done
for m in letter-memo-1 a4-report-3 legal-posters-2; do
    gs_job PCL cljet5c pcl "$m" sk 1 "" 1 0 -- -r75
done
for m in letter-memo-1 a4-report-3; do
    gs_job PCL ljet4 pcl "$m" sck 0 copies2 2 0 -- -r75 -dNumCopies=2
    gs_job PCL ljet4pjl pcl "$m" sck 0 copies3 3 0 -- -r75 -dNumCopies=3
    gs_job PCL ljet3 pcl "$m" sck 0 copies2 2 0 -- -r75 -dNumCopies=2
    gs_job PCL ljet4d pcl "$m" scdk 0 duplex 1 1 -- -r75 -dDuplex=true
    gs_job PCL ljet4d pcl "$m" scdk 0 copies2-duplex 2 1 -- -r75 -dDuplex=true -dNumCopies=2
done

# --- PostScript and PDF ----------------------------------------------------------
for m in "${all[@]}"; do
    gs_job POSTSCRIPT ps2write ps "$m" s 1 "" 1 0 --
    gs_job PDF pdfwrite pdf "$m" s 1 "" 1 0 --
done
for m in letter-memo-1 a4-handbook-27; do
    gs_job PDF pdfwrite pdf "$m" s 1 compat14 1 0 -- -dCompatibilityLevel=1.4
    gs_job PDF pdfwrite pdf "$m" s 1 compat17 1 0 -- -dCompatibilityLevel=1.7
done

# The same documents rewritten by other PDF producers (qpdf, poppler, cairo).
# pdf_job master variant pagefactor -- command with IN and OUT in place of the files
pdf_job() {
    local m=$1 variant=$2 factor=$3
    shift 4
    wanted PDF || return 0
    local in="$jobs_dir/pdf/$m.pdfwrite.pdf" out="$jobs_dir/pdf/$m.$variant.pdf"
    [[ -s $in ]] || return 0
    local cmd=("${@//IN/$in}")
    cmd=("${cmd[@]//OUT/$out}")
    if ! timeout "$limit" "${cmd[@]}" </dev/null >/dev/null 2>&1 || [[ ! -s $out ]]; then
        failed+=("$out: ${cmd[*]}")
        rm -f "$out"
        return 0
    fi
    local shown=("${@//IN/$m.pdfwrite.pdf}")
    add_row "$out" PDF "${shown[*]//OUT/out.pdf}" $((PAGES[$m] * factor)) - - - "$(width "${PAPER[$m]}")" "$(length "${PAPER[$m]}")"
}
for m in letter-memo-1 a4-report-3; do
    pdf_job "$m" qpdf-qdf 1 -- qpdf --qdf --object-streams=disable --deterministic-id IN OUT
    pdf_job "$m" qpdf-linearized 1 -- qpdf --linearize --deterministic-id IN OUT
    pdf_job "$m" pdftocairo 1 -- pdftocairo -pdf IN OUT
    pdf_job "$m" pdfunite-twice 2 -- pdfunite IN IN OUT
done

# More PDF producers and structures, with the truth read back by qpdf
# (pages) and pdfinfo (paper of the first page). Each job is made from a
# pdfwrite job above; truth comes from the plain PDF before any wrapper.
# pdf_row file driver source-for-truth copies duplex color
pdf_row() {
    local out=$1 driver=$2 src=$3 copies=$4 duplex=$5 color=$6 pages size w l
    # qpdf repairs a damaged file with warnings (exit status 3) and still counts.
    pages=$(qpdf --show-npages "$src" 2>/dev/null)
    [[ $pages =~ ^[0-9]+$ ]] || { failed+=("$out: qpdf cannot read it"); rm -f "$out"; return 0; }
    size=$(pdfinfo "$src" 2>/dev/null | sed -n 's/^Page size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 \2/p')
    w=$(awk -v p="${size% *}" 'BEGIN{printf "%.2f", p/72}' | sed 's/\.\?0*$//')
    l=$(awk -v p="${size#* }" 'BEGIN{printf "%.2f", p/72}' | sed 's/\.\?0*$//')
    add_row "$out" PDF "$driver" "$pages" "$copies" "$duplex" "$color" "$w" "$l"
}
# pdf_make master variant copies duplex color "description" -- command (IN, OUT)
pdf_make() {
    local m=$1 variant=$2 copies=$3 duplex=$4 color=$5 shown=$6
    shift 7
    wanted PDF || return 0
    local in="$jobs_dir/pdf/$m.pdfwrite.pdf" out="$jobs_dir/pdf/$m.$variant.pdf"
    [[ -s $in ]] || return 0
    local cmd=("${@//IN/$in}")
    cmd=("${cmd[@]//OUT/$out}")
    [[ ${cmd[0]} == pdf_tool ]] || cmd=(timeout "$limit" "${cmd[@]}")
    if ! "${cmd[@]}" </dev/null >/dev/null 2>&1 || [[ ! -s $out ]]; then
        failed+=("$out: ${cmd[*]}")
        rm -f "$out"
        return 0
    fi
    pdf_row "$out" "$shown" "$out" "$copies" "$duplex" "$color"
}
pdf_tool() { python3 - "$@" <<'PY'
import re, sys
mode, src, dst = sys.argv[1:4]
d = open(src, 'rb').read()

def objects(data):
    return {int(m.group(1)): m for m in re.finditer(rb'(?s)(\d+) 0 obj\s*(.*?)endobj', data)}

def update(data, bodies, root):
    """Appends an incremental update: the objects, a section and a trailer."""
    prev = int(re.findall(rb'startxref\s+(\d+)', data)[-1])
    size = max(int(x) for x in re.findall(rb'/Size (\d+)', data))
    size = max([size] + [n + 1 for n in bodies])
    out = bytearray(data)
    if not out.endswith(b'\n'):
        out += b'\n'
    where = {}
    for n, body in sorted(bodies.items()):
        where[n] = len(out)
        out += b'%d 0 obj\n%s\nendobj\n' % (n, body)
    xref = len(out)
    out += b'xref\n'
    for n in sorted(where):
        out += b'%d 1\n%010d 00000 n \n' % (n, where[n])
    out += b'trailer\n<< /Size %d /Root %d 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n' % (size, root, prev, xref)
    return bytes(out)

if mode == 'incremental':
    # Takes the second page out, then adds two copies of the first page.
    objs = objects(d)
    root = int(re.search(rb'/Root (\d+) 0 R', d).group(1))
    tree = next(n for n, m in objs.items() if re.search(rb'/Type\s*/Pages\b', m.group(2)))
    kids = [int(k) for k in re.findall(rb'(\d+) 0 R', re.search(rb'/Kids\s*\[(.*?)\]', objs[tree].group(2), re.S).group(1))]
    def pages(ks):
        return b'<< /Type /Pages /Kids [%s] /Count %d >>' % (b' '.join(b'%d 0 R' % k for k in ks), len(ks))
    kept = kids[:1] + kids[2:]
    d = update(d, {tree: pages(kept)}, root)
    size = max(int(x) for x in re.findall(rb'/Size (\d+)', d))
    first = objs[kids[0]].group(2).strip()
    d = update(d, {size: first, size + 1: first, tree: pages(kept + [size, size + 1])}, root)
elif mode == 'shift':
    # A comment after the header moves every object; the offsets stay.
    eol = d.index(b'\n') + 1
    d = d[:eol] + b'%' + b'x' * 99 + b'\n' + d[eol:]
elif mode == 'junk':
    d = b'garbage a spooler left in front of the file\n' * 4 + d + b'\n\x00\x00 trailing bytes after the end\n'
elif mode == 'noxref':
    # Cross-reference table, trailer and startxref cut away.
    d = d[:d.rindex(b'xref')]
elif mode == 'pjl':
    uel = b'\x1b%-12345X'
    d = (uel + b'@PJL JOB NAME="report"\r\n@PJL ENTER LANGUAGE=PDF\r\n' + d + uel +
         b'@PJL EOJ NAME="report"\r\n' + uel)
elif mode == 'prefs':
    d = d.replace(b'/Type /Catalog', b'/Type /Catalog\n  /ViewerPreferences << /NumCopies 2 /Duplex /DuplexFlipLongEdge >>', 1)
open(dst, 'wb').write(d)
PY
}
for m in a4-report-3 legal-posters-2; do
    gs_job PDF pdfwrite pdf "$m" s 1 compat13 1 0 -- -dCompatibilityLevel=1.3
    gs_job PDF pdfwrite pdf "$m" s 1 compat20 1 0 -- -dCompatibilityLevel=2.0
done
pdf_make a4-handbook-27 qpdf-objstm - - 0 "qpdf --object-streams=generate IN OUT" -- \
    qpdf --object-streams=generate --deterministic-id IN OUT
pdf_make a4-report-3 qpdf-objstm - - 1 "qpdf --object-streams=generate IN OUT" -- \
    qpdf --object-streams=generate --deterministic-id IN OUT
pdf_make a4-handbook-27 qpdf-linearized-objstm - - 0 "qpdf --linearize --object-streams=generate IN OUT" -- \
    qpdf --linearize --object-streams=generate --deterministic-id IN OUT
pdf_make legal-posters-2 qpdf-encrypted - - 1 "qpdf --encrypt '' owner 256 -- IN OUT" -- \
    qpdf --encrypt "" owner 256 -- IN OUT
pdf_make a4-report-3 incremental - - 1 "two incremental updates: page 2 taken out, two copies of page 1 added" -- \
    pdf_tool incremental IN OUT
pdf_make letter-drawings-4 shifted-offsets - - 0 "a comment inserted after the header; offsets not moved" -- \
    pdf_tool shift IN OUT
pdf_make letter-memo-1 junk-around - - 0 "text before %PDF- and bytes after %%EOF" -- pdf_tool junk IN OUT
pdf_make a4-report-3 no-xref - - 1 "cross-reference table, trailer and startxref cut away" -- pdf_tool noxref IN OUT
# Viewer preferences asking for two copies on both sides, written by hand
# into a QDF file that fix-qdf puts right again.
if wanted PDF && [[ -s $jobs_dir/pdf/letter-memo-1.qpdf-qdf.pdf ]]; then
    out=$jobs_dir/pdf/letter-memo-1.copies2-duplex.pdf
    if pdf_tool prefs "$jobs_dir/pdf/letter-memo-1.qpdf-qdf.pdf" "$out.tmp" && fix-qdf "$out.tmp" >"$out"; then
        pdf_row "$out" "qpdf --qdf; /ViewerPreferences << /NumCopies 2 /Duplex /DuplexFlipLongEdge >>; fix-qdf" "$out" 2 1 0
    else
        failed+=("$out: viewer preferences")
    fi
    rm -f "$out.tmp"
fi
# A PDF wrapped in PJL as a spooler sends it; truth from the PDF inside.
if wanted PDF && [[ -s $jobs_dir/pdf/a4-report-3.pdfwrite.pdf ]]; then
    out=$jobs_dir/pdf/a4-report-3.pjl-wrapped.pdf
    pdf_tool pjl "$jobs_dir/pdf/a4-report-3.pdfwrite.pdf" "$out"
    pdf_row "$out" "UEL @PJL ENTER LANGUAGE=PDF around a4-report-3.pdfwrite.pdf" "$jobs_dir/pdf/a4-report-3.pdfwrite.pdf" - - 1
fi

# --- ESC/P2 and ESC/P (serial printers) -----------------------------------------------
for m in "${light[@]}"; do
    gs_job ESCP2 epson prn "$m" k 0 "" 1 0 -- -r60x72
    gs_job ESCP2 lq850 prn "$m" k 0 "" 1 0 -- -r60x60
    [[ $m == a4-handbook-27 ]] && continue
    # stcolor hangs at some resolutions; 180 dpi is safe.
    gs_job ESCP2 stcolor prn "$m" k 1 "" 1 0 -- -r180
    gs_job ESCP2 epsonc prn "$m" k 1 "" 1 0 -- -r60x60
done

# More ESC/P2 and ESC/P jobs, from PostScript and from PDF input. st800 and
# ap3250 take 180 dpi only. stcolor from PDF input is made from the one-page
# master only: Ghostscript 10 reopens the device for every PDF page and the
# file then holds the last page alone. stcolor also runs once dithered
# (without -dUseFastColor). The 9- and 24-pin devices state no sheet; stcolor
# states the form length in units, gutenprint the sheet.
serial_job ESCP2 st800 ps letter-memo-1 k 0 "" -- -r180
serial_job ESCP2 st800 pdf a4-report-3 k 0 frompdf -- -r180
serial_job ESCP2 ap3250 pdf letter-memo-1 k 0 frompdf -- -r180
serial_job ESCP2 stcolor pdf letter-memo-1 kL 1 frompdf -- -r180 -dUseFastColor=true
serial_job ESCP2 stcolor ps a4-report-3 kL 1 dithered -- -r180
serial_job ESCP2 escp ps letter-memo-1 k 0 "" -- -r180
serial_job ESCP2 escp pdf letter-memo-1 k 0 frompdf -- -r180
serial_job ESCP2 epson pdf a4-report-3 k 0 frompdf -- -r60x72
serial_job ESCP2 epsonc pdf a4-report-3 k 1 frompdf -- -r60x60 -dUseFastColor=true
serial_job ESCP2 epsonc ps legal-posters-2 k 1 "" -- -r60x60 -dUseFastColor=true
serial_job ESCP2 lq850 pdf letter-memo-1 k 0 frompdf -- -r60x60
gutenprint_job a4-report-3 c88 w288h432 288x432 RGB 360x180dpi Economy None 4x6-page1 1 -- -dFirstPage=1 -dLastPage=1
gutenprint_job letter-memo-1 c88 w288h432 288x432 Black 360x180dpi Economy None 4x6 1 --
gutenprint_job letter-drawings-4 b500dn w288h432 288x432 Black 360dpi Draft DuplexNoTumble 4x6-duplex 4 --

# --- Canon Bubble Jet ------------------------------------------------------------------
for m in "${light[@]}"; do
    gs_job CANON bjc600 prn "$m" k 1 "" 1 0 -- -r90
    [[ $m == a4-handbook-27 ]] && continue
    gs_job CANON bjc800 prn "$m" k 1 "" 1 0 -- -r90
done

# More Canon jobs for the accurate count: the 24-pin emulation (bj10e,
# bj200: graphics by ESC [ g), the raster mode (bjc600, bjc800, bjccmyk,
# bjccolor) and bjc880j, which writes 8-bit control sequences. bjc600 and
# bjc800 state the page length, bjc880j the paper.
serial_job CANON bj10e ps a4-report-3 k 0 "" -- -r90
serial_job CANON bj10e pdf letter-memo-1 k 0 frompdf -- -r90
serial_job CANON bj200 pdf a4-report-3 k 0 frompdf -- -r90
serial_job CANON bjc600 pdf a4-report-3 kL 1 frompdf -- -r90 -dUseFastColor=true
serial_job CANON bjc800 pdf legal-posters-2 kL 1 frompdf -- -r90 -dUseFastColor=true
serial_job CANON bjccmyk ps a4-report-3 k 1 "" -- -r90 -dUseFastColor=true
serial_job CANON bjccmyk pdf legal-posters-2 k 1 frompdf -- -r90 -dUseFastColor=true
serial_job CANON bjccolor pdf a4-report-3 k 1 frompdf -- -r90 -dUseFastColor=true
serial_job CANON bjc880j ps a4-report-3 L 1 "" -- -r90
serial_job CANON bjc880j pdf letter-memo-1 L 1 frompdf -- -r90
serial_job CANON bjc880j pdf legal-posters-2 L 1 frompdf -- -r90

# --- ESC/Page --------------------------------------------------------------------------
for m in "${all[@]}"; do
    gs_job ESC_PAGE escpage prn "$m" scDk 0 "" 1 0 -- -r150
done
gs_job ESC_PAGE lp8000 prn a4-report-3 k 0 "" 1 0 -- -r300
for m in letter-memo-1 a4-report-3; do
    gs_job ESC_PAGE escpage prn "$m" scDk 0 copies2 2 0 -- -r150 -dNumCopies=2
    gs_job ESC_PAGE escpage prn "$m" scDk 0 duplex 1 1 -- -r150 -dDuplex=true
done

# --- Lexmark inkjets -------------------------------------------------------------------
for m in letter-memo-1 a4-report-3; do
    # Ghostscript's drivers for these printers print with the black cartridge only.
    gs_job Lexmark lex5700 prn "$m" k 0 "" 1 0 -- -r150
    gs_job Lexmark lxm5700m prn "$m" k 0 "" 1 0 -- -r150
done
gs_job Lexmark lex7000 prn letter-memo-1 k 0 "" 1 0 -- -r150   # writes what lex5700 writes

# --- host-based laser streams ------------------------------------------------------------
# 600 dpi rasters are large: the long document goes through one driver only.
for m in "${all[@]}"; do
    raster_job ZJSTREAM foo2zjs zjs "$m" scdk "" 1 0 --
    [[ $m == a4-handbook-27 ]] && continue
    raster_job OAKT foo2oak oak "$m" sdk "" 1 0 --
    raster_job QPDL foo2qpdl qpdl "$m" scdk "" 1 0 --
    raster_job HIPERC foo2hiperc hiperc "$m" scDk "" 1 0 --
done
for m in letter-memo-1 a4-report-3; do
    raster_job ZJSTREAM foo2zjs zjs "$m" scdk copies2-duplex 2 1 -- -n2 -d2
    raster_job OAKT foo2oak oak "$m" sdk duplex 1 1 -- -d2
    raster_job QPDL foo2qpdl qpdl "$m" scdk copies2-duplex 2 1 -- -n2 -d2
    raster_job HIPERC foo2hiperc hiperc "$m" scDk copies3 3 0 -- -n3
    raster_job HIPERC foo2hiperc hiperc "$m" scDk duplex 1 1 -- -d2
done

# --- HP PPA ------------------------------------------------------------------------------
for m in letter-memo-1 a4-report-3; do
    ppa_job "$m" "" --
done
# Other printer models of the family.
ppa_job letter-memo-1 hp820 -- -v 820
ppa_job letter-memo-1 hp1000 -- -v 1000

# --- Vendor page languages and host-based streams: more drivers, PDF input --------------
# Ghostscript renders a PDF differently from PostScript (the escpage driver, for one,
# ends the pages of a PDF with duplex side commands), so these drivers also get the
# masters rewritten by pdfwrite. The PDFs are made once, in a scratch folder.
vl_pdfs=$(mktemp -d)
cleanup+=("$vl_pdfs")
vl_input() { # master ps|pdf -> the file Ghostscript reads
    if [[ $2 == ps ]]; then echo "masters/$1.ps"; return; fi
    local out="$vl_pdfs/$1.pdf"
    [[ -s $out ]] || gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$out" "masters/$1.ps" \
        </dev/null >/dev/null 2>&1
    echo "$out"
}

# vl_gs_job tag device ext master ps|pdf states colordevice variant copies duplex -- gs options
vl_gs_job() {
    local tag=$1 dev=$2 ext=$3 m=$4 input=$5 states=$6 cdev=$7 variant=$8 copies=$9 duplex=${10}
    shift 11
    wanted "$tag" || return 0
    [[ $input == pdf ]] && variant=pdf${variant:+-$variant}
    local dir="$jobs_dir/${tag,,}" name="$m.$dev${variant:+-$variant}.$ext" src
    src=$(vl_input "$m" "$input")
    mkdir -p "$dir"
    if ! timeout "$limit" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" -dUseFastColor=true "$@" \
        -sOutputFile="$dir/$name" "$src" </dev/null >/dev/null 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: gs $dev $* ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    local how="gs -sDEVICE=$dev $*"
    [[ $input == pdf ]] && how+=" (PDF input)"
    truth_row "$dir/$name" "$tag" "$how" "$m" "$states" "$copies" "$duplex" "$cdev"
}

# vl_raster_job tag driver ext master ps|pdf pbmraw|bitcmyk states variant copies duplex -- driver options
# As raster_job, with the input and the raster device chosen: a colour master
# rendered to pbmraw is a monochrome job.
vl_raster_job() {
    local tag=$1 drv=$2 ext=$3 m=$4 input=$5 dev=$6 states=$7 variant=$8 copies=$9 duplex=${10}
    shift 11
    wanted "$tag" || return 0
    [[ $input == pdf ]] && variant=pdf${variant:+-$variant}
    local dir="$jobs_dir/${tag,,}" name="$m.$drv${variant:+-$variant}.$ext" dpi=600 cdev=0 src geo
    src=$(vl_input "$m" "$input")
    mkdir -p "$dir"
    geo=$(geometry "${PAPER[$m]}" $dpi)
    local opts=(-r${dpi}x$dpi -g"$geo" -p"$(paper_code "$drv" "${PAPER[$m]}")")
    if [[ $dev == bitcmyk ]]; then cdev=1; opts+=(-c); fi
    [[ $drv == foo2hiperc ]] && opts+=(-Z1)
    opts+=("$@")
    if ! timeout "$limit" bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE="$1" -r"$2" -g"$3" -sOutputFile=- "$4" </dev/null 2>/dev/null | "${@:5}"' \
        _ "$dev" "$dpi" "$geo" "$src" "$drv" "${opts[@]}" >"$dir/$name" 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: $drv ${opts[*]} ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    local how="gs -sDEVICE=$dev -r$dpi | $drv ${opts[*]}"
    [[ $input == pdf ]] && how+=" (PDF input)"
    truth_row "$dir/$name" "$tag" "$how" "$m" "$states" "$copies" "$duplex" "$cdev"
}

# ESC/Page: lp2000 (the escpage commands without EJL), lp8000, and the vector
# drivers epl5800 (monochrome) and lp8300c (colour), which state copies and paper
# in their EJL header. epl5800 has no duplex unit: it writes DX=OFF whatever is asked.
vl_gs_job ESC_PAGE lp2000 prn letter-memo-1 ps sck 0 "" 1 0 -- -r150
vl_gs_job ESC_PAGE lp2000 prn letter-memo-1 pdf sck 0 "" 1 0 -- -r150
vl_gs_job ESC_PAGE lp8000 prn letter-memo-1 ps k 0 "" 1 0 -- -r300
vl_gs_job ESC_PAGE lp8000 prn letter-memo-1 pdf k 0 "" 1 0 -- -r300
vl_gs_job ESC_PAGE epl5800 prn letter-drawings-4 ps sck 0 copies2 2 0 -- -r150 -dNumCopies=2
vl_gs_job ESC_PAGE epl5800 prn legal-posters-2 pdf sck 0 "" 1 0 -- -r150
for m in letter-memo-1 a4-report-3; do
    vl_gs_job ESC_PAGE lp8300c prn "$m" ps sck 1 "" 1 0 -- -r150
done
vl_gs_job ESC_PAGE lp8300c prn a4-report-3 pdf sck 1 copies2 2 0 -- -r150 -dNumCopies=2
vl_gs_job ESC_PAGE escpage prn a4-report-3 ps scDk 0 copies2-duplex 2 1 -- -r150 -dNumCopies=2 -dDuplex=true
vl_gs_job ESC_PAGE escpage prn a4-report-3 pdf scDk 0 "" 1 0 -- -r150
vl_gs_job ESC_PAGE escpage prn letter-drawings-4 pdf scDk 0 copies2-duplex 2 1 -- -r150 -dNumCopies=2 -dDuplex=true

# Lexmark: lex2050 and lex3200 write what lex5700 writes; lxm3200 writes 8-byte
# commands with a checksum and prints colour with its right-hand cartridge.
vl_gs_job Lexmark lex2050 prn letter-memo-1 ps k 0 "" 1 0 -- -r150
vl_gs_job Lexmark lex3200 prn letter-memo-1 pdf k 0 "" 1 0 -- -r150
vl_gs_job Lexmark lxm5700m prn letter-memo-1 pdf k 0 "" 1 0 -- -r150
for m in letter-memo-1 a4-report-3; do
    vl_gs_job Lexmark lxm3200 prn "$m" ps k 1 "" 1 0 -- -r150
done
vl_gs_job Lexmark lxm3200 prn letter-memo-1 pdf k 1 "" 1 0 -- -r150

# foo2 drivers: copies, duplex and PDF input. (Colour masters rendered to
# monochrome rasters are dithered and too large to keep.)
vl_raster_job ZJSTREAM foo2zjs zjs letter-drawings-4 pdf pbmraw scdk copies3 3 0 -- -n3
vl_raster_job ZJSTREAM foo2zjs zjs a4-report-3 pdf bitcmyk scdk duplex 1 1 -- -d2
vl_raster_job OAKT foo2oak oak letter-drawings-4 pdf pbmraw sdk duplex 1 1 -- -d2
vl_raster_job OAKT foo2oak oak a4-report-3 pdf bitcmyk sdk "" 1 0 --
vl_raster_job QPDL foo2qpdl qpdl letter-drawings-4 ps pbmraw scdk copies3 3 0 -- -n3
vl_raster_job QPDL foo2qpdl qpdl legal-posters-2 pdf bitcmyk scdk duplex 1 1 -- -d2
vl_raster_job QPDL foo2qpdl qpdl letter-memo-1 pdf pbmraw scdk "" 1 0 --
vl_raster_job HIPERC foo2hiperc hiperc a4-report-3 pdf bitcmyk scDk copies2 2 0 -- -n2
vl_raster_job HIPERC foo2hiperc hiperc letter-drawings-4 pdf pbmraw scDk duplex 1 1 -- -d2

# QPDL as Samsung's own drivers frame it, written by SpliX (printer-driver-splix)
# through its CUPS filter from Ghostscript's CUPS raster: a colour laser in manual
# duplex, and a monochrome model whose bands are framed otherwise. The paper comes
# from the PPD option, so it is given to match the master. SpliX leaves copies to
# CUPS (the job states 1).
# splix_job master model colour(0|1) variant "filter options" duplex
splix_job() {
    local m=$1 model=$2 colour=$3 variant=$4 options=$5 duplex=$6
    wanted QPDL || return 0
    command -v ppdc >/dev/null && [[ -x /usr/lib/cups/filter/rastertoqpdl ]] || { failed+=("splix: no ppdc or rastertoqpdl"); return 0; }
    local dir="$jobs_dir/qpdl" name="$m.splix-$model${variant:+-$variant}.qpdl" ppds="$vl_pdfs/ppd"
    [[ -s $ppds/$model.ppd ]] || ppdc -d "$ppds" /usr/share/cups/drv/splix-samsung.drv >/dev/null 2>&1
    local raster=(-dcupsColorSpace=3 -dcupsColorOrder=0 -dcupsCompression=17)
    ((colour)) && raster=(-dcupsColorSpace=6 -dcupsColorOrder=1 -dcupsCompression=19)
    mkdir -p "$dir"
    if ! timeout "$limit" bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE=cups -r600 -dcupsBitsPerColor=1 "${@:4}" -sOutputFile=- "$1" </dev/null 2>/dev/null | PPD="$2" /usr/lib/cups/filter/rastertoqpdl 1 corpus corpus 1 "$3"' \
        _ "masters/$m.ps" "$ppds/$model.ppd" "$options" "${raster[@]}" >"$dir/$name" 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: rastertoqpdl $model ($(grep -v DEBUG "$dir/$name.err" | head -c 200))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    local k=0 d=0   # the PJL header states DUPLEX either way
    ((colour)) && k=${COLOR[$m]}
    ((duplex)) && d=1
    add_row "$dir/$name" QPDL "gs -sDEVICE=cups -r600 | rastertoqpdl ($model, $options)" "${PAGES[$m]}" 1 "$d" "$k" \
        "$(width "${PAPER[$m]}")" "$(length "${PAPER[$m]}")"
}
splix_job legal-posters-2 clp300 1 duplex "PageSize=Legal Duplex=DuplexNoTumble" 1
splix_job letter-memo-1 ml2010 0 "" "PageSize=Letter" 0


# --- PCL and PostScript as the printer ejects them ------------------------------------------
# Every Ghostscript PCL device (checked with gs -h), fed from PostScript and from PDF (the
# PDF interpreter drives a device differently), and the PostScript writers ps2write,
# eps2write, pdftops (with and without -duplex) and pdftocairo -ps. Two small masters are
# written here so that the 300 and 600 dpi inkjet streams stay small: letter-note-1 (one
# black page) and a4-spots-3 (colour, its middle page blank: a blank page between two
# ejects still comes out of the printer).
srcdir=$(mktemp -d)
cleanup+=("$srcdir")
small_master() { # name pages width length body
    local name=$1 pages=$2 w=$3 l=$4 body=$5
    printf '%s\n' '%!PS-Adobe-3.0' "%%Title: $name" '%%Creator: quirometer corpus' "%%Pages: $pages" \
        "%%BoundingBox: 0 0 $w $l" "%%DocumentMedia: Plain $w $l 75 white ()" '%%EndComments' \
        '%%BeginProlog' '/F { /Helvetica findfont exch scalefont setfont } bind def' \
        '/disc { newpath 0 360 arc fill } bind def' '%%EndProlog' '%%BeginSetup' \
        "<< /PageSize [$w $l] >> setpagedevice" '%%EndSetup' >"$srcdir/$name.ps"
    printf '%b' "$body" >>"$srcdir/$name.ps"
    printf '%s\n' '%%Trailer' '%%EOF' >>"$srcdir/$name.ps"
}
small_master letter-note-1 1 612 792 '%%Page: 1 1\n0 setgray 14 F 72 700 moveto (Toner note: one page, black only.) show\n72 680 moveto (Quota 42, tray 2.) show\n72 100 moveto 300 0 rlineto stroke\nshowpage\n'
small_master a4-spots-3 3 595 842 '%%Page: 1 1\n1 0 0 setrgbcolor 300 600 40 disc\n0 setgray 14 F 72 760 moveto (Spots, page one) show\nshowpage\n%%Page: 2 2\nshowpage\n%%Page: 3 3\n0 0 1 setrgbcolor 16 F 72 400 moveto (Page three, blue) show\nshowpage\n'
PAGES[letter-note-1]=1 PAPER[letter-note-1]=letter COLOR[letter-note-1]=0
PAGES[a4-spots-3]=3 PAPER[a4-spots-3]=a4 COLOR[a4-spots-3]=1
cp masters/a4-report-3.ps "$srcdir/"
for m in letter-note-1 a4-spots-3 a4-report-3; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$srcdir/$m.pdf" "$srcdir/$m.ps" </dev/null >/dev/null 2>&1
done

# src_job tag device ext master input(ps|pdf) states colordevice -- gs options
src_job() {
    local tag=$1 dev=$2 ext=$3 m=$4 input=$5 states=$6 cdev=$7
    shift 8
    wanted "$tag" || return 0
    local dir="$jobs_dir/${tag,,}" name="$m.$dev.$ext"
    [[ $input == pdf ]] && name="$m.$dev-frompdf.$ext"
    mkdir -p "$dir"
    if ! timeout "$limit" gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" "$@" -sOutputFile="$dir/$name" \
        "$srcdir/$m.$input" </dev/null >/dev/null 2>"$dir/$name.err" || [[ ! -s $dir/$name ]]; then
        failed+=("$dir/$name: gs $dev $* ($(head -c 200 "$dir/$name.err"))")
        rm -f "$dir/$name" "$dir/$name.err"
        return 0
    fi
    rm -f "$dir/$name.err"
    truth_row "$dir/$name" "$tag" "gs -sDEVICE=$dev $* ($input master)" "$m" "$states" 1 "${DUPLEX:-0}" "$cdev"
}

# device states colordevice masters routes [resolution, 75 when not given]
# Paper: the devices that write no page size (ESC & l # A) leave it unstated; djet500c
# always writes A4, so its paper is unstated too. Copies: stated for the devices that
# write ESC & l # X. The pcl3 family (hpdj*, pcl3) defaults to the Gray colour model and
# writes no page at all from the PDF interpreter, so it has the PostScript route only.
# pjetxl and cdnj500 end pages only with a reset or a UEL, where a blank page comes out
# of no printer: they print the one-page master only. dj505j writes no PCL (its own
# ESC _ commands) and dnj650c writes HP-GL/2, so neither is here.
while read -r dev states cdev masters routes res; do
    for m in ${masters//,/ }; do
        for r in ${routes//,/ }; do
            DUPLEX=0
            [[ $states == *d* ]] && DUPLEX=1
            src_job PCL "$dev" pcl "$m" "$r" "$states" "$cdev" -- -r"${res:-75}" -dUseFastColor=true
        done
    done
done <<'EOF'
cdeskjet sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj500 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj550 sk 1 letter-note-1,a4-spots-3,a4-report-3 ps,pdf
cdj670 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj850 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj880 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj890 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdj970 sk 1 letter-note-1,a4-spots-3 ps,pdf 300
cdj1600 sk 1 letter-note-1,a4-spots-3 ps,pdf
cdjcolor sk 1 letter-note-1,a4-spots-3 ps,pdf
cdjmono sk 0 letter-note-1,a4-spots-3 ps,pdf
cdnj500 k 1 letter-note-1 ps,pdf
chp2200 sk 1 letter-note-1,a4-spots-3 ps,pdf
cljet5 sk 1 letter-note-1,a4-spots-3,a4-report-3 ps,pdf
cljet5c sk 1 letter-note-1,a4-spots-3 ps,pdf
cljet5pr sk 1 letter-note-1,a4-spots-3 ps,pdf
declj250 k 1 letter-note-1,a4-spots-3 ps,pdf
deskjet sck 0 letter-note-1,a4-spots-3 ps,pdf
djet500 sck 0 letter-note-1,a4-spots-3,a4-report-3 ps,pdf
djet500c k 1 letter-note-1,a4-spots-3 ps,pdf
fs600 sck 0 letter-note-1,a4-spots-3 ps,pdf
laserjet ck 0 letter-note-1,a4-spots-3 ps,pdf
lj250 k 1 letter-note-1,a4-spots-3 ps,pdf
lj4dith sk 0 letter-note-1,a4-spots-3,a4-report-3 ps,pdf
lj4dithp sk 0 letter-note-1,a4-spots-3 ps,pdf
ljet2p sck 0 letter-note-1,a4-spots-3 ps,pdf
ljet3 sck 0 letter-note-1,a4-spots-3 ps,pdf
ljet3d scdk 0 letter-note-1,a4-spots-3 ps,pdf
ljet4 sck 0 letter-note-1,a4-spots-3 ps,pdf
ljet4d scdk 0 letter-note-1,a4-spots-3 ps,pdf
ljet4pjl sck 0 letter-note-1,a4-spots-3 ps,pdf
ljetplus ck 0 letter-note-1,a4-spots-3 ps,pdf
lp2563 sck 0 letter-note-1,a4-spots-3 ps,pdf
oce9050 sck 0 letter-note-1,a4-spots-3 ps,pdf
paintjet k 1 letter-note-1,a4-spots-3 ps,pdf
pj k 1 letter-note-1,a4-spots-3 ps,pdf
pjetxl k 1 letter-note-1 ps,pdf
pjxl sk 1 letter-note-1,a4-spots-3,a4-report-3 ps,pdf
pjxl300 sk 1 letter-note-1,a4-spots-3 ps,pdf
pcl3 sk 0 letter-note-1,a4-spots-3 ps
hpdj310 sk 0 letter-note-1,a4-spots-3 ps
hpdj320 sk 0 letter-note-1,a4-spots-3 ps
hpdj340 sk 0 letter-note-1,a4-spots-3 ps
hpdj400 sk 0 letter-note-1,a4-spots-3 ps
hpdj500 sk 0 letter-note-1,a4-spots-3 ps
hpdj500c sk 0 letter-note-1,a4-spots-3 ps
hpdj510 sk 0 letter-note-1,a4-spots-3 ps
hpdj520 sk 0 letter-note-1,a4-spots-3 ps
hpdj540 sk 0 letter-note-1,a4-spots-3 ps
hpdj550c sk 0 letter-note-1,a4-spots-3 ps
hpdj560c sk 0 letter-note-1,a4-spots-3 ps
hpdj600 sk 0 letter-note-1,a4-spots-3 ps
hpdj660c sk 0 letter-note-1,a4-spots-3 ps
hpdj670c sk 0 letter-note-1,a4-spots-3 ps
hpdj680c sk 0 letter-note-1,a4-spots-3 ps
hpdj690c sk 0 letter-note-1,a4-spots-3 ps
hpdj850c sk 0 letter-note-1,a4-spots-3 ps
hpdj855c sk 0 letter-note-1,a4-spots-3 ps
hpdj870c sk 0 letter-note-1,a4-spots-3 ps
hpdj890c sk 0 letter-note-1,a4-spots-3 ps
hpdj1120c sk 0 letter-note-1,a4-spots-3 ps
hpdjplus sk 0 letter-note-1,a4-spots-3 ps
hpdjportable sk 0 letter-note-1,a4-spots-3 ps
EOF

# PostScript writers. eps2write makes one-page documents only.
for m in letter-note-1 a4-spots-3; do
    for r in ps pdf; do
        src_job POSTSCRIPT ps2write ps "$m" "$r" s 1 --
    done
done
for r in ps pdf; do src_job POSTSCRIPT eps2write eps letter-note-1 "$r" "" 1 --; done   # no sheet: an EPS file has a drawing's box
# ps_job master variant duplex -- command with IN and OUT in place of the files
ps_job() {
    local m=$1 variant=$2 duplex=$3
    shift 4
    wanted POSTSCRIPT || return 0
    local in="$srcdir/$m.pdf" out="$jobs_dir/postscript/$m.$variant.ps"
    mkdir -p "$jobs_dir/postscript"
    local cmd=("${@//IN/$in}")
    cmd=("${cmd[@]//OUT/$out}")
    if ! timeout "$limit" "${cmd[@]}" </dev/null >/dev/null 2>&1 || [[ ! -s $out ]]; then
        failed+=("$out: ${cmd[*]}")
        rm -f "$out"
        return 0
    fi
    local shown=("${@//IN/$m.pdf}")
    add_row "$out" POSTSCRIPT "${shown[*]//OUT/out.ps}" "${PAGES[$m]}" - "$duplex" - \
        "$(width "${PAPER[$m]}")" "$(length "${PAPER[$m]}")"
}
for m in letter-note-1 a4-spots-3 a4-report-3; do
    ps_job "$m" pdftops 0 -- pdftops IN OUT
    ps_job "$m" pdftops-duplex 1 -- pdftops -duplex IN OUT
    ps_job "$m" pdftocairo 0 -- pdftocairo -ps IN OUT
done

fi   # merge_only

# --- truth.tsv ----------------------------------------------------------------------------
# expected.tsv: file glob, expected record, reason (hand-kept; see its header).
expected_for() { # file -> "expected<TAB>reason" or empty
    local f=$1 pat exp why
    [[ -f expected.tsv ]] || return 0
    while IFS=$'\t' read -r pat exp why; do
        [[ -z $pat || $pat == \#* || $pat == file ]] && continue
        # shellcheck disable=SC2053
        if [[ $f == $pat ]]; then printf '%s\t%s' "$exp" "$why"; return 0; fi
    done <expected.tsv
}
{
    if [[ -n $only && -f $truth ]]; then
        # keep the rows of the other tags
        awk -F'\t' -v t="$only" 'NR == 1 || tolower($2) != tolower(t)' "$truth"
    else
        printf 'file\ttag\tdriver\tpages\tcopies\tduplex\tcolor\tpaperWidth\tpaperLength\texpected\treason\n'
    fi
    for r in "${rows[@]}"; do
        f=${r%%$'\t'*}
        e=$(expected_for "$f")
        [[ -z $e ]] && e=$'\t'
        printf '%s%s\n' "$r" "$e"
    done
} >"$truth.new"
mv "$truth.new" "$truth"

# The driverless rasters have a generator of their own; it keeps the rows of
# the other tags in truth.tsv and writes its own.
if ((!merge_only)) && [[ -z $only || ,pwgraster,urf,cupsraster,pclm, == *,"${only,,}",* ]]; then
    "$scripts/driverless.sh" || failed+=("scripts/corpus/driverless.sh")
fi

echo "jobs: ${#rows[@]} written; corpus size $(du -sh "$jobs_dir" | cut -f1)" >&2
if ((${#failed[@]})); then
    printf 'driver runs that failed (no job written):\n' >&2
    printf '  %s\n' "${failed[@]}" >&2
fi
exit 0
