#!/usr/bin/env bash
# Builds quirometer and counts the bundled sample jobs beside their truth.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
bash "$src/scripts/deps.sh"
cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$src/build" -j"$(nproc)" --target quirometer_cli >/dev/null
exec "$src/build/quirometer" samples --dir "$src/samples" "$@"
