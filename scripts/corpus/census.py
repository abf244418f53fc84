#!/usr/bin/env python3
"""The census: the masters printed through a real CUPS, one queue per driver.

Run by census.sh, which starts the private cupsd and the capture server and
passes their addresses. For every queue of QUEUES it adds the queue from the
driver's real PPD, prints a few jobs (colour and monochrome, copies,
two-sided, the paper sizes the PPD offers, its lowest resolution) and keeps
the bytes the backend sent, with the truth of each job:

- pages, paper, colour and duplex by construction: a master of known pages,
  a page range, the options asked for and offered by the PPD;
- copies: CUPS either hands the copies to the driver (a copies command in
  the stream) or repeats the pages itself. The copies job is compared with
  the same job of one copy: about twice its size means the pages were
  repeated (pages x 2, copies 1), about the same size a copies command
  (copies 2);
- the page count is checked by the prefix method: the master's first k pages
  for k = 1..3, each output must begin with the previous one but for its
  last bytes (the job's end). Where a driver writes something that depends on
  the document's page count into its header (or Ghostscript renders page 1
  differently), each output is counted instead with a page-structure reader
  and must give k. The truth file says which held ("prefix", "cuts",
  "construction" when neither could be checked).

CUPS's own job-impressions-completed is not used: it is doubled on foomatic
queues and 0 on others.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

MASTERS = "tests/corpus/masters"
# Master, pages, its paper (inches), whether it has colour.
REPORT = ("a4-report-3.ps", 3, True)
DRAWINGS = ("letter-drawings-4.ps", 2, False)  # its first two pages: line art and a grey fill
PAPERS = {"A4": (8.27, 11.69), "Letter": (8.5, 11.0), "Legal": (8.5, 14.0), "A3": (11.69, 16.54),
          "62x29mm": (62 / 25.4, 29 / 25.4)}

# (queue, folder, model, language: our tag or the foreign language's name).
QUEUES = [
    # foo2zjs's family: ZjStream (with its -z models and HP's colour models), OAKT,
    # HIPERC, QPDL, and the languages outside ours.
    ("zjs-generic", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Generic-ZjStream_Printer.ppd", "ZJSTREAM"),
    ("zjs-lj1020", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-LaserJet_1020.ppd", "ZJSTREAM"),
    ("zjs-m12a", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-LaserJet_Pro_M12a.ppd", "ZJSTREAM"),
    ("zjs-cp1025", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-LaserJet_Pro_CP1025nw.ppd", "ZJSTREAM"),
    ("zjs-clj1600", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-Color_LaserJet_1600.ppd", "ZJSTREAM"),
    ("zjs-cp1215", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-Color_LaserJet_CP1215.ppd", "ZJSTREAM"),
    ("zjs-mc2300", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Minolta-magicolor_2300_DL.ppd", "ZJSTREAM"),
    ("oak-generic", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Generic-OAKT_Printer.ppd", "OAKT"),
    ("oak-km1635", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Kyocera-KM-1635.ppd", "OAKT"),
    ("hiperc-c5100", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Oki-C5100.ppd", "HIPERC"),
    ("hiperc-c810", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Oki-C810.ppd", "HIPERC"),
    ("qpdl-clp300", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Samsung-CLP-300.ppd", "QPDL"),
    ("qpdl-clp600", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Samsung-CLP-600.ppd", "QPDL"),
    ("qpdl-clp315", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Samsung-CLP-315.ppd", "QPDL"),
    ("qpdl-ml1670", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Samsung-ML-1670.ppd", "QPDL"),
    ("xqx-p1505", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/HP-LaserJet_P1505.ppd", "XQX"),
    ("lava-mc1600w", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/KONICA_MINOLTA-magicolor_1600W.ppd", "LAVAFLOW"),
    ("lava-mc2530", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/KONICA_MINOLTA-magicolor_2530_DL.ppd", "LAVAFLOW"),
    ("opl-mc2480", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/KONICA_MINOLTA-magicolor_2480_MF.ppd", "OPL"),  # foo2lava -z1
    ("hbpl-dell1355", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Dell-1355.ppd", "HBPL"),
    ("hbpl-ph3010", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Xerox-Phaser_3010.ppd", "HBPL"),
    ("ddst-sp112", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Ricoh-SP_112.ppd", "DDST"),
    ("slx-c500", "foo2zjs", "foo2zjs:0/ppd/foo2zjs/Lexmark-C500.ppd", "TALLYSTREAM"),  # foo2slx: the same stream
    # hpcups: PCL3GUI, LIDIL and PCL 5 models (its laser models write PCL 5 with PJL).
    ("hp-dj5550", "hpcups", "drv:///hpcups.drv/hp-deskjet_5550.ppd", "PCL"),
    ("hp-dj3920", "hpcups", "drv:///hpcups.drv/hp-deskjet_3920.ppd", "LIDIL"),
    ("hp-lj1320", "hpcups", "drv:///hpcups.drv/hp-laserjet_1320.ppd", "PCL"),
    ("hp-clj2500", "hpcups", "drv:///hpcups.drv/hp-color_laserjet_2500_series.ppd", "PCL"),
    # splix (QPDL of Samsung's lasers, mono and colour).
    ("splix-ml2010", "splix", "drv:///splix-samsung.drv/ml2010.ppd", "QPDL"),
    ("splix-ml2250", "splix", "drv:///splix-samsung.drv/ml2250.ppd", "QPDL"),
    ("splix-clp315", "splix", "drv:///splix-samsung.drv/clp315.ppd", "QPDL"),
    # Other Debian drivers.
    ("escpr-xp410", "escpr", "escpr:0/cups/model/epson-inkjet-printer-escpr/Epson-XP-410_Series-epson-escpr-en.ppd",
     "ESC/P-R"),
    ("brlaser-1110", "brlaser", "drv:///brlaser.drv/br1110.ppd", "PCL"),  # PJL, then PCL with Brother's compression 1030
    ("cjet-lbp8a1", "cjet", "foomatic-db-compressed-ppds:0/ppd/foomatic-ppd/Canon-LBP-8A1-cjet.ppd", "CAPSL"),
    ("oki-9pin", "oki", "lsb/usr/okidata/okdotmatrix9.ppd", "ESCP2"),
    ("c2050", "c2050", "foomatic-db-compressed-ppds:0/ppd/foomatic-ppd/Lexmark-2050-c2050.ppd", "Lexmark"),
    # c2esp: JBIG bands for the ESP 3 to 9 and 5xxx models, deflated rows (c2espC) for the
    # ESP C and Hero models; the ESP 7 and Hero 9.1 print two-sided.
    ("c2esp-esp5", "c2esp", "drv:///c2esp.drv/Kodak_ESP_5.ppd", "KodakESP"),
    ("c2esp-esp7", "c2esp", "drv:///c2esp.drv/Kodak_ESP_7.ppd", "KodakESP"),
    ("c2esp-hero91", "c2esp", "drv:///c2espC.drv/KHERO91.ppd", "KodakESP"),
    ("pxljr-clj3600", "pxljr", "pxljr:0/ppd/pxljr/HP-Color_LaserJet_3600-pxljr.ppd", "PCLXL"),
    ("m2300w", "m2300w", "m2300w:0/ppd/m2300w/KONICA_MINOLTA-magicolor_2300W-m2300w.ppd", "M2300W"),
    ("m2400w", "m2300w", "m2300w:0/ppd/m2300w/KONICA_MINOLTA-magicolor_2400W-m2400w.ppd", "M2300W"),
    ("min12xxw-1300w", "min12xxw", "foomatic-db-compressed-ppds:0/ppd/foomatic-ppd/KONICA_MINOLTA-PagePro_1300W-min12xxw.ppd",
     "PageProGDI"),
    ("sag-gdi", "sag-gdi", "drv:///rastertosag-gdi.drv/rsp1000s.ppd", "RicohGDI"),
    ("fujixerox", "fujixerox", "fujixerox:0/cups/model/FujiXerox/en/fxlinuxprint.ppd", "PDF"),
    # ptouch: the QL models send their rows as 'g' with a big-endian length, the PT models as 'G'.
    ("ptouch-ql570", "ptouch", "ptouch:0/ppd/ptouch-driver/Brother-QL-570-ptouch-ql.ppd", "PTouch",
     ["PageSize=62x29mm MediaType=Labels"]),
    ("ptouch-p700", "ptouch", "ptouch:0/ppd/ptouch-driver/Brother-PT-P700-ptouch-pt.ppd", "PTouch"),
    # Gutenprint's families.
    ("gp-escp2-c88", "gutenprint", "gutenprint.5.3://escp2-c88/expert", "ESCP2"),
    ("gp-canon-ip4200", "gutenprint", "gutenprint.5.3://bjc-PIXMA-iP4200/expert", "CANON"),
    ("gp-lexmark-z52", "gutenprint", "gutenprint.5.3://lexmark-z52/expert", "Lexmark"),
    ("gp-pcl-2000", "gutenprint", "gutenprint.5.3://pcl-2000/expert", "PCL"),
    # CUPS's sample drivers.
    ("cups-laserjet", "cups-sample", "drv:///sample.drv/laserjet.ppd", "PCL"),
    ("cups-deskjet", "cups-sample", "drv:///sample.drv/deskjet.ppd", "PCL"),
    ("cups-epson9", "cups-sample", "drv:///sample.drv/epson9.ppd", "ESCP2", ["Resolution=240x72dpi"]),
    ("cups-epson24", "cups-sample", "drv:///sample.drv/epson24.ppd", "ESCP2"),
    ("cups-stcolor", "cups-sample", "drv:///sample.drv/stcolor.ppd", "ESCP2"),
    ("cups-dymo", "cups-sample", "drv:///sample.drv/dymo.ppd", "Dymo"),
]


# Queues whose driver writes one paper whatever size is asked: rastertosag-gdi
# looks the size's name up as bytes among text keys, never finds it, and
# writes A4's index on every page.
PAPER_WRITTEN = {"sag-gdi": "A4"}

# A one-copy job larger than this has its copies job made of its first page
# alone (uncompressed rasters of 1 MB a page).
COPIES_ONE_PAGE = 1 << 20
# Queues whose stream selects another sheet than the one asked for: cjet
# has no A3 code, and its PPD has it ignore the job's page size, so its
# stream selects A4 (CSI 14 p) whatever was asked.
PAPER_SENT = {"cjet-lbp8a1": "A4"}

# Decoders the driver packages ship: a queue's jobs are read back by them,
# and the pages they find are recorded with the truth (a line a page).
DECODERS = {"ddst-sp112": ("ddstdecode", b"@PJL SET PAGESTATUS=END")}

# The tags of our languages among the languages above.
OWN = {"ZJSTREAM", "OAKT", "HIPERC", "QPDL", "PCL", "PCLXL", "ESCP2", "CANON", "Lexmark", "PDF", "LIDIL",
       "RicohGDI", "PTouch", "Dymo", "OPL", "M2300W", "PageProGDI", "KodakESP", "XQX", "LAVAFLOW",
       "HBPL", "DDST", "CAPSL"}


def run(cmd, **kw):
    return subprocess.run(cmd, check=False, capture_output=True, text=True, **kw)


class Ppd:
    """The options of a queue's PPD that the census uses."""

    def __init__(self, path):
        self.options = {}
        self.texts = {}  # (option, choice): the choice's description, lower case
        self.defaults = {}
        self.colour = False
        with open(path, encoding="latin-1") as f:
            for line in f:
                m = re.match(r"\*(\w+)\s+([^/:\s]+)(?:/([^:]*))?:", line)
                if m and not m.group(1).startswith(("Default", "Open", "Close", "Order", "Foomatic", "cups")):
                    self.options.setdefault(m.group(1), []).append(m.group(2))
                    self.texts[(m.group(1), m.group(2))] = (m.group(3) or "").lower()
                m = re.match(r"\*Default(\w+):\s*(\S+)", line)
                if m:
                    self.defaults[m.group(1)] = m.group(2)
                if re.match(r"\*ColorDevice:\s*True", line):
                    self.colour = True

    def choices(self, option):
        return self.options.get(option, [])

    def paper(self, *wanted):
        for p in wanted:
            if p in self.choices("PageSize"):
                return p
        return None

    def lowest_resolution(self):
        best = None
        for r in self.choices("Resolution"):
            m = re.match(r"(\d+)(?:x(\d+))?dpi", r)
            if m:
                dots = int(m.group(1)) * int(m.group(2) or m.group(1))
                if best is None or dots < best[0]:
                    best = (dots, r)
        return best[1] if best else None

    def duplex(self):
        return next((c for c in ("DuplexNoTumble", "LongEdge", "DuplexLongEdge") if c in self.choices("Duplex")), None)

    def colour_options(self, mono):
        """Options for a colour or a monochrome job: the IPP attribute and the PPD's own choice."""
        opts = ["-o", "print-color-mode=" + ("monochrome" if mono else "color")]
        words = ("gray", "grey", "mono", "black", "kgray") if mono else ("rgb", "cmyk", "color", "colour")
        for option in ("ColorModel", "ColorMode", "ColorMode", "Color", "PrintoutMode", "ColourModel"):
            for c in self.choices(option):
                # The choice's name or its description ("ICM/Color - use ICM color profile").
                said = c.lower() + " " + self.texts.get((option, c), "")
                if any(w in said for w in words) and (mono or not any(w in said for w in ("gray", "grey", "mono"))):
                    return opts + ["-o", "%s=%s" % (option, c)]
        return opts


class Census:
    def __init__(self, args):
        self.a = args
        self.env = dict(os.environ, CUPS_SERVER=args.server)
        self.rows = []
        self.captured = 0

    def lp(self, queue, master, options):
        out = run(["lp", "-d", queue] + options + [os.path.join(self.a.root, MASTERS, master)], env=self.env)
        if out.returncode != 0:
            raise RuntimeError("lp: " + out.stderr.strip())
        return out.stdout.split()[3] if out.stdout.startswith("request id is") else None

    def wait(self, job):
        """The bytes the backend sent for the job just printed, or None."""
        deadline = time.monotonic() + self.a.timeout
        want = os.path.join(self.a.capture, "%04d.prn" % (self.captured + 1))
        gone = None  # when the job left the queue without reaching the backend
        while time.monotonic() < deadline:
            done = run(["lpstat", "-W", "not-completed", "-o"], env=self.env).stdout
            if job in done:
                gone = None
            elif not os.path.exists(want):
                gone = gone or time.monotonic()
                if time.monotonic() - gone > 10:  # aborted by a filter error
                    return None
            if os.path.exists(want):
                if job not in done:
                    self.captured += 1
                    with open(want, "rb") as f:
                        data = f.read()
                    # A filter that failed leaves the PJL wrapper and no page.
                    return data if len(data) >= 1024 else None
            time.sleep(0.3)
        run(["cancel", job], env=self.env)
        # A cancelled filter may still end its page and its job (c2esp does):
        # wait until the job has left the queue and its connection is closed,
        # or the next job would be handed this one's bytes.
        deadline = time.monotonic() + self.a.timeout
        while time.monotonic() < deadline:
            busy = job in run(["lpstat", "-W", "not-completed", "-o"], env=self.env).stdout
            if not busy and not any(n.endswith(".part") for n in os.listdir(self.a.capture)):
                break
            time.sleep(1)
        time.sleep(2)
        # A job that did reach the backend late still takes its file number.
        while os.path.exists(os.path.join(self.a.capture, "%04d.prn" % (self.captured + 1))):
            self.captured += 1
        return None

    def job(self, queue, master, options):
        try:
            return self.wait(self.lp(queue, master, options))
        except RuntimeError as e:
            print("  %s: %s" % (queue, e), file=sys.stderr)
            return None

    def count(self, path):
        """Pages of a job by the page-structure reader (the accurate count), or None."""
        out = run([self.a.quirometer, "count", "--json", path])
        m = re.search(r'"pages":(\d+)', out.stdout)
        return int(m.group(1)) if m else None

    def verify(self, queue, master, base, full, pages):
        """How the page count of the job of `pages` pages was checked."""
        cuts = []
        for k in range(1, pages):
            cut = self.job(queue, master, base + ["-o", "page-ranges=1-%d" % k])
            if cut is None:
                return "construction"
            cuts.append(cut)
        cuts.append(full)
        tail = 4096
        prefix = all(len(os.path.commonprefix([cuts[k], cuts[k + 1]])) >= len(cuts[k]) - tail
                     and len(cuts[k + 1]) > len(cuts[k]) for k in range(len(cuts) - 1))
        if prefix:
            return "prefix"
        tmp = os.path.join(self.a.capture, "cut.prn")
        counted = []
        for data in cuts:
            with open(tmp, "wb") as f:
                f.write(data)
            counted.append(self.count(tmp))
        return "cuts" if counted == list(range(1, pages + 1)) else "construction"

    def keep(self, folder, name, data, row):
        queue = next((q for q in DECODERS if name.startswith(q + "-")), None)
        if queue:
            tool, line = DECODERS[queue]
            pages = subprocess.run([tool], input=data, capture_output=True, check=False).stdout.count(line)
            if pages != int(row["pages"]):
                print("  %s: %s reads %d pages, the truth says %s: not kept" % (name, tool, pages, row["pages"]),
                      file=sys.stderr)
                return
            row["verified"] += "; %s: %d page%s" % (tool, pages, "" if pages == 1 else "s")
        d = os.path.join(self.a.out, folder)
        os.makedirs(d, exist_ok=True)
        path = os.path.join(d, name + ".prn")
        with open(path, "wb") as f:
            f.write(data)
        row["file"] = "%s/%s.prn" % (folder, name)
        self.rows.append(row)
        print("  %-48s %8d bytes  %s" % (row["file"], len(data), row["verified"]))

    def queue(self, name, folder, model, language, extra=()):
        print(name, model)
        r = run(["lpadmin", "-p", name, "-E", "-v", self.a.device, "-m", model], env=self.env)
        ppd_path = os.path.join(self.a.ppd_dir, name + ".ppd")
        if r.returncode != 0 or not os.path.exists(ppd_path):
            print("  no queue: " + r.stderr.strip(), file=sys.stderr)
            return
        ppd = Ppd(ppd_path)
        base = []
        res = ppd.lowest_resolution()
        if res:
            base += ["-o", "Resolution=" + res]
        colour = ppd.colour
        a4 = ppd.paper("A4", "Letter") or ppd.defaults.get("PageSize")
        row = dict(driver=folder, model=model, language=language)

        def truth(pages, copies, duplex, colour_, paper, verified):
            if name in PAPER_WRITTEN and paper != PAPER_WRITTEN[name]:
                verified += "; %s asked, the driver writes %s" % (paper, PAPER_WRITTEN[name])
                paper = PAPER_WRITTEN[name]
            if name in PAPER_SENT and paper != PAPER_SENT[name]:
                verified += "; paper as the stream selects it (%s, not %s)" % (PAPER_SENT[name], paper)
                paper = PAPER_SENT[name]
            w, l = PAPERS.get(paper, (0, 0))
            colour_ = "-" if colour_ is None else int(colour_)  # None: not stated
            return dict(row, pages=pages, copies=copies, duplex=duplex, colour=colour_, paper=paper or "-",
                        width="%.2f" % w if w else "-", length="%.2f" % l if l else "-", verified=verified)

        # The report in colour (where the queue prints colour) on A4.
        master, pages, has_colour = REPORT
        opts = base + ["-o", "PageSize=" + a4] + ppd.colour_options(False)
        full = self.job(name, master, opts)
        if full is None:
            return
        verified = self.verify(name, master, opts, full, pages)
        self.keep(folder, "%s-%s-%dp" % (name, a4.lower(), pages), full,
                  truth(pages, 1, 0, colour and has_colour, a4, verified))
        # Two copies: a copies command in the stream, or the pages repeated. A
        # job of repeated pages is kept out of the corpus: it is the job above
        # twice over.
        one, copies_pages, copies_opts = full, pages, opts
        if len(full) > COPIES_ONE_PAGE:
            copies_pages, copies_opts = 1, opts + ["-o", "page-ranges=1"]
            one = self.job(name, master, copies_opts)
        two = self.job(name, master, copies_opts + ["-n", "2"]) if one is not None else None
        if two is not None:
            # A copies command changes a few bytes of the job; repeated pages of
            # a raster double it. (A PDF's repeated pages share their content,
            # so neither rule names them: such jobs are not kept.)
            ratio = len(two) / max(len(one), 1)
            command = abs(len(two) - len(one)) <= 64
            copies = "pages repeated" if ratio > 1.6 else "copies command" if command else "unclear"
            print("  copies: %s (size x%.2f)" % (copies, ratio))
            if copies == "copies command" and two != one:
                checked = verified if copies_pages == pages else "construction"
                self.keep(folder, "%s-%s-%dp-copies2" % (name, a4.lower(), copies_pages), two,
                          truth(copies_pages, 2, 0, colour and has_colour, a4,
                                "%s; copies command (size x%.2f)" % (checked, ratio)))
        # Two-sided, where offered, on Legal or Letter.
        duplex = ppd.duplex()
        if duplex:
            master, pages, has_colour = DRAWINGS
            paper = ppd.paper("Legal", "Letter") or a4
            opts = base + ["-o", "PageSize=" + paper, "-o", "page-ranges=1-2", "-o", "sides=two-sided-long-edge",
                           "-o", "Duplex=" + duplex]
            data = self.job(name, master, opts + ppd.colour_options(False))
            if data is not None:
                self.keep(folder, "%s-%s-%dp-duplex" % (name, paper.lower(), pages), data,
                          truth(pages, 1, 1, None if colour else False, paper, "construction"))
        # One page, monochrome on a colour queue, on A3 where offered, else Letter.
        master, pages, has_colour = REPORT
        paper = ppd.paper("A3", "Letter") or a4
        opts = base + ["-o", "PageSize=" + paper, "-o", "page-ranges=2"] + ppd.colour_options(True)
        data = self.job(name, master, opts)
        if data is not None:
            self.keep(folder, "%s-%s-1p%s" % (name, paper.lower(), "-mono" if colour else ""), data,
                      truth(1, 1, 0, False, paper, "construction"))

        # Modes the lowest resolution does not show (Epson 9-pin high density), or
        # other media (die-cut labels): one page each. An entry is options
        # separated by blanks; its PageSize, if any, replaces the A4 one.
        for option in extra:
            settings = option.split()
            size = next((o.split("=", 1)[1] for o in settings if o.startswith("PageSize=")), a4)
            others = [o for o in settings if not o.startswith("PageSize=")]
            opts = [w for o in others for w in ("-o", o)] + ["-o", "PageSize=" + size, "-o", "page-ranges=1"]
            data = self.job(name, master, opts)
            if data is not None:
                label = re.sub(r"[^a-z0-9]+", "", "".join(o.split("=", 1)[1] for o in others).lower())
                self.keep(folder, "%s-%s-1p-%s" % (name, size.lower(), label), data,
                          truth(1, 1, 0, False, size, "construction"))

    def write_truth(self, ran):
        """The truth file: the rows of the queues run, and those of the others as they were."""
        path = os.path.join(self.a.out, "truth.tsv")
        cols = ["file", "driver", "model", "language", "pages", "copies", "duplex", "colour", "paper", "width", "length",
                "verified"]
        if os.path.exists(path):
            with open(path) as f:
                lines = f.read().splitlines()
            for line in lines[1:]:
                r = dict(zip(cols, line.split("\t")))
                if not any(os.path.basename(r["file"]).startswith(q + "-") for q in ran):
                    self.rows.append(r)
        with open(path, "w") as f:
            f.write("\t".join(cols) + "\n")
            for r in sorted(self.rows, key=lambda r: r["file"]):
                f.write("\t".join(str(r[c]) for c in cols) + "\n")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--root", required=True, help="the checkout")
    p.add_argument("--server", required=True, help="CUPS_SERVER of the private cupsd")
    p.add_argument("--ppd-dir", required=True, help="the cupsd's ppd folder")
    p.add_argument("--device", required=True, help="device URI of the capture server")
    p.add_argument("--capture", required=True, help="folder the capture server writes")
    p.add_argument("--out", required=True)
    p.add_argument("--quirometer", required=True, help="the command-line tool, for the page-structure check")
    p.add_argument("--only", default="", help="queues to run (a regular expression)")
    p.add_argument("--timeout", type=float, default=240)
    a = p.parse_args()
    c = Census(a)
    c.captured = len([n for n in os.listdir(a.capture) if n.endswith(".prn")])
    # Our languages first: a run cut short has those.
    ran = sorted((q for q in QUEUES if re.search(a.only, q[0])), key=lambda q: q[3] not in OWN)
    for q in ran:
        c.queue(*q)
        c.write_truth([q[0]])  # after every queue: a run cut short keeps what it made
        c.rows = []


if __name__ == "__main__":
    main()
