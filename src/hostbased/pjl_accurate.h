// The PJL header in front of a host-based job's records, read line by line:
// "@PJL SET KEY = VALUE" settings (blanks around "=" and the case of letters
// do not matter) up to the "@PJL ENTER LANGUAGE" line, after which the
// language's own records begin.
#pragma once

#include <cstdint>

#include "jobfile/bytes.h"

namespace qm::accurate {

enum class PjlDuplex : uint8_t { Unstated, Off, On };

struct PjlHeader {
    bool entered = false;   // an ENTER LANGUAGE line closed the header
    uint32_t body = 0;      // the first byte after that line (or where reading stopped)
    uint32_t copies = 0;    // COPIES (0 when unstated)
    uint32_t quantity = 0;  // QTY (0 when unstated)
    PjlDuplex duplex = PjlDuplex::Unstated;
    int colourMode = -1;    // COLORMODE: 1 colour, 0 monochrome, -1 unstated
    double paperWidth = 0.0;  // PAPER, by name; 0 when unstated or unknown
    double paperLength = 0.0;
    char language[16] = {};   // the language entered, upper case, cut to 15 bytes

    // The copies the header asks for: the larger of COPIES and QTY, at least 1.
    uint32_t Copies() const noexcept {
        const uint32_t c = copies > quantity ? copies : quantity;
        return c == 0 ? 1 : c;
    }
};

// Reads the header from `from` (a UEL in front of it is passed over). Lines
// that are not PJL end the header; so does a line longer than any PJL line a
// driver writes. Never reads past the data.
PjlHeader ReadPjlHeader(Bytes job, uint32_t from = 0) noexcept;

}  // namespace qm::accurate
