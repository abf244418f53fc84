#!/usr/bin/env python3
"""Prints, for each page of a raster-stream job, whether its driver sent dots
on a colour plane (C) or not (M): a second reading of the stream, written
apart from the library, that colour_streams.sh uses to confirm the pages
where a driver prints neutral content with colour inks.

    colour_inks.py TAG JOB

TAG is CANON (raster lines and multi-line blocks), ESCP2 (ESC i lines),
Lexmark (lxm3200 swaths), PPA (sweeps) or ESC_PAGE (marks drawn in a fill
colour whose red, green and blue differ, and RGB raster images)."""
import re
import struct
import sys


def unpack_has_ink(data, canon):
    """Run-length data (n <= 127: n + 1 literal bytes; n >= 129: one byte
    repeated; 128 a no-op in the Canon coding) puts down a dot."""
    i = 0
    while i < len(data):
        n = data[i]
        i += 1
        if n <= 127:
            if any(data[i:i + n + 1]):
                return True
            i += n + 1
        elif n != 128 or not canon:
            if i < len(data) and data[i]:
                return True
            i += 1
    return False


class Reader:
    """A stream whose pages end at form feeds outside commands: `step` reads
    what stands at i and returns where the next thing starts, setting
    `page` when the page gets colour ink."""
    page = False

    def new_page(self):
        pass

    def pages(self, job):
        pages, i = [], 0
        while i < len(job):
            if job[i] == 0x0C:
                pages.append(self.page)
                self.page = False
                self.new_page()
                i += 1
            else:
                i = self.step(job, i)
        return pages


class Canon(Reader):
    order, nxt = b"", 0

    def new_page(self):
        self.nxt = 0

    def step(self, job, i):
        if not (job[i] == 0x1B and i + 4 < len(job) and job[i + 1] in b"(["):
            return i + 1
        n = job[i + 3] | job[i + 4] << 8
        body = job[i + 5:i + 5 + n]
        cmd = job[i + 1:i + 3]
        if cmd == b"(A" and n and chr(body[0]) not in "Kk":
            self.page = self.page or unpack_has_ink(body[1:], True)
        elif cmd == b"(L":
            self.order, self.nxt = body, 0
        elif cmd == b"(F" and self.order:
            letter = self.order[self.nxt % len(self.order)]
            self.nxt += 1
            if chr(letter if letter < 0x60 + 0x41 else letter - 0x60) not in "Kk":
                self.page = self.page or unpack_has_ink(body, True)
        return i + 5 + n


class Escp2(Reader):
    """Gutenprint's ESC/P2: ESC i colour compression bits bytes-per-row(2) rows(2)."""

    def step(self, job, i):
        if job[i] != 0x1B or i + 1 >= len(job):
            return i + 1
        c = job[i + 1]
        if c == ord("("):
            return i + 5 + (job[i + 3] | job[i + 4] << 8)
        if c != ord("i"):
            return i + 2
        colour, comp = job[i + 2], job[i + 3]
        per_row, rows = struct.unpack("<HH", job[i + 5:i + 9])
        i += 9
        size = per_row * rows
        start, out = i, 0
        if comp == 0:
            i += size
        while comp and out < size and i < len(job):
            n = job[i]
            literal = n <= 127
            i += 1 + (n + 1 if literal else 1)  # the count, then its bytes or the repeated byte
            out += n + 1 if literal else 257 - n
        data = job[start:i]
        if colour & 0x0F:
            self.page = self.page or (any(data) if comp == 0 else unpack_has_ink(data, False))
        return i


def lexmark(job):
    pages, page, i = [], False, 0
    while i + 8 <= len(job):
        code = job[i + 1]
        step = 8
        if code == 0x40 and job[i + 2] & 0x80:
            page = True
        elif code == 0x43:
            step += job[i + 2] << 16 | job[i + 3] << 8 | job[i + 4]
        elif code == 0x22:
            pages.append(page)
            page = False
        i += step
    return pages


def ppa(job):
    pages, page, i = [], False, 0
    while i + 4 <= len(job) and job[i] == ord("$"):
        n = job[i + 2] << 8 | job[i + 3]
        p = job[i + 4:i + 4 + n]
        if job[i + 1] == 1 and n >= 8:
            data = None
            if n >= 16 and (p[2] << 8 | p[3]) == n:
                data = p[16:]
            elif (p[6] << 8 | p[7]) == n - 8:
                data = p[8:]
            if data:
                cmd = p[0] << 8 | p[1]
                if cmd in (19, 0x181) and data[0] == 2:
                    pages.append(page)
                    page = False
                elif cmd in (18, 0x180) and len(data) > 3 and data[3] != 1:
                    page = True
        i += 4 + n
    return pages


ESC_PAGE_COMMAND = re.compile(rb"\x1d([0-9;.\-]*)([a-z]*)(\{?)([A-Z])")


class EscPage(Reader):
    fill, image = False, False

    def step(self, job, i):
        m = ESC_PAGE_COMMAND.match(job, i) if job[i] == 0x1D else None
        if not m:
            return i + 1
        params = [int(v.split(b".")[0] or 0) for v in m.group(1).split(b";")] if m.group(1) else []
        name = m.group(2) + m.group(4)
        i = m.end()
        if m.group(3):  # data: its length is the first parameter
            size = params[0] if params else 0
            data = job[i:i + size]
            if self.image:
                self.page = self.page or any(
                    data[k] != data[k + 1] or data[k + 1] != data[k + 2] for k in range(0, len(data) - 2, 3))
            else:
                self.page = self.page or self.fill
            return i + size
        if name == b"fpE" and len(params) >= 6:
            self.fill = params[3] != params[4] or params[4] != params[5]
        elif name.endswith(b"pG") and name != b"bgpG":
            self.page = self.page or self.fill
        elif name in (b"scrI", b"ecrI"):
            self.image = name == b"scrI"
        return i


def main():
    tag, path = sys.argv[1], sys.argv[2]
    job = open(path, "rb").read()
    readers = {"CANON": lambda: Canon().pages(job), "ESCP2": lambda: Escp2().pages(job),
               "ESC_PAGE": lambda: EscPage().pages(job), "Lexmark": lambda: lexmark(job), "PPA": lambda: ppa(job)}
    pages = readers[tag]()
    print("".join("C" if p else "M" for p in pages))


if __name__ == "__main__":
    main()
