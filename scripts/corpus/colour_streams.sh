#!/bin/bash
# Prints the colour masters (tests/corpus/colour/masters) through the
# colour-capable drivers of the raster streams (ESC/P2, Canon, ZjStream, OAKT,
# HIPERC, QPDL, PPA, Lexmark, ESC/Page), in colour and in mono mode, into
# tests/corpus/colour/jobs/streams/, and writes their truth page by page into
# tests/corpus/colour/streams.tsv. The jobs are committed; run this only to
# rebuild them.
#
# Truth: a page is colour when its driver puts ink on a colour plane. A
# mono-mode job prints every page mono. In colour mode, the foo2 drivers print
# the bitcmyk raster Ghostscript hands them: the master is rendered again,
# page by page, the same way (pamcmyk32), and a page is colour when a pixel
# has C, M or Y ink. The other drivers separate the inks themselves: their
# truth is the master's (tests/corpus/colour/pages.tsv), except where a second
# reading of the job (colour_inks.py) shows the driver putting colour ink on
# neutral content; the row's note says so. Rich black (C = M = Y under K) and
# grey images print so on some drivers, and are billed so.
#
# To keep the jobs small, every master goes through pdfwrite and is printed
# scaled onto an A7 sheet (210 x 298 points); the truth is rendered the same
# way, at 150 dpi.
set -uo pipefail
export LC_ALL=C
export SOURCE_DATE_EPOCH=1767225600

scripts=$(cd "$(dirname "$0")" && pwd)
colour=$(cd "$scripts/../../tests/corpus/colour" && pwd)
cd "$colour"
out=jobs/streams
truth=streams.tsv
limit=180

need=()
command -v gs >/dev/null || need+=(ghostscript)
command -v foo2zjs >/dev/null || need+=(printer-driver-foo2zjs)
command -v pnm2ppa >/dev/null || need+=(printer-driver-pnm2ppa)
command -v pnmpad >/dev/null || need+=(netpbm)
[[ -x /usr/lib/cups/filter/rastertogutenprint.5.3 ]] || need+=(printer-driver-gutenprint)
if ((${#need[@]})); then
    apt-get -o DPkg::Lock::Timeout=900 install -y "${need[@]}" >&2 || { echo "cannot install ${need[*]}" >&2; exit 1; }
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rm -rf "$out"
mkdir -p "$out"
rows=()
failed=()

masters=(mono-text-3 one-mark-5 grey-images-2 photo-2 rich-black-2 mixed-paper-3)
pages_of() { awk -F'\t' -v m="$1" '$1 == m' pages.tsv | wc -l; }
A7=(-dDEVICEWIDTHPOINTS=210 -dDEVICEHEIGHTPOINTS=298 -dFIXEDMEDIA -dPDFFitPage)
for m in "${masters[@]}"; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$scratch/$m.pdf" "masters/$m.ps" </dev/null >/dev/null 2>&1 ||
        { echo "pdfwrite failed on $m" >&2; exit 1; }
done

# page_colours master model -> a letter per page (M or C), from the master
# rendered at 150 dpi on the A7 sheet in the colour model a pipeline gives
# its driver (cmyk or rgb).
page_colours() {
    local m=$1 model=$2 dir="$scratch/truth-$1-$2"
    if [[ ! -d $dir ]]; then
        mkdir -p "$dir"
        local dev=ppmraw ext=ppm
        [[ $model == cmyk ]] && dev=pamcmyk32 ext=pam
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=$dev -r150 "${A7[@]}" -dGraphicsAlphaBits=1 -dTextAlphaBits=1 \
            -sOutputFile="$dir/p%03d.$ext" "$scratch/$m.pdf" </dev/null >/dev/null 2>&1
    fi
    python3 - "$model" "$dir"/p*.* <<'PY'
import sys
model, files = sys.argv[1], sys.argv[2:]
def body(path):
    data = open(path, "rb").read()
    if data.startswith(b"P7"):   # PAM: header lines up to ENDHDR
        return data[data.index(b"ENDHDR\n") + 7:]
    fields, i = [], 0
    while len(fields) < 4:       # P6 width height maxval
        while data[i:i + 1].isspace(): i += 1
        if data[i:i + 1] == b"#":
            i = data.index(b"\n", i); continue
        j = i
        while not data[j:j + 1].isspace(): j += 1
        fields.append(data[i:j]); i = j
    return data[i + 1:]
out = ""
for f in files:
    px = body(f)
    if model == "cmyk":
        colour = any(px[k] or px[k + 1] or px[k + 2] for k in range(0, len(px), 4))
    else:
        colour = any(px[k] != px[k + 1] or px[k + 1] != px[k + 2] for k in range(0, len(px), 3))
    out += "C" if colour else "M"
print(out)
PY
}

# add file tag driver mode master model: model "master" takes each page's
# colour from the master's truth; cmyk and rgb from the raster the driver is
# handed (page_colours). Where a driver separates the inks itself and a
# second reading of its job (colour_inks.py) finds colour ink on a page the
# master calls mono, or none on a colour page, the ink decides, and the row's
# note says so.
add() {
    local file=$1 tag=$2 driver=$3 mode=$4 m=$5 model=$6 colours note=""
    local n
    n=$(pages_of "$m")
    if [[ $mode == mono ]]; then
        colours=$(printf 'M%.0s' $(seq "$n"))
    elif [[ $model == master ]]; then
        colours=$(awk -F'\t' -v m="$m" '$1 == m { printf "%s", $3 == 1 ? "C" : "M" }' pages.tsv)
    else
        colours=$(page_colours "$m" "$model")
    fi
    if [[ $model == master && $tag =~ ^(CANON|ESCP2|Lexmark|PPA|ESC_PAGE)$ ]]; then
        local ink
        ink=$(python3 "$scripts/colour_inks.py" "$tag" "$file")
        if [[ ${#ink} == "$n" && $ink != "$colours" ]]; then
            note="the master is $colours; the driver puts colour ink on its neutral content"
            [[ $tag == ESC_PAGE ]] && note="the master is $colours; the driver turns its neutral content into fills whose red, green and blue differ"
            [[ $mode == mono ]] && note="a mono queue; the driver still puts colour ink down"
            colours=$ink
        fi
    fi
    if [[ ${#colours} != "$n" ]]; then failed+=("$file: truth has ${#colours} pages, want $n"); return; fi
    rows+=("$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s' "$file" "$tag" "$driver" "$mode" "$n" "$colours" "$note")")
}

# gs_dev tag device mode model master -- options: the master through
# pdfwrite on the A7 sheet (SHEET=ps: the PostScript master as it is).
gs_dev() {
    local tag=$1 dev=$2 mode=$3 model=$4 m=$5 sheet=("${A7[@]}") input="$scratch/$5.pdf"
    shift 6
    [[ ${SHEET:-} == ps ]] && sheet=() input="masters/$m.ps"
    local file="$out/$m.$dev-$mode.prn"
    if ! timeout $limit gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" "${sheet[@]}" "$@" -sOutputFile="$file" "$input" \
        </dev/null >/dev/null 2>&1 || [[ ! -s $file ]]; then
        failed+=("$file: gs $dev $*"); rm -f "$file"; return
    fi
    add "$file" "$tag" "gs -sDEVICE=$dev $*" "$mode" "$m" "$model"
}

# foo2 driver ext mode master -- options: Ghostscript renders pbmraw (mono)
# or bitcmyk (colour) on the A7 sheet at 600 dpi for the driver.
foo2() {
    local drv=$1 ext=$2 mode=$3 m=$4
    shift 5
    local file="$out/$m.$drv-$mode.$ext" dev=pbmraw opts=("$@")
    [[ $mode == colour ]] && { dev=bitcmyk; opts+=(-c); }
    if ! timeout $limit bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$1" -r600 "${@:3:4}" -sOutputFile=- "$2" </dev/null 2>/dev/null | "${@:7}"' \
        _ "$dev" "$scratch/$m.pdf" "${A7[@]}" "$drv" -r600x600 -g1750x2483 "${opts[@]}" >"$file" 2>/dev/null || [[ ! -s $file ]]; then
        failed+=("$file: $drv ${opts[*]}"); rm -f "$file"; return
    fi
    add "$file" "${ext^^}" "gs -sDEVICE=$dev -r600 | $drv -r600x600 -g1750x2483 ${opts[*]}" "$mode" "$m" cmyk
}

# gutenprint family model resolution quality mode master: CUPS raster at the
# model's lowest resolution through rastertogutenprint with the model's PPD.
gutenprint() {
    local family=$1 model=$2 res=$3 quality=$4 mode=$5 m=$6 tag=ESCP2
    [[ $family == bjc ]] && tag=CANON
    local ppd="$scratch/$family-$model.ppd" file="$out/$m.gutenprint-$family-$model-$mode.prn" cs=1 bits=8 cmodel=RGB
    [[ $mode == mono ]] && cs=3 bits=1 cmodel=Black
    /usr/lib/cups/driver/gutenprint.5.3 cat "gutenprint.5.3://$family-$model/expert" >"$ppd" 2>/dev/null
    local dpi=${res%dpi}
    [[ $dpi == *x* ]] || dpi=${dpi}x$dpi
    local opts="PageSize=A7 Resolution=$res ColorModel=$cmodel StpQuality=$quality"
    if ! timeout $limit bash -c 'gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -dcupsColorSpace="$1" -dcupsBitsPerColor="$2" -r"$3" "${@:7}" -sOutputFile=- "$4" </dev/null 2>/dev/null | PPD="$5" /usr/lib/cups/filter/rastertogutenprint.5.3 1 user title 1 "$6" 2>/dev/null' \
        _ "$cs" "$bits" "$dpi" "$scratch/$m.pdf" "$ppd" "$opts" "${A7[@]}" >"$file" || [[ ! -s $file ]]; then
        failed+=("$file: gutenprint $family-$model $opts"); rm -f "$file"; return
    fi
    add "$file" "$tag" "gs -sDEVICE=cups | rastertogutenprint ($family-$model, $opts)" "$mode" "$m" master
}

# ppa mode master: pnm2ppa at 300 dpi, from ppmraw (colour) or pbmraw (mono):
# the A7 page on the top left of an A4 sheet, which pnm2ppa needs whole.
ppa() {
    local mode=$1 m=$2 dev=ppmraw opts=(--dpi300 -s a4)
    [[ $mode == mono ]] && { dev=pbmraw; opts+=(--bw); }
    local file="$out/$m.pnm2ppa-$mode.prn" dir="$scratch/ppa-$m-$mode"
    mkdir -p "$dir"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="$dev" -r300 "${A7[@]}" -sOutputFile="$dir/p%03d.pnm" "$scratch/$m.pdf" </dev/null >/dev/null 2>&1
    if ! for p in "$dir"/p*.pnm; do pnmpad -white -width 2480 -height 3508 -halign 0 -valign 0 "$p"; done 2>/dev/null |
        timeout $limit pnm2ppa "${opts[@]}" -i - -o - >"$file" 2>/dev/null || [[ $(stat -c %s "$file") -lt 1024 ]]; then
        failed+=("$file: pnm2ppa ${opts[*]}"); rm -f "$file"; return
    fi
    add "$file" PPA "gs -sDEVICE=$dev -r300 | pnmpad | pnm2ppa ${opts[*]}" "$mode" "$m" master
}

# Every master in colour mode; in mono mode the masters that hold colour.
# The drivers whose jobs are large take fewer masters: pnm2ppa those of one
# mark, a photo and rich black; Gutenprint those of one mark and rich black.
# lp8300c knows no A7 sheet: it prints on A6. stcolor prints only the first
# page of a PDF: it is given the PostScript master on its own sheet.
# Ghostscript's devices, pnm2ppa and Gutenprint separate the inks
# themselves: their truth is the master's. The foo2 drivers print the
# bitcmyk raster they are handed: their truth is that raster's.
A6=(-dDEVICEWIDTHPOINTS=298 -dDEVICEHEIGHTPOINTS=420)
for m in "${masters[@]}"; do
    ppa_too=0 gutenprint_too=0
    [[ $m == one-mark-5 || $m == photo-2 || $m == rich-black-2 ]] && ppa_too=1
    [[ $m == one-mark-5 || $m == rich-black-2 ]] && gutenprint_too=1
    modes=(colour)
    [[ $m == one-mark-5 || $m == photo-2 ]] && modes+=(mono)
    for mode in "${modes[@]}"; do
        if [[ $mode == colour ]]; then
            SHEET=ps gs_dev ESCP2 stcolor colour master "$m" -- -r90 -dUseFastColor=true
            gs_dev CANON bjc600 colour master "$m" -- -r90 -dUseFastColor=true
            gs_dev ESC_PAGE lp8300c colour master "$m" -- -r150 "${A6[@]}"
            gs_dev Lexmark lxm3200 colour master "$m" -- -r150 -dmode=1
        else
            gs_dev ESCP2 escp mono master "$m" -- -r180
            gs_dev CANON bjcmono mono master "$m" -- -r90
            gs_dev ESC_PAGE escpage mono master "$m" -- -r150
            gs_dev Lexmark lxm3200 mono master "$m" -- -r150 -dmode=0
        fi
        foo2 foo2zjs zjstream "$mode" "$m" -- -p9
        foo2 foo2oak oakt "$mode" "$m" -- -p9
        foo2 foo2hiperc hiperc "$mode" "$m" -- -p1 -Z1
        foo2 foo2qpdl qpdl "$mode" "$m" -- -p2
        ((ppa_too)) && ppa "$mode" "$m"
        ((gutenprint_too)) || continue
        gutenprint bjc 4300 180dpi Standard "$mode" "$m"
        gutenprint bjc iP4000 600dpi Standard "$mode" "$m"
        gutenprint escp2 c88 360x180dpi Economy "$mode" "$m"
    done
done

{
    printf 'file\ttag\tdriver\tmode\tpages\tcolours\tnote\n'
    printf '%s\n' "${rows[@]}"
} >"$truth"
du -sh "$out" >&2
if ((${#failed[@]})); then
    printf 'failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
