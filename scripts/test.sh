#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite:
# unit and conformance tests, the real-driver corpus, the CLI, the installed
# library's consumers and the cross-built Windows DLL's tables.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${QM_BUILD_DIR:-$src/build}
bash "$src/scripts/deps.sh"
cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON "$@" >/dev/null
cmake --build "$out" -j"$(nproc)"
cd "$out"
ctest --output-on-failure -j"$(nproc)"
