#!/usr/bin/env bash
# The accounting tests with the real parts: a private cupsd with driver, raw
# and driverless queues, ippeveprinter (behind D-Bus and Avahi) and a
# PostgreSQL server, each started in a temporary folder and stopped by its
# pid. Installs the Debian packages they need when missing, then runs them
# against a build that holds the accounting backend and the tool:
#   run.sh [BUILD_DIR] [PYTEST OPTION...]        (BUILD_DIR default: build/)
set -euo pipefail
# cupsd's filters and backends run as lp and PostgreSQL as postgres: the
# daemons are started by root.
if [ "$(id -u)" != 0 ] && command -v sudo >/dev/null; then exec sudo -E bash "$0" "$@"; fi
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
[ $# -eq 0 ] || shift
QM_DEPS_DAEMONS=1 bash "$src/scripts/deps.sh"
for f in "$build/accounting/backend/quirometer" "$build/quirometer"; do
  [ -x "$f" ] || { echo "$f is not built: cmake --build $build --target quirometer_cli quirometer_backend" >&2; exit 1; }
done
# Debian's python3 has python3-pytest; another python3 first in PATH may not.
python=
for p in ${QM_PYTHON:-} python3 /usr/bin/python3; do
  if command -v "$p" >/dev/null && "$p" -c "import pytest" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "no python3 with pytest: bash scripts/deps.sh installs python3-pytest" >&2; exit 1; }
export QM_BUILD_DIR=$build PYTHONDONTWRITEBYTECODE=1
cd "$here"
exec "$python" -m pytest -q -rs -p no:cacheprovider "$here" "$@"
