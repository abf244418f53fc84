#!/bin/bash
# Prints the colour masters through Ghostscript's PCL XL and PCL drivers, in
# colour and in mono mode, into tests/corpus/colour/jobs/pcl/, and writes the
# truth per page into tests/corpus/colour/pcl.tsv: a page prints colour when
# its master's page does and the queue prints colour; a mono queue prints
# every page mono. Resolutions are low and colour conversion plain
# (-dUseFastColor=true) to keep the jobs small.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
colour="$root/tests/corpus/colour"
out="$colour/jobs/pcl"
truth="$colour/pcl.tsv"
command -v gs >/dev/null || { echo "needs Ghostscript (apt-get install ghostscript)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
printf 'file\ttag\tdriver\tmode\tpages\tcolours\n' >"$truth"

# The master's pages as M and C letters, from pages.tsv.
letters() { awk -F'\t' -v m="$1" '$1==m { printf "%s", ($3=="1" ? "C" : "M") }' "$colour/pages.tsv"; }

# job TAG DEVICE SUFFIX MODE MASTERS -- gs options
job() {
    local tag=$1 dev=$2 suffix=$3 mode=$4 masters=$5 ext=pcl; shift 6
    [ "$tag" = PCLXL ] && ext=pxl
    for m in $masters; do
        local name="$m.$dev${suffix:+-$suffix}.$ext" want
        gs -q -dSAFER -dBATCH -dNOPAUSE -dUseFastColor=true -sDEVICE="$dev" "$@" \
            -sOutputFile="$out/$name" "$colour/masters/$m.ps" </dev/null >/dev/null
        want=$(letters "$m")
        [ "$mode" = mono ] && want=${want//C/M}
        printf 'jobs/pcl/%s\t%s\tgs -sDEVICE=%s %s\t%s\t%d\t%s\n' "$name" "$tag" "$dev" "$*" "$mode" "${#want}" "$want" >>"$truth"
    done
}

all="mono-text-3 one-mark-5 grey-images-2 photo-2 rich-black-2 mixed-paper-3"
# PCL XL: RGB images run-length coded (the default), as JPEG and as delta rows.
job PCLXL pxlcolor "" colour "$all" -- -r75
job PCLXL pxlcolor jpeg colour "one-mark-5 grey-images-2 photo-2" -- -r75 -dCompressMode=2
job PCLXL pxlcolor deltarow colour "grey-images-2 photo-2" -- -r75 -dCompressMode=3
job PCLXL pxlmono "" mono "$all" -- -r75
# PCL: three planes of a colour laser (no A3 tray), the KCMY planes of an
# inkjet, its grey mode, four configured components with two-bit colour
# planes, and a mono laser.
job PCL cljet5 "" colour "mono-text-3 one-mark-5 grey-images-2 photo-2 rich-black-2" -- -r75
job PCL cdj550 "" colour "$all" -- -r75
job PCL cdj550 grey mono "photo-2 rich-black-2" -- -r75 -dBitsPerPixel=8
job PCL cdj970 draft colour "one-mark-5 rich-black-2 mixed-paper-3" -- -r300 -dQuality=-1
job PCL ljet4 "" mono "$all" -- -r75
du -sh "$out"
