#!/bin/bash
# The host-based GDI streams of Debian's printer drivers that no export
# covers, written by the real drivers of printer-driver-foo2zjs: Ghostscript
# renders a master to raw bitmaps (pbmraw for mono, bitcmyk for colour) and
# the driver turns them into its stream, as the driver's foomatic wrapper
# runs it.
#
# Writes tests/corpus/jobs/<tag>/ with their rows in tests/corpus/truth.tsv
# (rows of other tags are kept), and the jobs of the colour masters under
# tests/corpus/colour/jobs/gdi/ with their truth per page in
# tests/corpus/colour/gdi.tsv.
#
# Truth: pages, paper and colour come from the masters, copies and duplex
# from the options given. Each job is then read back by the driver package's
# own decoder (xqxdecode, lavadecode, opldecode, hbpldecode, ddstdecode;
# m2300w's package has none, and a walk of its blocks written here reads its
# jobs): its page records and each page's colour planes must agree with that
# truth, or the job is not written.
set -euo pipefail
export LC_ALL=C

scripts=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "$scripts/../../tests/corpus" && pwd)
jobs=$corpus/jobs colour=$corpus/colour

need=()
command -v gs >/dev/null || need+=(ghostscript)
command -v foo2xqx >/dev/null || need+=(printer-driver-foo2zjs)
command -v m2300w >/dev/null || need+=(printer-driver-m2300w)
command -v faketime >/dev/null || need+=(faketime)
if ((${#need[@]})); then
    apt-get -o DPkg::Lock::Timeout=900 install -y "${need[@]}" >&2
fi

# shellcheck source=masters_table.sh
. "$scripts/masters_table.sh"

# Colour masters: each page's colour (C or M) and the first page's paper.
declare -A CPAGES
while IFS=$'\t' read -r m page color _; do
    [[ $m == master ]] && continue
    CPAGES[$m]+=$([[ $color == 1 ]] && echo C || echo M)
done <"$colour/pages.tsv"

# The drivers take 600 dpi only. The colour masters' jobs are rendered at
# 150 dpi into a quarter of the sheet's pixels (the page prints small): their
# truth is each page's colour, and the jobs stay small.
dpi=600 render_dpi=600
geometry() { # paper -> WxH pixels at $render_dpi
    local r=$render_dpi
    case $1 in letter) echo "$((85 * r / 10))x$((110 * r / 10))" ;; legal) echo "$((85 * r / 10))x$((140 * r / 10))" ;;
        a4) echo "$((827 * r / 100))x$((1169 * r / 100))" ;; esac
}
# Windows paper codes, as foo2xqx takes them.
xqx_paper() { case $1 in letter) echo 1 ;; legal) echo 5 ;; a4) echo 9 ;; esac; }

rows=() crows=() failed=()

# render master paper colour(0|1) out -- driver and options
# The driver's PJL header stamps the time: faketime pins it.
render() {
    local master=$1 paper=$2 colour=$3 out=$4
    shift 5
    local dev=pbmraw geo
    geo=$(geometry "$paper")
    [[ $colour == 1 ]] && dev=bitcmyk
    gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE=$dev -r$render_dpi -g"$geo" -dFIXEDMEDIA \
        -sOutputFile=- "$master" 2>/dev/null </dev/null |
        faketime -f '2026-01-01 00:00:00' "$@" -r${dpi}x$dpi -g"$geo" >"$out" 2>/dev/null
}

# What xqxdecode reads in a job: pages, copies of page 1, then one letter a
# page, C where the page sends more than one plane (a JBIG header a plane).
xqx_read() {
    xqxdecode <"$1" | awk '
        /^XQX_START_PAGE|^XQX_END_DOC\(2\), [1-9]/ { n++; planes[n] = 0 }
        /XQXI_COPIES/ && n == 1 { copies = $2 + 0 }
        /XQXI_BIH/ { planes[n]++ }
        END { s = ""; for (i = 1; i <= n; i++) s = s (planes[i] > 1 ? "C" : "M"); print n, copies, s }'
}

# What lavadecode reads in a job: pages, copies, then one letter a page, C
# where a colour plane's dot count is above 0.
lava_read() {
    lavadecode <"$1" | awk '
        /COPIES: \[/ && !copies { gsub(/[^0-9]/, "", $NF); copies = $NF + 0 }
        /\[Page [0-9]+\]/ { n++; c[n] = "M" }
        /(YELLOW|MAGENTA|CYAN) DOTS: \[[1-9]/ { c[n] = "C" }
        END { s = ""; for (i = 1; i <= n; i++) s = s c[i]; print n, copies, s }'
}
# What opldecode reads in an OPL job (foo2lava -z1): pages, copies (none in
# the stream: 1), then one letter a page, C where a plane other than black
# (mask 000000) is announced.
opl_read() {
    opldecode <"$1" | awk '
        BEGIN { n = 1 }
        /RasterObject.Planes=/ && !/Planes=000000/ { c[n] = "C" }
        /Event=EndOfPage/ { if (!c[n]) c[n] = "M"; n++ }
        END { s = ""; for (i = 1; i < n; i++) s = s c[i]; print n - 1, 1, s }'
}

# What a walk of m2300w's blocks reads: pages, copies of page 1, then one
# letter a page, C where the page sends a raster block of a colour plane.
m2300w_read() {
    python3 - "$1" <<'EOF'
import sys
d = open(sys.argv[1], "rb").read()
i, s, copies = 0, "", 0
while i + 6 <= len(d) and d[i] == 0x1B:
    t, n = d[i + 1], d[i + 3] | d[i + 4] << 8
    body = d[i + 6:i + 6 + n]
    if i + 6 + n >= len(d) or sum(d[i:i + 6 + n]) & 255 != d[i + 6 + n]:
        break
    i += 7 + n
    if t == 0x51:
        s += "M"
        copies = copies or body[1]
    elif t == 0x52:
        i += int.from_bytes(body[:4], "little")
        if body[4]:
            s = s[:-1] + "C"
print(len(s), copies, s)
EOF
}

# Paper codes, as foo2lava takes them.
lava_paper() { case $1 in letter) echo 2 ;; legal) echo 3 ;; a4) echo 26 ;; esac; }

# What hbpldecode reads in a job: pages, copies (PJL), then one letter a
# page, C where the page start says it sends colour planes.
hbpl_read() {
    hbpldecode <"$1" | awk '
        /@PJL SET COPIES=/ { split($0, a, "="); copies = a[2] + 0 }
        /\[Page Start\]/ { n++ }
        /w,h = .*color = / { c[n] = ($NF == 1 ? "C" : "M") }
        END { s = ""; for (i = 1; i <= n; i++) s = s c[i]; print n, copies, s }'
}
hbpl_paper() { case $1 in letter) echo 4 ;; legal) echo 7 ;; a4) echo 1 ;; esac; }

# What ddstdecode reads in a job: pages, copies of page 1, then one letter a
# page (M: the stream has one plane).
ddst_read() {
    ddstdecode <"$1" 2>/dev/null | tr -d '\r' | awk '
        /@PJL SET COPIES=/ && n == 0 { split($0, a, "="); copies = a[2] + 0 }
        /@PJL SET PAGESTATUS=END/ { n++ }
        END { s = ""; for (i = 1; i <= n; i++) s = s "M"; print n, copies, s }'
}
ddst_paper() { case $1 in letter) echo 1 ;; legal) echo 2 ;; a4) echo 5 ;; esac; }

# driver_job tag driver ext reader master variant copies duplex colour(0|1) -- driver options
# The job is written when the driver's own decoder (reader) reads the pages
# and copies the master and options give.
driver_job() {
    local tag=$1 drv=$2 ext=$3 reader=$4 m=$5 variant=$6 copies=$7 duplex=$8 col=$9
    shift 10
    local dir=$jobs/${tag,,} out paper=${PAPER[$m]}
    mkdir -p "$dir"
    out="$dir/$m.$drv${variant:+-$variant}.$ext"
    local opts=(-p"$("${ext}_paper" "$paper")" "$@")
    [[ $col == 1 ]] && opts+=(-c)
    render "$corpus/masters/$m.ps" "$paper" "$col" "$out" -- "$drv" "${opts[@]}" || true
    local want="${PAGES[$m]} $copies" got
    got=$("$reader" "$out" | cut -d' ' -f1,2)
    if [[ ! -s $out || $got != "$want" ]]; then
        failed+=("$out: the driver's decoder reads '$got', the master and options say '$want'")
        rm -f "$out"
        return 0
    fi
    rows+=("$(printf '%s\t' "jobs/${tag,,}/${out##*/}" "$tag" "gs -sDEVICE=$([[ $col == 1 ]] && echo bitcmyk || echo pbmraw) -r$render_dpi | $drv ${opts[*]}" \
        "${PAGES[$m]}" "$copies" "$duplex" "$([[ $col == 1 ]] && echo "${COLOR[$m]}" || echo 0)" \
        "$(width "$paper")" "$(length "$paper")" "" "")")
}

# A raster stream's page is colour when the driver sends a dot on a colour
# plane. Ghostscript's CMYK rendering of an RGB grey image (grey-images-2)
# puts dots on all three colour planes, which the printer prints with colour
# toner: in colour mode those pages are colour, whatever the master is.
declare -A RASTER_COLOUR=([grey-images-2]=CC)

# colour_job tag master mode(colour|mono) reader -- driver and options
cjobs=$colour/jobs/gdi
colour_job() {
    local tag=$1 m=$2 mode=$3 reader=$4
    shift 5
    local want=${RASTER_COLOUR[$m]:-${CPAGES[$m]}} col=1 out
    [[ $mode == mono ]] && want=${CPAGES[$m]//C/M} col=0
    mkdir -p "$cjobs"
    out="$cjobs/$m.$1-$mode.${tag,,}"
    # Colour as the foomatic wrapper's ICM mode renders it: -A -B keep black
    # dots off the colour planes.
    render "$colour/masters/$m.ps" letter "$col" "$out" -- "$@" || true
    local got
    got=$("$reader" "$out" | cut -d' ' -f3)
    if [[ ! -s $out || $got != "$want" ]]; then
        failed+=("$out: the decoder reads '$got', the master says '$want'")
        rm -f "$out"
        return 0
    fi
    crows+=("$(printf '%s\t' "jobs/gdi/${out##*/}" "$tag" "gs -sDEVICE=$([[ $col == 1 ]] && echo bitcmyk || echo pbmraw) -r$render_dpi -g1275x1650 | $*" \
        "$mode" "${#want}" "$want")")
}

# --- XQX (foo2xqx) ------------------------------------------------------------
# A two-sided job is printed by hand: fronts first, backs after. An odd page
# count gets a blank back side from the driver, so the two-sided job here has
# an even one.
rm -rf "$jobs/xqx"
driver_job XQX foo2xqx xqx xqx_read letter-memo-1 "" 1 0 0 --
driver_job XQX foo2xqx xqx xqx_read a4-report-3 copies2 2 0 0 -- -n2
driver_job XQX foo2xqx xqx xqx_read a4-report-3 colour 1 0 1 --
driver_job XQX foo2xqx xqx xqx_read letter-drawings-4 duplex 1 1 0 -- -d2
driver_job XQX foo2xqx xqx xqx_read legal-posters-2 colour-copies3 3 0 1 -- -n3
driver_job XQX foo2xqx xqx xqx_read letter-memo-1 noplanes 1 0 0 -- -P

# --- LAVAFLOW (foo2lava): the 2530DL (-z0) and 1600W (-z2) models ------------------
rm -rf "$jobs/lavaflow"
render_dpi=300
driver_job LAVAFLOW foo2lava lava lava_read letter-memo-1 "" 1 0 0 --
driver_job LAVAFLOW foo2lava lava lava_read a4-report-3 colour-copies2 2 0 1 -- -n2
driver_job LAVAFLOW foo2lava lava lava_read letter-drawings-4 duplex 1 1 0 -- -d2
driver_job LAVAFLOW foo2lava lava lava_read legal-posters-2 colour-1600w 1 0 1 -- -z2

# --- HBPL version 2 (foo2hbpl2) ----------------------------------------------------
# foo2hbpl2 sends "@PJL SET DUPLEX=OFF" whatever -d asks (-d only turns the
# even pages for manual duplex): no two-sided job is written.
rm -rf "$jobs/hbpl"
driver_job HBPL foo2hbpl2 hbpl hbpl_read letter-memo-1 "" 1 0 0 --
driver_job HBPL foo2hbpl2 hbpl hbpl_read a4-report-3 colour-copies2 2 0 1 -- -n2
driver_job HBPL foo2hbpl2 hbpl hbpl_read legal-posters-2 colour 1 0 1 --
render_dpi=600

# --- DDST (foo2ddst) ---------------------------------------------------------------
# Black and white, 600 dpi only; -d only turns even pages for manual duplex.
rm -rf "$jobs/ddst"
driver_job DDST foo2ddst ddst ddst_read letter-memo-1 "" 1 0 0 --
driver_job DDST foo2ddst ddst ddst_read letter-memo-1 copies2 2 0 0 -- -n2

rm -rf "$cjobs"
render_dpi=150
for m in "${!CPAGES[@]}"; do
    colour_job XQX "$m" colour xqx_read -- foo2xqx -p1 -c -A -B
    colour_job XQX "$m" mono xqx_read -- foo2xqx -p1
    colour_job LAVAFLOW "$m" colour lava_read -- foo2lava -p2 -c -A -B
    colour_job LAVAFLOW "$m" mono lava_read -- foo2lava -p2
    colour_job OPL "$m" colour opl_read -- foo2lava -z1 -pna_letter_8.5x11in -c -A -B
    colour_job OPL "$m" mono opl_read -- foo2lava -z1 -pna_letter_8.5x11in
    colour_job HBPL "$m" colour hbpl_read -- foo2hbpl2 -p4 -c -A -B
    colour_job HBPL "$m" mono hbpl_read -- foo2hbpl2 -p4
done

# --- m2300w (magicolor 2300W): its colour masters ------------------------------
# The driver takes 1200x600 dpi, a letter page 10 MB of raster: the masters
# are rendered at 300x150 dpi, a quarter of it each way (the page prints
# a quarter of its size), as the driver's wrapper feeds it (pksmraw for colour, pbmraw for
# mono). Letter is its paper code 27.
# m2300w has no switch that keeps black off the colour planes: the rich
# black page is printed with colour toner too, so in colour mode it is
# colour, as the grey images are.
declare -A M2300W_COLOUR=([grey-images-2]=CC [rich-black-2]=CC)
for m in "${!CPAGES[@]}"; do
    for mode in colour mono; do
        want=${M2300W_COLOUR[$m]:-${CPAGES[$m]}} dev=pksmraw c=2
        [[ $mode == mono ]] && want=${want//C/M} dev=pbmraw c=1
        out="$cjobs/$m.m2300w-$mode.m2300w"
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=$dev -r300x150 -g2550x1650 -dFIXEDMEDIA -sOutputFile=- \
            "$colour/masters/$m.ps" 2>/dev/null </dev/null | m2300w -p 27 -i - -o - -c $c -r 2 >"$out" 2>/dev/null || true
        got=$(m2300w_read "$out" | cut -d' ' -f3)
        if [[ ! -s $out || $got != "$want" ]]; then
            failed+=("$out: the block walk reads '$got', the master says '$want'")
            rm -f "$out"
            continue
        fi
        crows+=("$(printf '%s\t' "jobs/gdi/${out##*/}" M2300W \
            "gs -sDEVICE=$dev -r300x150 -g2550x1650 | m2300w -p 27 -c $c -r 2" "$mode" "${#want}" "$want")")
    done
done

# --- the truth files ------------------------------------------------------------
own='$2 != "XQX" && $2 != "LAVAFLOW" && $2 != "HBPL" && $2 != "DDST"'
{
    awk -F'\t' "NR == 1 || ($own)" "$corpus/truth.tsv"
    printf '%s\n' "${rows[@]}" | sed 's/\t$//'
} >"$corpus/truth.tsv.new"
mv "$corpus/truth.tsv.new" "$corpus/truth.tsv"
{
    printf 'file\ttag\tdriver\tmode\tpages\tcolours\n'
    printf '%s\n' "${crows[@]}" | sed 's/\t$//' | sort
} >"$colour/gdi.tsv"

echo "gdi: ${#rows[@]} corpus jobs, ${#crows[@]} colour jobs, $(du -shc "$jobs"/xqx "$jobs"/lavaflow "$jobs"/hbpl "$jobs"/ddst "$cjobs" | tail -1 | cut -f1)" >&2
if ((${#failed[@]})); then
    printf 'jobs not written:\n' >&2
    printf '  %s\n' "${failed[@]}" >&2
    exit 1
fi
