// DDST, the stream of Ricoh's SP 100/112/200 class of host-based lasers
// (foo2ddst): PJL lines alone, from the UEL that opens the job to the EOJ
// and UEL that close it. A page is "SET PAGESTATUS=START" to "SET
// PAGESTATUS=END", its settings (COPIES, PAPER, ...) in between and its one
// JBIG plane in pieces: each "SET IMAGELEN=n" line is followed by n bytes of
// data, the page's first piece opening with the plane's 20-byte JBIG header
// (BIH). The stream has no duplex and no colour.
#pragma once

#include <cstdint>
#include <string_view>

#include "accurate/accurate.h"

namespace qm::gdi {

enum class DdstKind : uint8_t { Other, PageStart, PageEnd, Image, Copies, Paper, EndOfJob };

struct DdstLine {
    DdstKind kind = DdstKind::Other;
    uint64_t value = 0;       // IMAGELEN, COPIES
    std::string_view paper;   // PAPER's value
    uint32_t data = 0;        // an image's data: its first byte
    uint32_t next = 0;        // past the line and an image's data (the end when cut)
    bool dataCut = false;     // the image's data runs past the end of the bytes
};
enum class DdstRead { Ok, Invalid, Cut };

// Reads the PJL line at `at` (and steps over an image's data).
DdstRead ReadDdstLine(Bytes b, uint32_t at, DdstLine& line) noexcept;

// Does a JBIG header (BIH) of one plane stand at `at`?
bool IsDdstBih(Bytes b, uint32_t at) noexcept;

// Counts a DDST job. QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountDdst(Bytes job, accurate::Result& out);

}  // namespace qm::gdi
