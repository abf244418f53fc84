#!/bin/bash
# Counts every job of the driver corpus with the command-line tool, through the
# export (--compatible --pdl TAG) and through the accurate count (the language
# detected), and prints a Markdown table: per tag, how many jobs there are; for
# the export, how many report their true page count, how many agree with every
# field the truth states and how many report what their counter gives by design
# (expected column); for the accurate count, the same against the truth alone.
#
#   scripts/corpus/coverage.sh [path/to/quirometer]
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")/../../tests/corpus" && pwd)
cli=${1:-}
if [[ -z $cli ]]; then
    for c in "$here"/../../build*/quirometer; do
        [[ -x $c ]] && { cli=$c; break; }
    done
fi
[[ -n $cli && -x $cli ]] || { echo "usage: $0 path/to/quirometer (build the quirometer_cli target first)" >&2; exit 2; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
cd "$here"

tags=$(awk -F'\t' 'NR > 1 && !seen[$2]++ { print $2 }' truth.tsv)
export_results=$(mktemp)
accurate_results=$(mktemp)
trap 'rm -f "$export_results" "$accurate_results"' EXIT
for tag in $tags; do
    mapfile -t files < <(awk -F'\t' -v t="$tag" 'NR > 1 && $2 == t { print $1 }' truth.tsv)
    "$cli" count --json --compatible --pdl "$tag" "${files[@]}" 2>/dev/null >>"$export_results" || true
    "$cli" count --json "${files[@]}" 2>/dev/null >>"$accurate_results" || true
done

# truth.tsv first (by header names), then the tool's JSON lines.
awk -F'\t' -v OFS='\t' '
function num(line, key,   m) {   # value of "key":number in a flat JSON line, "" when absent
    if (match(line, "\"" key "\":-?[0-9.e+-]+")) { m = substr(line, RSTART, RLENGTH); sub(/^[^:]*:/, "", m); return m }
    return ""
}
function str(line, key,   m) {
    if (match(line, "\"" key "\":\"[^\"]*\"")) { m = substr(line, RSTART, RLENGTH); sub(/^[^:]*:"/, "", m); sub(/"$/, "", m); return m }
    return ""
}
function same(field, want, got) {
    if (want == "" || want == "-") return 1
    if (got == "") return 0
    if (field ~ /^paper/) return (got - want <= 0.02 && want - got <= 0.02)
    return got + 0 == want + 0
}
FNR == NR {
    if (FNR == 1) { for (i = 1; i <= NF; i++) col[$i] = i; next }
    f = $col["file"]; tagOf[f] = $col["tag"]; expect[f] = $col["expected"]
    for (k = 0; k < 6; k++) truth[f, k] = $(col[field[k]])
    if (!(($col["tag"]) in jobs)) order[++ntags] = $col["tag"]
    jobs[$col["tag"]]++
    next
}
FILENAME == ARGV[3] {   # the accurate count: the truth alone, counted as the language of the job
    f = str($0, "file"); t = tagOf[f]
    if (t == "" || (f in counted2)) next
    counted2[f] = 1
    ok = (str($0, "code") == "0x00000000" && str($0, "pdl") == t)
    for (k = 0; k < 6; k++) got[k] = num($0, field[k])
    aPages[t] += ok && same("pages", truth[f, 0], got[0])
    exact = ok
    for (k = 0; k < 6; k++) if (!same(field[k], truth[f, k], got[k])) exact = 0
    aExact[t] += exact
    next
}
{
    f = str($0, "file"); t = tagOf[f]
    if (t == "" || (f in counted)) next
    counted[f] = 1; nCounted[t]++
    code = str($0, "code")
    for (k = 0; k < 6; k++) got[k] = num($0, field[k])
    # A PDF count that failed wrote pages all ones and zeros elsewhere; the
    # tool shows the error of the reader instead.
    if (code == "0x00000000" && got[0] == "" && str($0, "pdfError") != "") {
        got[0] = 4294967295
        for (k = 1; k < 6; k++) got[k] = 0
    }
    ok = (code == "0x00000000")
    pagesOk = ok && same("pages", truth[f, 0], got[0])
    exact = ok
    for (k = 0; k < 6; k++) if (!same(field[k], truth[f, k], got[k])) exact = 0
    # expected: the truth with the listed fields replaced
    designed = 0
    if (!exact && expect[f] != "") {
        for (k = 0; k < 6; k++) want[k] = truth[f, k]
        wantCode = "0x00000000"
        n = split(expect[f], items, " ")
        for (j = 1; j <= n; j++) {
            split(items[j], kv, "=")
            if (kv[1] == "code") { wantCode = "0x" toupper(substr(kv[2], 3)); continue }
            for (k = 0; k < 6; k++) if (field[k] == kv[1]) want[k] = kv[2]
        }
        designed = (code == wantCode)
        if (designed && code == "0x00000000") for (k = 0; k < 6; k++) if (!same(field[k], want[k], got[k])) designed = 0
    }
    nPages[t] += pagesOk; nExact[t] += exact; nDesigned[t] += designed
    if (!exact && !designed) wrong[t]++
}
END {
    print "| Language (tag) | Jobs | Export: pages right | Export: exactly right | Export: as designed | Export: wrong | Accurate: pages right | Accurate: exactly right |"
    print "|---|---:|---:|---:|---:|---:|---:|---:|"
    for (i = 1; i <= ntags; i++) {
        t = order[i]; n = jobs[t]
        wrong[t] += n - nCounted[t]   # jobs the tool gave no result for
        printf "| %s | %d | %d (%d%%) | %d (%d%%) | %d | %d | %d (%d%%) | %d (%d%%) |\n", t, n, nPages[t],
            100 * nPages[t] / n + 0.5, nExact[t], 100 * nExact[t] / n + 0.5, nDesigned[t], wrong[t] + 0,
            aPages[t], 100 * aPages[t] / n + 0.5, aExact[t], 100 * aExact[t] / n + 0.5
        T += n; P += nPages[t]; E += nExact[t]; D += nDesigned[t]; W += wrong[t]; AP += aPages[t]; AE += aExact[t]
    }
    printf "| all | %d | %d (%d%%) | %d (%d%%) | %d | %d | %d (%d%%) | %d (%d%%) |\n", T, P, 100 * P / T + 0.5, E,
        100 * E / T + 0.5, D, W, AP, 100 * AP / T + 0.5, AE, 100 * AE / T + 0.5
}
BEGIN { split("pages copies color duplex paperWidth paperLength", tmp, " "); for (k = 0; k < 6; k++) field[k] = tmp[k + 1] }
' truth.tsv "$export_results" "$accurate_results"
