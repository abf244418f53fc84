// The accurate counters of the host-based streams whose structure is walked
// record by record (the others pass their export's record through). Each
// reads headers only and steps over raster data by its declared length.
#pragma once

#include "accurate/accurate.h"

namespace qm::accurate {

// foo2zjs-style ZjStream: chunks with items; pages end with end-of-page chunks.
int32_t CountZjStream(Bytes job, Result& out);
// The sheet of foo2slx's Tally stream, from its last page chunk's paper code
// (or custom size); false when no page names a sheet we know.
bool ReadTallyPaper(Bytes job, double& width, double& length);
// OAKT records; pages end with end-of-page records.
int32_t CountOakt(Bytes job, Result& out);
// HIPERC records behind a PJL header; pages end with end-of-page records.
int32_t CountHiperc(Bytes job, Result& out);
// HP PPA packets; pages end with the eject command; colour from the sweeps.
int32_t CountPpa(Bytes job, Result& out);
// Lexmark 8-byte command streams with checksums (no job header); other
// Lexmark jobs pass through.
int32_t CountLexmarkChecked(Bytes job, Result& out);

// Lexmark's ESC "*" streams whose commands carry their own lengths: the
// c2050 driver's (Lexmark 2050) and Gutenprint's (Z42, Z52). They open with
// ESC "*" 0x80 and ESC "*" 7 (c2050) or with the ESC "*" 0x81 block.
bool OpensLexmarkEscape(const Bytes& job) noexcept;
struct LexmarkEscape {
    enum Kind : uint8_t { Other, Eject, BlackSwath, ColourSwath };
    uint64_t length = 0;  // counted from the ESC; 0: no command of these streams
    Kind kind = Other;
};
LexmarkEscape LexmarkEscapeCommand(const Bytes& job, uint32_t at) noexcept;
// Their pages end at ESC "*" 7 "e"; a page is colour when a swath of it is
// for the colour cartridge.
int32_t CountLexmarkEscape(Bytes job, Result& out);

// The export's record, copies at least 1, and the `unknown` fields marked;
// for languages whose structure no real job on hand lets us check. A job in
// which the export finds no page is not understood.
inline int32_t PassMarked(std::string_view tag, Bytes job, Result& out, uint32_t unknown) {
    const int32_t code = PassThrough(tag, job, out);
    if (code != QM_OK) return code;
    if (out.rec.pages == 0) return QM_E_NOT_UNDERSTOOD;
    if (out.rec.copies == 0) out.rec.copies = 1;
    out.unknown |= unknown;
    return QM_OK;
}

// Logs the page just ejected with its colour and, where the stream states
// it page by page, its paper (0 x 0: the job's).
inline void LogPage(Result& out, bool colour, double width = 0.0, double length = 0.0) {
    Page page;
    page.color = colour ? QM_PAGE_COLOR : QM_PAGE_MONO;
    page.paperWidth = width;
    page.paperLength = length;
    out.pages.Add(page);
}

// The size of a Windows paper code (DMPAPER_*); false when unknown.
bool WindowsPaper(uint32_t code, double& width, double& length) noexcept;

}  // namespace qm::accurate
