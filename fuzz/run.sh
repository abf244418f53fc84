#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each for SECONDS seconds, seeded from the real-driver
# corpus, the samples and the unit tests' saved inputs.
#   fuzz/run.sh [SECONDS] [TAG...]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift || true
out=${QM_FUZZ_BUILD:-$src/build-fuzz}

need=()
command -v clang++ >/dev/null || need+=(clang)
dpkg -s libfuzzer-14-dev >/dev/null 2>&1 || need+=(libfuzzer-14-dev)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake -S "$src" -B "$out" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_BUILD_FUZZ=ON -DQM_SANITIZE=ON -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j2 --target quirometer_cli >/dev/null
tags=("$@")
# Every counter on its own, then fuzz_all, whose first byte picks the counter,
# then detection and the accurate count (seeded from every job), then the
# colour passes of the raster streams, of PCL, and of PDF and PostScript (each
# seeded from its colour-truth jobs).
[ ${#tags[@]} -eq 0 ] && tags=($("$out/quirometer" list | awk '{print $1}') all detect accurate colour pcl_colour pspdf_colour)
cmake --build "$out" -j2 --target $(printf 'fuzz_%s ' "${tags[@]}") >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
summary=""
for tag in "${tags[@]}"; do
  work="$out/corpus-$tag"
  mkdir -p "$work"
  # Seeds: the jobs of this tag in the corpus and the samples (small ones
  # only), and the saved regression inputs of fuzz/seeds/TAG.
  for truth in "$src/tests/corpus/truth.tsv" "$src/samples/truth.tsv" "$src/tests/corpus/colour/streams.tsv"; do
    [ -f "$truth" ] || continue
    awk -F'\t' -v t="$tag" 'NR>1 && (tolower($2)==tolower(t) || t=="detect" || t=="accurate" || (t=="colour" && FILENAME ~ /streams.tsv$/)){print $1}' "$truth" | while IFS= read -r f; do
      job="$(dirname "$truth")/$f"
      [ -f "$job" ] && [ "$(stat -c %s "$job")" -le 262144 ] && cp -n "$job" "$work/" 2>/dev/null || true
    done
  done
  if [ "$tag" = pspdf_colour ]; then
    # The first byte picks the language: 1 PDF, 0 PostScript.
    for job in "$src"/tests/corpus/colour/jobs/pspdf/*; do
      [ "$(stat -c %s "$job")" -le 262144 ] || continue
      case $job in *.pdf) lead='\x01' ;; *) lead='\x00' ;; esac
      { printf "$lead"; cat "$job"; } >"$work/$(basename "$job")"
    done
  fi
  # The PCL colour pass: the PCL and PCL XL jobs of the corpus and the colour truth jobs.
  if [ "$tag" = pcl_colour ]; then
    find "$src/tests/corpus/jobs/pcl" "$src/tests/corpus/jobs/pclxl" "$src/tests/corpus/colour/jobs/pcl" -type f -size -256k \
      -exec cp -n {} "$work/" \; 2>/dev/null || true
  fi
  seeds=()
  [ -d "$src/fuzz/seeds/$tag" ] && seeds+=("$src/fuzz/seeds/$tag")
  if [ "$tag" = detect ] || [ "$tag" = accurate ]; then
    for d in "$src"/fuzz/seeds/*/; do seeds+=("${d%/}"); done
  fi
  log="$out/fuzz-$tag.log"
  # One second per input for the exports' scans; the accurate count may
  # inflate a PDF's streams up to its caps (512 MiB a document), which takes
  # longer than a second but stays bounded.
  timeout=1
  [ "$tag" = accurate ] || [ "$tag" = pspdf_colour ] && timeout=5
  if "$out/fuzz/fuzz_$tag" -max_total_time="$secs" -timeout="$timeout" -rss_limit_mb=2048 -max_len=262144 \
       -print_final_stats=1 -artifact_prefix="$out/crash-$tag-" "$work" "${seeds[@]}" >"$log" 2>&1; then
    result=ok
  else
    result=FINDING; status=1
    tail -n 40 "$log"
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  summary+=$(printf '%-14s %-8s %s executions\n' "$tag" "$result" "${execs:-?}")$'\n'
done
printf '%s' "$summary"
exit $status
