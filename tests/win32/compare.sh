#!/usr/bin/env bash
# The 64-bit DLL under wine64 and the Linux library count the same files with
# every export through the same host (host.c): their output (a line per record,
# and what the counters print) must be identical. Files: every corpus job,
# sample and fuzzing seed, a missing file, a missing folder, a folder, an empty file.
# usage: compare.sh [LINUX_BUILD_DIR] [WIN64_BUILD_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=${1:-$src/build}
win_build=${2:-$src/build-win64}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine64 is not installed ($wine)"; exit 1; }
start=$(date +%s)
step() { echo "[$(( $(date +%s) - start ))s] $1"; }

step "64-bit DLL: build and export table"
bash "$src/tests/win32/check_dll.sh" "$win_build" x86_64
win_build=$(cd "$win_build" && pwd)

step "Linux library"
[ -f "$linux_build/CMakeCache.txt" ] ||
  cmake -S "$src" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON >/dev/null
cmake --build "$linux_build" -j2 --target quirometer >/dev/null
linux_lib=$(cd "$linux_build" && pwd)/libquirometer.so

work=$(mktemp -d)
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# At exit, stop only this run's wine server, found by its prefix.
trap '{ [ -d "$WINEPREFIX" ] && /usr/lib/wine/wineserver -k 2>/dev/null; } || true; rm -rf "$work"' EXIT

step "host program, Linux and Windows"
cflags=(-std=c11 -O2 -Wall -Wextra -Werror -I"$src/include")
gcc "${cflags[@]}" -o "$work/host" "$src/tests/win32/host.c" -ldl
# Beside the DLL: LoadLibraryA finds it in the program's folder.
x86_64-w64-mingw32-gcc-win32 "${cflags[@]}" -o "$win_build/host.exe" "$src/tests/win32/host.c"

# Both sides run in the work folder and open the same relative paths, so the
# counters that echo a path echo the same text.
cd "$work"
ln -s "$src" src
mkdir folder
: >empty.prn
{
  find -L src/tests/corpus/jobs src/samples src/fuzz/seeds -type f | LC_ALL=C sort
  printf '%s\n' missing.prn no-such-folder/job.prn folder empty.prn
} >list
files=$(wc -l <list)

step "Linux: $files files"
"$work/host" "$linux_lib" src/tests/win32/exports.txt <list >linux.out ||
  { echo "the Linux host failed (status $?)"; exit 1; }

step "Windows under wine64: $files files (the first start builds the prefix)"
timeout 400 "$wine" "$win_build/host.exe" Quirometer.dll src/tests/win32/exports.txt <list >windows.out 2>wine.err ||
  { echo "the Windows host failed (status $?):"; tail -n 20 wine.err; exit 1; }

step "comparison"
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
step "identical: $records records ($files files x $counters exports), the version, and $((lines - records - 2)) more lines of the counters' own output and diagnostics"
