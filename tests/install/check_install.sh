#!/usr/bin/env bash
# Installs into a temporary prefix, builds examples/count.c against it with
# pkg-config (shared and static) and with find_package, runs them on a job,
# counts it from the installed Python package and from one pip installs
# offline, and checks the contents of the Debian package.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/quirometer/quirometer.h lib/libquirometer.so lib/libquirometer.a bin/quirometer \
         share/man/man1/quirometer.1 share/man/man3/quirometer.3 lib/pkgconfig/quirometer.pc \
         lib/cmake/Quirometer/QuirometerConfig.cmake share/quirometer/samples/truth.tsv; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
while IFS=$'\t' read -r file _; do
  [ -f "$prefix/share/quirometer/samples/$file" ] || { echo "sample not installed: $file"; exit 1; }
done < <(grep -v -e '^#' -e '^file' "$src/samples/truth.tsv")
soname=$(objdump -p "$prefix/lib/libquirometer.so" | awk '/SONAME/{print $2}')
[ -e "$prefix/lib/$soname" ] || { echo "no soname link $soname"; exit 1; }

# Only the library's own entry points are exported: 29 counters, the version,
# the debug sink, the PDF reader's last error (C++ and C names) and the
# accurate path's entry points.
exports=$(nm -D --defined-only "$prefix/lib/libquirometer.so" | awk '{print $3}' | sort)
others=$(grep -v -E '^(GetTotalPageCount_[A-Za-z0-9_]+|GetQuirometerVersion|Quirometer(SetDebugOutput|PdfLastError|Detect|Count|CountPages|ErrorText|CanonicalTag)|_Z16pdfreadLastErrorPci)$' <<<"$exports" || true)
[ -z "$others" ] || { echo "exports beyond the C entry points:"; echo "$others"; exit 1; }
[ "$(grep -c '^GetTotalPageCount_' <<<"$exports")" = 29 ] || { echo "not 29 counting entry points"; exit 1; }

# A bundled sample job: one Letter page in PCL XL, three copies.
job="$src/samples/letter-memo-1.pxlmono-copies3.pxl"
want="$job: pages=1 copies=3 color=0 duplex=0 paper=8.50x11.00 (library 5.5.0.68.30)"

# pkg-config
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
cc -Wall -Wextra -Werror "$src/examples/count.c" $(pkg-config --cflags --libs quirometer) -o "$work/count-pc"
got=$(LD_LIBRARY_PATH="$prefix/lib" "$work/count-pc" PCLXL "$job")
[ "$got" = "$want" ] || { echo "pkg-config consumer printed: $got"; exit 1; }

# pkg-config --static: a prefix holding only the archive, linked by the C
# compiler, so the C++ runtime and the rest must come from Libs.private.
mkdir -p "$work/static/lib/pkgconfig"
cp "$prefix/lib/libquirometer.a" "$work/static/lib/"
cp "$prefix/lib/pkgconfig/quirometer.pc" "$work/static/lib/pkgconfig/"
ln -s "$prefix/include" "$work/static/include"
cc -Wall -Wextra -Werror "$src/examples/count.c" \
   $(PKG_CONFIG_PATH="$work/static/lib/pkgconfig" pkg-config --static --cflags --libs quirometer) -o "$work/count-static"
objdump -p "$work/count-static" | grep -q 'NEEDED.*libquirometer' && { echo "static consumer needs the shared library"; exit 1; }
got=$("$work/count-static" PCLXL "$job")
[ "$got" = "$want" ] || { echo "static pkg-config consumer printed: $got"; exit 1; }

# find_package
cmake -S "$src/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
      -DEXAMPLE_SOURCE="$src/examples/count.c" >/dev/null
cmake --build "$work/consumer" >/dev/null
got=$("$work/consumer/count" PCLXL "$job")
[ "$got" = "$want" ] || { echo "find_package consumer printed: $got"; exit 1; }

# The installed tool answers like the library.
[ "$("$prefix/bin/quirometer" --version)" = "quirometer 5.5.0.68.30" ] || { echo "tool version"; exit 1; }

# Python: the installed package finds the library of its own prefix, with
# no search path set; a package pip installs offline finds it through the
# system loader.
site=$(sed -n 's/^QM_PYTHON_SITEDIR:STRING=//p' "$build/CMakeCache.txt")
[ -f "$prefix/$site/quirometer/_installed.py" ] || { echo "Python package not in $prefix/$site"; exit 1; }
count_py='import quirometer as q, sys; r = q.count(sys.argv[1], "pcl6", compatible=True)
print(r.pages, r.copies, r.paper_width, r.paper_length, q._native.library()._name)'
got=$(env -u LD_LIBRARY_PATH -u QUIROMETER_LIBRARY PYTHONPATH="$prefix/$site" python3 -c "$count_py" "$job")
[ "$got" = "1 3 8.5 11.0 $(realpath "$prefix")/lib/libquirometer.so.5" ] || { echo "installed Python package printed: $got"; exit 1; }
python3 -m pip install -q --no-index --target "$work/pip" "$src/python" 2>/dev/null
got=$(env -u QUIROMETER_LIBRARY PYTHONPATH="$work/pip" LD_LIBRARY_PATH="$prefix/lib" python3 -c "$count_py" "$job")
[ "$got" = "1 3 8.5 11.0 libquirometer.so.5" ] || { echo "pip-installed Python package printed: $got"; exit 1; }

# Debian package
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$work"/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/include/quirometer/quirometer.h ./usr/lib/libquirometer.so ./usr/bin/quirometer \
         ./usr/share/man/man1/quirometer.1 ./usr/lib/pkgconfig/quirometer.pc \
         ./usr/share/quirometer/samples/truth.tsv "./usr/$site/quirometer/__init__.py"; do
  grep -q " $f" <<<"$contents" || { echo "not in the package: $f"; echo "$contents"; exit 1; }
done
echo "installed, consumed through pkg-config (shared and static), find_package and Python, packaged as $(basename "$deb")"
