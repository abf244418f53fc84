#!/usr/bin/env bash
# Cross-builds Quirometer.dll with warnings as errors and checks its tables: every
# ordinal and name, no extra export, the machine, system imports only.
# usage: check_dll.sh [BUILD_DIR] [i686|x86_64]   (the 64-bit DLL has the same table)
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
dll="$out/Quirometer.dll"
[ -f "$dll" ] || { echo "no $dll"; exit 1; }

fail=0
dump=$($objdump -p "$dll")

# Ordinal/name pairs: objdump lists the name table with 0-based ordinals.
got=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^\s*\[\s*\([0-9]*\)\] \(.*\)$/\1 \2/p' | awk '{print $1+1, $2}' | sort -n)
want=$(sort -n "$src/tests/win32/exports.txt")
if [ "$got" != "$want" ]; then
  echo "export names differ:"; diff <(echo "$want") <(echo "$got") || true; fail=1
fi
slots=$(printf '%s\n' "$dump" | sed -n 's/^\s*Export Address Table\s*\([0-9a-fA-F]*\)$/\1/p' | head -n1)
if [ "$((16#$slots))" != 38 ]; then echo "expected 38 ordinal slots, found $((16#$slots))"; fail=1; fi

arch=$($objdump -f "$dll" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')
[ "$arch" = "$machine" ] || { echo "machine is '$arch', not $machine"; fail=1; }

allowed='^(KERNEL32|USER32|msvcrt|ADVAPI32|ntdll)\.dll$'
while read -r name; do
  if ! [[ "$name" =~ $allowed ]]; then echo "imports a non-system DLL: $name"; fail=1; fi
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')

[ $fail = 0 ] && echo "Quirometer.dll ($cpu): 31 names on 38 ordinal slots, $machine, system imports only"
exit $fail
