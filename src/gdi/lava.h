// LAVAFLOW, the stream of Konica Minolta's magicolor 1600W and 2530DL class
// (foo2lava): a PJL header entering LAVAFLOW, then escape sequences of one
// form, ESC, an intro byte, a group byte, a signed number and an upper-case
// terminator (never chained), or ESC and one upper-case letter (ESC E). Three
// carry data of the length their number states: ESC*g#W (the plane
// configuration), ESC*b#V (a JBIG header, or JBIG data with more to come)
// and ESC*b#W (the last JBIG data of a plane).
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::gdi {

struct LavaCommand {
    char intro = 0, group = 0, terminator = 0;  // ESC E: intro 0, terminator 'E'
    int64_t value = 0;
    uint32_t next = 0;  // just past the command and its data
};
enum class LavaRead { Ok, Invalid, Cut };
// ESC*b1234M: the JBIG compression foo2lava sets for each page.
inline bool IsJbigMode(const LavaCommand& c) noexcept {
    return c.intro == '*' && c.group == 'b' && c.terminator == 'M' && c.value == 1234;
}
// Reads the command at `at`.
LavaRead ReadLavaCommand(Bytes b, uint32_t at, LavaCommand& c) noexcept;

// Counts a LAVAFLOW job (its PJL header included). QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountLava(Bytes job, accurate::Result& out);

}  // namespace qm::gdi
