// CaPSL, the page language of Canon's LBP page printers, as the cjet driver
// writes it: ISO 6429 controls and escape sequences between text. A control
// sequence is CSI (ESC [), parameter bytes, intermediate bytes and a final
// byte; three carry data of the length their first parameter states:
// CSI #;#;# .r (a raster block), CSI # .v (bytes printed as they stand) and
// CSI #;#;# .q (a downloaded character). Control strings (ESC P ... ESC \)
// are stepped over whole. A job opens with ESC ; (ISO mode) and ESC < (soft
// reset).
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::vendor {

enum class CapslKind : uint8_t { Text, Control, Escape, Sequence, String };

struct CapslItem {
    CapslKind kind = CapslKind::Text;
    uint8_t final = 0;         // the control byte, or the escape's or sequence's final byte
    uint8_t intermediate = 0;  // the first intermediate byte, 0 when none
    uint8_t intermediates = 0;
    bool privateParameters = false;  // parameters opening with "<", "=", ">" or "?"
    bool marks = false;              // text of a glyph, or data printed
    uint64_t value = 0;              // the first parameter (0 when none)
    uint32_t next = 0;               // past the item and its data
};
enum class CapslRead { Ok, Invalid, Cut };

// Reads the item at `at`.
CapslRead ReadCapslItem(Bytes b, uint32_t at, CapslItem& item) noexcept;

// Counts a CaPSL job. QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountCapsl(Bytes job, accurate::Result& out);

}  // namespace qm::vendor
