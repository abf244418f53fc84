"""The sample jobs and their table, read by column name: the plain columns
hold the truth (what the job prints), the "compatible." ones the export's
record by its rules; "-" (unstated) is left out."""
import csv
from dataclasses import dataclass
from pathlib import Path

SAMPLES = Path(__file__).resolve().parents[2] / "samples"
COLUMNS = {"pages": "pages", "copies": "copies", "color": "color", "duplex": "duplex",
           "paperWidth": "paper_width", "paperLength": "paper_length"}  # -> attribute of a Job


@dataclass
class Sample:
    path: Path
    tag: str
    truth: dict  # column -> number
    compatible: dict


def _stated(row, prefix=""):
    return {c: float(row[prefix + c]) for c in COLUMNS if row[prefix + c].strip() not in ("", "-")}


def read_samples(table=SAMPLES / "truth.tsv"):
    with open(table, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    return [Sample(SAMPLES / r["file"], r["tag"], _stated(r), _stated(r, "compatible.")) for r in rows]


def disagreements(job, stated):
    """The columns of `stated` that `job` does not meet, as text ("" when it meets all)."""
    wrong = []
    for column, want in stated.items():
        got = float(getattr(job, COLUMNS[column]))
        if abs(got - want) > (0.02 if column.startswith("paper") else 0):
            wrong.append(f"{column} {got:g}, want {want:g}")
    return ", ".join(wrong)
