#!/usr/bin/env bash
# Cross-builds Quirometer.dll with warnings as errors and checks its tables:
# every ordinal and name, no extra export, an i386 image, system imports only.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$src/build-win32}
objdump=i686-w64-mingw32-objdump
command -v i686-w64-mingw32-g++-win32 >/dev/null || { echo "the MinGW-w64 i686 cross compiler is not installed"; exit 1; }

cmake -S "$src" -B "$out" --toolchain "$src/cmake/mingw-w64-i686.cmake" -DQM_WERROR=ON >/dev/null
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
[ "$arch" = i386 ] || { echo "machine is '$arch', not i386"; fail=1; }

allowed='^(KERNEL32|USER32|msvcrt|ADVAPI32|ntdll)\.dll$'
while read -r name; do
  if ! [[ "$name" =~ $allowed ]]; then echo "imports a non-system DLL: $name"; fail=1; fi
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')

[ $fail = 0 ] && echo "Quirometer.dll: 31 names on 38 ordinal slots, i386, system imports only"
exit $fail
