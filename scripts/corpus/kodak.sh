#!/bin/bash
# The colour masters through c2esp's filter for the ESP C and Hero models
# (c2espC, printer-driver-c2esp), in colour and in mono mode, as CUPS runs
# it: Ghostscript's cups device renders each master to CUPS Raster with the
# Hero 9.1 PPD's colour spaces (8-bit CMY for colour, 8-bit grey for mono)
# and the filter turns the raster into its stream.
#
# Writes tests/corpus/colour/jobs/kodak/ and their rows in
# tests/corpus/colour/gdi.tsv (rows of other tags are kept). Truth: each
# page's colour from the master (pages.tsv), all mono in mono mode. The
# pages are rendered on a Letter sheet at 150 dpi, as the other GDI colour
# jobs, so the jobs stay small (the driver offers 300 and 600 dpi; the
# colour of a page does not depend on it).
set -euo pipefail
export LC_ALL=C

scripts=$(cd "$(dirname "$0")" && pwd)
colour=$(cd "$scripts/../../tests/corpus/colour" && pwd)
filter=/usr/lib/cups/filter/c2espC
[[ -x $filter ]] || apt-get -o DPkg::Lock::Timeout=900 install -y printer-driver-c2esp ghostscript >&2

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ppd=$tmp/hero91.ppd
/usr/lib/cups/daemon/cups-driverd cat drv:///c2espC.drv/KHERO91.ppd >"$ppd" 2>/dev/null

declare -A CPAGES
while IFS=$'\t' read -r m _ color _; do
    [[ $m == master ]] && continue
    CPAGES[$m]+=$([[ $color == 1 ]] && echo C || echo M)
done <"$colour/pages.tsv"

out_dir=$colour/jobs/kodak
rm -rf "$out_dir"
mkdir -p "$out_dir"
rows=()
for m in $(printf '%s\n' "${!CPAGES[@]}" | sort); do
    for mode in colour mono; do
        space=4 want=${CPAGES[$m]}
        [[ $mode == mono ]] && space=3 want=${want//C/M}
        out=$out_dir/$m.c2espC-$mode.kodak
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -dcupsColorSpace=$space -dcupsBitsPerColor=8 -dcupsColorOrder=0 \
            -r150 -g1275x1650 -sOutputFile="$tmp/page.ras" "$colour/masters/$m.ps"
        PPD=$ppd "$filter" 1 census "$m" 1 "" "$tmp/page.ras" >"$out" 2>/dev/null
        rows+=("$(printf '%s\t' "jobs/kodak/${out##*/}" KodakESP \
            "gs -sDEVICE=cups -dcupsColorSpace=$space -dcupsBitsPerColor=8 -r150 -g1275x1650 | c2espC (Hero 9.1)" \
            "$mode" "${#want}" "$want" | sed 's/\t$//')")
    done
done

{
    awk -F'\t' 'NR == 1 || $2 != "KodakESP"' "$colour/gdi.tsv"
    printf '%s\n' "${rows[@]}"
} >"$colour/gdi.tsv.new"
mv "$colour/gdi.tsv.new" "$colour/gdi.tsv"
du -sh "$out_dir"
