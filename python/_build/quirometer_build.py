"""Build backend of the quirometer package, standard library only: a wheel
is a zip of the package and its metadata, and an sdist a tarball of this
folder, so nothing needs to be fetched to install it."""
from __future__ import annotations

import base64
import hashlib
import io
import re
import tarfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
NAME = "quirometer"
SUMMARY = "Page counts of print jobs for print accounting (binding of libquirometer)"


def _sources() -> list[str]:
    """The package's modules; _installed.py belongs to cmake --install trees only."""
    return sorted(p.name for p in (ROOT / NAME).glob("*.py") if p.name != "_installed.py")


def _version() -> str:
    text = (ROOT / NAME / "__init__.py").read_text(encoding="utf-8")
    return re.search(r'^__version__ = "([^"]+)"', text, re.M).group(1)


def _metadata() -> str:
    return (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {_version()}\nSummary: {SUMMARY}\n"
            "Requires-Python: >=3.8\n")


def _dist_info() -> str:
    return f"{NAME}-{_version()}.dist-info"


def _write_wheel(directory: str, files: dict[str, bytes]) -> str:
    info = _dist_info()
    files = dict(files)
    files[f"{info}/METADATA"] = _metadata().encode()
    files[f"{info}/WHEEL"] = (b"Wheel-Version: 1.0\nGenerator: quirometer_build\n"
                              b"Root-Is-Purelib: true\nTag: py3-none-any\n")
    record = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{name},sha256={digest},{len(data)}")
    record.append(f"{info}/RECORD,,")
    files[f"{info}/RECORD"] = ("\n".join(record) + "\n").encode()
    wheel = f"{NAME}-{_version()}-py3-none-any.whl"
    with zipfile.ZipFile(Path(directory) / wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0)), data)
    return wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory,
                        {f"{NAME}/{f}": (ROOT / NAME / f).read_bytes() for f in _sources()})


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # A path file puts this folder on sys.path: edits take effect at once.
    return _write_wheel(wheel_directory, {f"{NAME}.pth": f"{ROOT}\n".encode()})


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{_version()}"
    archive = f"{base}.tar.gz"
    members = ["pyproject.toml", "_build/quirometer_build.py", *(f"{NAME}/{f}" for f in _sources())]
    with tarfile.open(Path(sdist_directory) / archive, "w:gz") as tar:
        for member in members:
            tar.add(ROOT / member, arcname=f"{base}/{member}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return archive
