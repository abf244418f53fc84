#!/usr/bin/env bash
# The 64-bit Windows build under wine64 against the Linux build, on the same
# files:
#  1. Quirometer.dll and the Linux library through every export, with one host
#     program (host.c): their output must be identical byte for byte.
#  2. QuirometerAccurate.dll and the Linux library through the accurate API
#     (accurate_host.c: detection, the count, every page), the DLL through its
#     UTF-16 entry points and, where the code page can spell the path, the
#     ANSI ones as well: identical byte for byte.
#  3. quirometer.exe and the Linux tool: count, detect, the compatible count,
#     folders with -r, --files-from, standard input and the samples, in JSON,
#     compared field for field; paths differ only by Windows' separator.
# Files: every corpus job (the colour jobs too), sample and fuzzing seed, a
# missing file, a missing folder, a folder, an empty file, and for 2 and 3 a
# job in a folder with a non-ASCII name and one whose path is longer than
# MAX_PATH. The encrypted PDFs of without_qpdf.txt are checked on their own
# (see there).
# usage: compare.sh [LINUX_BUILD_DIR] [WIN64_BUILD_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=${1:-$src/build}
win_build=${2:-$src/build-win64}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine64 is not installed ($wine)"; exit 1; }
start=$(date +%s)
step() { echo "[$(( $(date +%s) - start ))s] $1"; }

step "64-bit DLLs and quirometer.exe: build and tables"
bash "$src/tests/win32/check_dll.sh" "$win_build" x86_64
win_build=$(cd "$win_build" && pwd)

step "Linux library and tool"
[ -f "$linux_build/CMakeCache.txt" ] ||
  cmake -S "$src" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build "$linux_build" -j2 --target quirometer quirometer_cli >/dev/null
linux_build=$(cd "$linux_build" && pwd)
linux_lib=$linux_build/libquirometer.so
linux_cli=$linux_build/quirometer

work=$(mktemp -d)
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# A UTF-8 locale, so that wine hands non-ASCII arguments to the program intact.
export LC_ALL=C.UTF-8
# At exit, stop only this run's wine server, found by its prefix.
trap '{ [ -d "$WINEPREFIX" ] && /usr/lib/wine/wineserver -k 2>/dev/null; } || true; rm -rf "$work"' EXIT
win() { timeout 600 "$wine" "$@"; }

step "host programs, Linux and Windows"
cflags=(-std=c11 -O2 -Wall -Wextra -Werror -I"$src/include")
gcc "${cflags[@]}" -o "$work/host" "$src/tests/win32/host.c" -ldl
gcc "${cflags[@]}" -o "$work/accurate_host" "$src/tests/win32/accurate_host.c" -ldl
# Beside the DLLs: LoadLibraryA finds them in the program's folder.
x86_64-w64-mingw32-gcc-win32 "${cflags[@]}" -o "$win_build/host.exe" "$src/tests/win32/host.c"
x86_64-w64-mingw32-gcc-win32 "${cflags[@]}" -o "$win_build/accurate_host.exe" "$src/tests/win32/accurate_host.c"
x86_64-w64-mingw32-g++-win32 -std=c++20 -O2 -Wall -Wextra -Werror -municode -static -I"$src/include" -I"$src/src" \
  -o "$work/longform_test.exe" "$src/tests/win32/longform_test.cpp" "$src/src/jobfile/platform_win32.cpp"

# Both sides run in the work folder and open the same relative paths, so the
# counters that echo a path echo the same text.
cd "$work"
ln -s "$src" src
mkdir folder
: >empty.prn
{
  roots=(src/tests/corpus/jobs src/samples src/fuzz/seeds)
  [ -d src/tests/corpus/colour/jobs ] && roots+=(src/tests/corpus/colour/jobs)
  find -L "${roots[@]}" -type f | LC_ALL=C sort
  printf '%s\n' missing.prn no-such-folder/job.prn folder empty.prn
} | grep -vxF -f <(grep -v '^#' "$src/tests/win32/without_qpdf.txt") >list
files=$(wc -l <list)
# A folder and a file whose names need more than any ANSI code page, and a
# path of more than MAX_PATH (260) characters.
special="jobs-ü/Büro 打印 €"
mkdir -p "$special"
cp src/samples/letter-memo-1.ljet4pjl-copies3.pcl "$special/Jöb – ß.pcl"
cp src/samples/legal-posters-2.pxlcolor.pxl "$special/ποστερ.pxl"
deep=long
for i in 1 2 3 4 5; do deep=$deep/$(printf 'folder%.0s' $(seq 10))$i; done
mkdir -p "$deep"
cp src/samples/a4-report-3.ljet4d-duplex.pcl "$deep/job.pcl"
{ cat list; find "$special" "$deep" -type f | LC_ALL=C sort; } >list-all
[ "$(tail -n 1 list-all | wc -c)" -gt 300 ] || { echo "the long path is not longer than MAX_PATH"; exit 1; }

step "1. the exports: Linux, $files files"
"$work/host" "$linux_lib" src/tests/win32/exports.txt <list >linux.out ||
  { echo "the Linux host failed (status $?)"; exit 1; }

step "a wine prefix for this run"
# Wine's first start now and then fails to build a new prefix (kernel32.dll
# is not loaded); a second start from an empty prefix builds it.
for try in 1 2; do
  win wineboot --init >wineboot.log 2>&1 && break
  [ "$try" = 2 ] && { echo "wine could not build its prefix:"; tail -n 20 wineboot.log; exit 1; }
  echo "wine could not build its prefix; once more from an empty one"
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
done

step "1. the exports: Windows under wine64"
win "$win_build/host.exe" Quirometer.dll src/tests/win32/exports.txt <list >windows.out 2>wine.err ||
  { echo "the Windows host failed (status $?):"; tail -n 20 wine.err; exit 1; }

records=$(grep -ao " [A-Za-z0-9_]* code=[0-9A-F]\{8\} pages=" linux.out | wc -l)
lines=$(wc -l <linux.out)
if ! cmp -s linux.out windows.out; then
  echo "Linux and Windows differ (< Linux, > Windows):"
  diff -a linux.out windows.out | head -n 60
  echo "$(diff -a linux.out windows.out | grep -c '^[<>]') differing lines"
  exit 1
fi
counters=$(grep -c ' GetTotalPageCount_' "$src/tests/win32/exports.txt")
[ "$records" = $((files * counters)) ] || { echo "expected $((files * counters)) records, found $records"; exit 1; }
head -n 2 linux.out
step "1. identical: $records records ($files files x $counters exports), the version, and $((lines - records - 2)) more lines of the counters' own output and diagnostics"

step "2. the \\\\?\\ form of long UTF-16 paths"
win "$work/longform_test.exe" "$deep/job.pcl"

step "2. the accurate API: Linux and Windows, $(wc -l <list-all) files"
"$work/accurate_host" "$linux_lib" src/tests/win32/accurate_exports.txt <list-all >accurate-linux.out ||
  { echo "the Linux accurate host failed (status $?)"; exit 1; }
win "$win_build/accurate_host.exe" QuirometerAccurate.dll src/tests/win32/accurate_exports.txt <list-all \
  >accurate-windows.out 2>wine.err || { echo "the Windows accurate host failed (status $?):"; tail -n 20 wine.err; exit 1; }
if ! cmp -s accurate-linux.out accurate-windows.out; then
  echo "Linux and Windows differ (< Linux, > Windows):"
  diff -a accurate-linux.out accurate-windows.out | head -n 40
  exit 1
fi
counted=$(grep -c ' count=00000000 ' accurate-linux.out || true)
pages=$(grep -o ' [0-9]*:[0-2]/[0-2]/' accurate-linux.out | wc -l)
step "2. identical: $(($(wc -l <accurate-linux.out) - 1)) files ($counted counted, $pages pages through the callback), UTF-16 and ANSI paths agreeing"

step "3. quirometer.exe against the Linux tool"
# compare NAME ARGS...: both tools with the same arguments (and standard
# input from the file $input); the same exit status, the same JSON.
compare() {
  local name=$1 a b in=${input:-/dev/null}
  shift
  a=0; "$linux_cli" "$@" <"$in" >"$name.linux" 2>/dev/null || a=$?
  b=0; win "$win_build/quirometer.exe" "$@" <"$in" >"$name.windows" 2>"$name.err" || b=$?
  [ "$a" = "$b" ] || { echo "$name: exit status $a on Linux, $b on Windows"; tail -n 5 "$name.err"; exit 1; }
  echo "  $name: $* (exit status $a)"
  python3 "$src/tests/win32/compare_json.py" "$name.linux" "$name.windows"
}
compare count count --json --total -j 4 --files-from list-all
compare detect detect --json -j 4 --files-from list-all
compare compatible count --json --pdl PDF --compatible -j 4 --files-from list-all
compare compatible-escp count --json --pdl ESCP2 --compatible -j 3 --files-from list
compare folders count --json --total -r src/samples jobs-ü long
compare one-worker count --json -j 1 "$special/Jöb – ß.pcl" "$deep/job.pcl"
input=src/samples/legal-posters-2.foo2hiperc.hiperc compare stdin count --json -
compare samples samples --json
[ "$(grep -c . count.linux)" -gt 400 ] || { echo "too few jobs were counted"; exit 1; }

step "encrypted PDFs: counted on Linux, refused as encrypted on Windows"
while read -r f; do
  [ -z "$f" ] || [ "${f:0:1}" = "#" ] && continue
  [ -f "$f" ] || { echo "$f is missing"; exit 1; }
  l=$("$linux_cli" count --json "$f" 2>/dev/null || true)
  w=$(win "$win_build/quirometer.exe" count --json "$f" 2>/dev/null || true)
  case "$l|$w" in
    *'"code":"0x00000000"'*'|'*'"code":"0x80040202"'*) echo "  $f: as expected" ;;
    *) echo "$f: expected a count on Linux and 0x80040202 on Windows:"; echo "  $l"; echo "  $w"; exit 1 ;;
  esac
done <"$src/tests/win32/without_qpdf.txt"
step "all agree"
