#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when
# any is missing. Sourced by the other scripts; safe to run again.
set -euo pipefail
qm_packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev g++-mingw-w64-i686
             binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 ccache dpkg-dev
             zlib1g-dev libqpdf-dev libjpeg62-turbo-dev libz-mingw-w64-dev)
# Accounting for CUPS: its stores and its records' JSON.
qm_packages+=(libsqlite3-dev libpq-dev nlohmann-json3-dev)
# The Python package: its tests and its offline pip install.
qm_packages+=(python3 python3-pytest python3-pip)
# The accounting tests with real daemons (tests/accounting/cups/run.sh sets
# QM_DEPS_DAEMONS=1): cupsd and its clients, cups itself for the helpers
# that list devices and build PPDs from the sample drivers (cups-deviced,
# cups-driverd: cups-daemon does not bring them), the filters of the driver
# queue, ippeveprinter with Avahi on D-Bus, and a PostgreSQL server.
if [ "${QM_DEPS_DAEMONS:-0}" != 0 ]; then
  qm_packages+=(cups cups-daemon cups-client cups-ipp-utils cups-filters avahi-daemon dbus postgresql)
fi
qm_missing=()
for p in "${qm_packages[@]}" "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || qm_missing+=("$p")
done
if [ ${#qm_missing[@]} -gt 0 ]; then
  echo "installing: ${qm_missing[*]}" >&2
  SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${qm_missing[@]}" >/dev/null
fi
