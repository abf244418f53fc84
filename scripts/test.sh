#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite in
# stages: unit and conformance tests with the real-driver corpus and the CLI,
# the cross-built Windows DLL's tables, the installed library's consumers and
# the Python package. Prints the build's progress, and at the end how long
# each stage took. Its build folder is build/ (QM_BUILD_DIR to change it),
# apart from scripts/samples.sh's, so neither rebuilds the other.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${QM_BUILD_DIR:-$src/build}
jobs=$(nproc)

times=()
failed=()
current=
started=$(date +%s)
mark=$started
stage() {  # ends the running stage and starts the next one ("" for none)
  local now
  now=$(date +%s)
  [ -z "$current" ] || times+=("$(printf '%-44s %5ds' "$current" $((now - mark)))")
  current=$1
  mark=$now
  [ -z "$1" ] || printf '\n=== %s\n' "$1"
}
check() {  # a test stage: on failure the later stages still run
  "$@" || failed+=("$current")
}
summary() {
  local status=$? stopped=$current
  stage ""
  printf '\n=== time per stage\n'
  printf '  %s\n' "${times[@]}"
  printf '  %-44s %5ds\n' total $(($(date +%s) - started))
  [ "$status" = 0 ] || [ ${#failed[@]} -gt 0 ] || failed=("$stopped")
  [ ${#failed[@]} = 0 ] || { printf 'FAILED: %s\n' "${failed[@]}"; exit 1; }
}
trap summary EXIT

stage "dependencies"
bash "$src/scripts/deps.sh"
stage "configure ($out)"
cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON "$@" >/dev/null
stage "build"
cmake --build "$out" -j"$jobs"
cd "$out"
stage "unit, conformance, corpus and CLI tests"
check ctest --output-on-failure -j"$jobs" -E '^(Win32Dll|Install|Python)\.'
stage "Windows DLL: cross-build and tables"
check ctest --output-on-failure -R '^Win32Dll\.'
stage "install, pkg-config, find_package, .deb"
check ctest --output-on-failure -R '^Install\.'
stage "Python package"
check ctest --output-on-failure -R '^Python\.'
