// OPL, the stream foo2lava writes for Konica Minolta's magicolor 2480 MF
// (its -z1 model): items "Name=value;" one after another, no header, no
// separator. A raster item, "RasterObject.Data#N=", carries N bytes of
// JBIG data, then its ";". The job opens with "Event=StartOfJob;" and
// closes with "Event=EndOfJob;"; each page ends with "Event=EndOfPage;".
#pragma once

#include <cstdint>
#include <string_view>

#include "accurate/accurate.h"

namespace qm::gdi {

struct OplItem {
    std::string_view name, value;  // value empty for a raster item
    bool raster = false;
    uint32_t next = 0;  // just past the item's ";"
};
enum class OplRead { Ok, Invalid, Cut };
// Reads the item at `at`.
OplRead ReadOplItem(Bytes b, uint32_t at, OplItem& item) noexcept;

// Whether the job's body opens with the job's start event.
bool OpensOpl(Bytes body) noexcept;

// Counts an OPL job. QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountOpl(Bytes job, accurate::Result& out);

}  // namespace qm::gdi
