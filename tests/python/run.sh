#!/usr/bin/env bash
# Runs the Python package's tests against a built library:
#   run.sh LIBRARY [PYTEST OPTION...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
python=
for p in ${QM_PYTHON:-} python3 /usr/bin/python3; do
  if command -v "$p" >/dev/null && "$p" -c "import pytest" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "no python3 with pytest: bash scripts/deps.sh installs python3-pytest"; exit 1; }
export QUIROMETER_LIBRARY=$1
shift
export PYTHONPATH=$src/python PYTHONDONTWRITEBYTECODE=1
exec "$python" -m pytest -q -p no:cacheprovider "$here" "$@"
