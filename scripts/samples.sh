#!/usr/bin/env bash
# Builds quirometer and counts the bundled sample jobs beside their truth.
# Its build folder is build-samples/ (a Release build of the tool only),
# apart from scripts/test.sh's build/, so neither rebuilds the other.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$src/build-samples
bash "$src/scripts/deps.sh"
[ -x "$out/quirometer" ] || echo "building the tool in $out (once; a few minutes)" >&2
cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j"$(nproc)" --target quirometer_cli >/dev/null
exec "$out/quirometer" samples --dir "$src/samples" "$@"
