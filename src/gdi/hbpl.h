// HBPL version 2, the stream of Dell's, Xerox's and Fuji Xerox's host-based
// lasers (foo2hbpl2): a PJL header entering HBPL (copies, duplex and colour
// mode are PJL settings), then records of ESC, a two-letter type and a
// length byte, followed by that many bytes: JP (job parameters), DM, PS (page
// start, followed by the page's JBIG planes, as many bytes as its offset-12
// little-endian word states) and PE (page end); a UEL closes the job.
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::gdi {

struct HbplRecord {
    char type[2] = {};
    uint32_t body = 0;  // the record's own bytes (after its 4-byte header)
    uint32_t next = 0;  // past the record and, for a page start, its planes (the end: unset)
    bool end = false;   // the UEL
};
enum class HbplRead { Ok, Invalid, Cut };
HbplRead ReadHbplRecord(Bytes b, uint32_t at, HbplRecord& r) noexcept;

// Counts an HBPL job (its PJL header included). QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountHbpl(Bytes job, accurate::Result& out);

}  // namespace qm::gdi
