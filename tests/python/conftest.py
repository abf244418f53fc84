"""The sample jobs and their table, read by column name: the truth (what the
job prints) in the plain columns, and the record of the language's export
either in columns of its own ("compatiblePages", ...), or as the changes from
the truth in one column ("pages=0 copies=1", "code=0x80004005"), or, in a
table with one record only, the same columns as the truth."""
import csv
import re
from dataclasses import dataclass, field
from pathlib import Path

SAMPLES = Path(__file__).resolve().parents[2] / "samples"
# Table column -> attribute of quirometer.Job.
COLUMNS = {"pages": "pages", "copies": "copies", "color": "color", "duplex": "duplex",
           "paperWidth": "paper_width", "paperLength": "paper_length"}
_CHANGE_COLUMNS = ("compatible", "compat", "export", "expected")


def _key(name):
    return re.sub(r"[^a-z]", "", name.lower())


@dataclass
class Sample:
    path: Path
    tag: str
    truth: dict = field(default_factory=dict)   # column -> number; unstated columns absent
    compatible: dict = field(default_factory=dict)
    compatible_code: int = 0


def _number(text):
    return None if text.strip() in ("", "-") else float(text)


def read_samples(table=SAMPLES / "truth.tsv"):
    with open(table, newline="", encoding="utf-8") as f:
        reader = csv.DictReader((line for line in f if not line.startswith("#")), delimiter="\t")
        header, rows = reader.fieldnames, list(reader)
    own = {}  # column -> the header of its compatible twin
    for h in header:
        k = _key(h)
        if ("compat" in k or "export" in k) and k not in _CHANGE_COLUMNS and "code" not in k:
            for c in COLUMNS:
                if _key(c) in k and (c not in own or len(h) < len(own[c])):
                    own[c] = h
    code = next((h for h in header if "code" in _key(h) and ("compat" in _key(h) or "export" in _key(h))), None)
    changes = next((h for h in header if _key(h) in _CHANGE_COLUMNS), None) if not own else None
    samples = []
    for row in rows:
        s = Sample(SAMPLES / row["file"], row["tag"])
        for c in COLUMNS:
            if _number(row.get(c) or "") is not None:
                s.truth[c] = _number(row[c])
        if own:
            # A blank cell repeats the truth; "-" leaves the field unstated.
            for c, h in own.items():
                cell = (row.get(h) or "").strip()
                if cell == "" and c in s.truth:
                    s.compatible[c] = s.truth[c]
                elif _number(cell) is not None:
                    s.compatible[c] = _number(cell)
            if code and (row.get(code) or "").strip():
                s.compatible_code = int(row[code], 0)
        else:
            s.compatible = dict(s.truth)
            for item in re.split(r"[\s,;]+", (row.get(changes) or "") if changes else ""):
                if not item:
                    continue
                name, _, value = item.partition("=")
                if name == "code":
                    s.compatible_code = int(value, 0)
                elif _number(value) is None:
                    s.compatible.pop(name, None)
                else:
                    s.compatible[name] = _number(value)
        samples.append(s)
    return samples


def agrees(job, stated):
    """The columns of `stated` that `job` does not meet, as text ("" when all agree)."""
    wrong = []
    for column, want in stated.items():
        got = float(getattr(job, COLUMNS[column]))
        slack = 0.02 if column.startswith("paper") else 0.0
        if abs(got - want) > slack:
            wrong.append(f"{column} {got:g} (want {want:g})")
    return ", ".join(wrong)
