"""The sample jobs and their table, read by column name. The plain columns
hold the truth (what the job prints). The export's record is either in
columns of its own ("compatiblePages", ...; blank repeats the truth), or
listed as changes from the truth in one column ("pages=0 copies=1",
"code=0x80004005"), or, in a table of one record only, the plain columns."""
import csv
import re
from dataclasses import dataclass, field
from pathlib import Path

SAMPLES = Path(__file__).resolve().parents[2] / "samples"
COLUMNS = {"pages": "pages", "copies": "copies", "color": "color", "duplex": "duplex",
           "paperWidth": "paper_width", "paperLength": "paper_length"}  # -> attribute of a Job


@dataclass
class Sample:
    path: Path
    tag: str
    truth: dict = field(default_factory=dict)  # column -> number; "-" (unstated) left out
    compatible: dict = field(default_factory=dict)
    compatible_code: int = 0


def _stated(cells):
    return {c: float(v) for c, v in cells.items() if v.strip() not in ("", "-")}


def read_samples(table=SAMPLES / "truth.tsv"):
    with open(table, newline="", encoding="utf-8") as f:
        reader = csv.DictReader((line for line in f if not line.startswith("#")), delimiter="\t")
        header, rows = reader.fieldnames, list(reader)
    compat = [h for h in header if re.match(r"(?i)(compat|export)", h)]
    own = {c: h for c in COLUMNS for h in compat if h.lower().endswith(c.lower())}
    code = next((h for h in compat if h.lower().endswith("code")), None)
    changes = next((h for h in header if h.lower() in ("compatible", "export", "expected")), None)
    samples = []
    for row in rows:
        s = Sample(SAMPLES / row["file"], row["tag"], _stated({c: row[c] for c in COLUMNS}))
        s.compatible = dict(s.truth)
        if own:
            s.compatible = _stated({c: row[h] or row[c] for c, h in own.items()})
        items = dict(i.split("=", 1) for i in (row.get(changes) or "").split()) if changes else {}
        if code and row[code].strip():
            items["code"] = row[code]
        s.compatible_code = int(items.pop("code", "0"), 0)
        s.compatible.update(_stated(items))
        for c in (c for c, v in items.items() if v == "-"):
            s.compatible.pop(c)
        samples.append(s)
    return samples


def disagreements(job, stated):
    """The columns of `stated` that `job` does not meet, as text ("" when it meets all)."""
    wrong = []
    for column, want in stated.items():
        got = float(getattr(job, COLUMNS[column]))
        if abs(got - want) > (0.02 if column.startswith("paper") else 0):
            wrong.append(f"{column} {got:g}, want {want:g}")
    return ", ".join(wrong)
