// The accurate count of the serial-printer languages (ESC/P2 and ESC/P, the
// Canon Bubble Jet modes, and the 8-bit control-sequence language some Canon
// ink jets take). The interpreters walk the job in memory by the lengths the
// commands state, so image bytes are never read as commands; they decide
// each page's colour from the ink planes the page really sends.
#pragma once

#include <cstdint>

#include "accurate/pages.h"
#include "jobfile/bytes.h"

namespace qm::serial {

// What a walk found. Lengths are in inches; 0 where the job does not say.
struct SerialCount {
    uint32_t pages = 0;
    bool color = false;          // some page sent ink on a colour plane
    bool colorKnown = true;      // false where the language's planes are not read
    bool duplex = false;         // the job asked for two-sided printing (remote mode DP)
    double paperWidth = 0.0;     // the sheet, when the job names or implies one
    double paperLength = 0.0;
    uint32_t commands = 0;         // commands recognised
    uint32_t unknownCommands = 0;  // escapes with no known length: the walk may have slipped
    bool truncated = false;        // a command claimed more bytes than the job holds
    bool understood = true;        // false: not this language at all
    accurate::PageLog pageLog;     // each page ejected, with its colour; empty where colour is not read
};

// ESC/P2 and ESC/P jobs.
SerialCount CountEscp2Job(Bytes job);

// Canon Bubble Jet jobs: the ESC/P-style emulation, the raster mode entered
// by ESC [ K, and jobs in the 8-bit control-sequence language.
SerialCount CountCanonJob(Bytes job);

// Run-length data: a count byte n announces n + 1 literal bytes for n <= 127,
// or one byte repeated 257 - n times for n >= 129. A count of 128 repeats its
// byte 129 times in ESC/P2 and is a no-op in the Canon coding.
enum class RunCoding : uint8_t { Escp2, Canon };

// Whether run-length data puts any ink down, judged by the bytes it expands to.
bool PackBitsHasInk(const uint8_t* data, uint32_t size, RunCoding coding) noexcept;

// The standard sheet a stated form length (and width, 0 when not stated)
// describes. Drivers state a form a little longer than the sheet (a bottom
// allowance); a width that matches names the sheet whose length the form
// covers. False when nothing matches.
bool StandardSheet(double width, double length, double& sheetWidth, double& sheetLength) noexcept;

}  // namespace qm::serial
