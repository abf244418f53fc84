// XQX, the host-based stream of HP's LaserJet P1005/P1505/M1005 class: a PJL
// header, then ",XQX" and big-endian records of a type and a count. Document
// and page starts carry `count` items (a type, a size, then `size` bytes of
// value); a plane's start carries its items too, the first of a plane with its
// JBIG header (BIH) item; a JBIG record carries `count` bytes of coded data;
// the other records carry nothing.
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::gdi {

enum class XqxRecord : uint32_t {
    StartDoc = 1, EndDoc = 2, StartPage = 3, EndPage = 4, StartPlane = 5, EndPlane = 6, Jbig = 7,
};

// One record read at `at`: its type, count and the offset just past it
// (items or data included). ok false when the record is not one (unknown
// type, items that do not parse) or does not fit in `b` (cut: true then).
struct XqxStep {
    uint32_t type = 0, count = 0;
    uint32_t next = 0;
    bool ok = false, cut = false;
};
XqxStep ReadXqxRecord(Bytes b, uint32_t at) noexcept;

// Where the ",XQX" signature stands in a job's body.
inline constexpr uint32_t kXqxSignature = 4;

// Counts an XQX job (its PJL header included). QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountXqx(Bytes job, accurate::Result& out);

}  // namespace qm::gdi
