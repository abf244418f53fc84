#!/usr/bin/env bash
# Cross-builds the Windows targets with warnings as errors and checks their
# tables: Quirometer.dll and QuirometerAccurate.dll each against their export
# table (every ordinal and name, no extra export, the number of ordinal
# slots), and for them and quirometer.exe the machine and system imports only.
# usage: check_dll.sh [BUILD_DIR] [i686|x86_64]   (the 64-bit DLLs have the same tables)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
cpu=${2:-i686}
case $cpu in
  i686) machine=i386 bits=32 ;;
  x86_64) machine=i386:x86-64 bits=64 ;;
  *) echo "unknown target $cpu"; exit 2 ;;
esac
out=${1:-$src/build-win$bits}
objdump=$cpu-w64-mingw32-objdump
command -v "$cpu-w64-mingw32-g++-win32" >/dev/null || { echo "the MinGW-w64 $cpu cross compiler is not installed"; exit 1; }

cmake -S "$src" -B "$out" --toolchain "$src/cmake/mingw-w64-$cpu.cmake" -DQM_WERROR=ON >/dev/null
cmake --build "$out" -j2 >/dev/null

fail=0
# check_image FILE ALLOWED_IMPORTS_REGEX: the machine, and nothing imported
# from outside the system.
check_image() {
  local file=$1 allowed=$2 arch name
  [ -f "$file" ] || { echo "no $file"; fail=1; return 1; }
  arch=$($objdump -f "$file" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')
  [ "$arch" = "$machine" ] || { echo "$file: machine is '$arch', not $machine"; fail=1; }
  while read -r name; do
    if ! [[ "$name" =~ $allowed ]]; then echo "$file imports a non-system DLL: $name"; fail=1; fi
  done < <($objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
}

# check_exports DLL TABLE SLOTS: ordinal/name pairs exactly as in TABLE, on
# SLOTS ordinal slots.
check_exports() {
  local dll=$1 table=$2 slots=$3 dump got want found
  dump=$($objdump -p "$dll")
  # objdump lists the name table with 0-based ordinals.
  got=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^\s*\[\s*\([0-9]*\)\] \(.*\)$/\1 \2/p' | awk '{print $1+1, $2}' | sort -n)
  want=$(sort -n "$table")
  if [ "$got" != "$want" ]; then
    echo "$dll: export names differ:"; diff <(echo "$want") <(echo "$got") || true; fail=1
  fi
  found=$(printf '%s\n' "$dump" | sed -n 's/^\s*Export Address Table\s*\([0-9a-fA-F]*\)$/\1/p' | head -n1)
  if [ "$((16#$found))" != "$slots" ]; then echo "$dll: expected $slots ordinal slots, found $((16#$found))"; fail=1; fi
}

system_dlls='^(KERNEL32|USER32|msvcrt|ADVAPI32|ntdll)\.dll$'
if check_image "$out/Quirometer.dll" "$system_dlls"; then
  check_exports "$out/Quirometer.dll" "$src/tests/win32/exports.txt" 38
fi
# The accurate path decodes JPEG images through COM (ole32).
accurate_dlls='^(KERNEL32|USER32|ole32|msvcrt|ADVAPI32|ntdll)\.dll$'
if check_image "$out/QuirometerAccurate.dll" "$accurate_dlls"; then
  check_exports "$out/QuirometerAccurate.dll" "$src/tests/win32/accurate_exports.txt" 8
fi
# The tool also reads its wide command line (SHELL32's CommandLineToArgvW).
check_image "$out/quirometer.exe" '^(KERNEL32|USER32|SHELL32|ole32|msvcrt|ADVAPI32|ntdll)\.dll$' || true

[ $fail = 0 ] && echo "$cpu, $machine, system imports only: Quirometer.dll 31 names on 38 ordinal slots;" \
  "QuirometerAccurate.dll 8 names on 8; quirometer.exe"
exit $fail
