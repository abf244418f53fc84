// PJL job attributes, read two ways.
//
// The exports try "@PJL SET" keys at every "@" of a job: a counter owns a
// constexpr list of PjlKey (its keys, in the order in which they are tried)
// and a PjlAttributes; at each "@" it calls MatchPjl. The matcher keeps no
// state of its own.
//
// The accurate path reads PJL as a printer does, line by line
// (ReadPjlLines, ReadPjlHeader): detection, the accurate counters and the
// settings a header gives any job all use that one reader.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "jobfile/bytes.h"

namespace qm {

// What a matched key does.
enum class PjlAction : uint8_t {
    Quantity,     // value to the next LF read as a number into `quantity`
    Copies,       // value to the next LF read as a number into `copies`
    SetFlag,      // sets `flag`; scanning goes on after the key
    Paper,        // value to the next LF or CR looked up in the paper-name table
    ValueTest,    // blanks and "=" skipped, value to the next LF tested against `rules`
    PaperWidth,   // decipoints 3 bytes after the key, less `decipointBias`, over 720
    PaperLength,  // the same, into the paper length
    SkipLine,     // any other PJL line: scanning goes on after its LF
};

enum class PjlFlag : uint8_t { None, Duplex, Colour, Grey, ColourModeColour, Monochrome };

// One test of a ValueTest key: when the captured value begins with `prefix`
// the flag is set and `line` is sent with the index of the value.
struct PjlValueRule {
    std::string_view prefix;
    PjlFlag flag = PjlFlag::None;
    const char* line = nullptr;
};

struct PjlKey {
    std::string_view text;        // compared byte for byte from the "@"
    uint32_t threshold = 0;       // tried only when more bytes than this remain from the "@"
    PjlAction action = PjlAction::SkipLine;
    PjlFlag flag = PjlFlag::None;  // SetFlag
    int32_t decipointBias = 0;    // PaperWidth / PaperLength
    PjlValueRule rules[2] = {};   // ValueTest, tried in order; the first hit acts
};

struct PjlAttributes {
    int32_t quantity = 0;
    int32_t copies = 0;
    bool duplex = false;
    bool colour = false;
    bool grey = false;
    bool colourModeColour = false;
    bool monochrome = false;
    double paperWidth = 0.0;
    double paperLength = 0.0;

    void set(PjlFlag f) noexcept;
};

// Tries `keys` in order at the "@" at index i. When one matches it acts on it
// and sets i to the last byte it consumed (the caller then steps one byte on,
// as for any other byte) and returns true. Otherwise i is unchanged and the
// "@" is an ordinary byte. Nothing at or past the end of the job is read.
bool MatchPjl(Bytes job, uint32_t& i, std::span<const PjlKey> keys, PjlAttributes& attrs) noexcept;

// The value buffer: cleared before each copy; at most 31 value bytes, so it
// always ends in a zero byte.
inline constexpr uint32_t kPjlValueBuffer = 32;

struct PaperName {
    char name[16];  // zero-padded
    double width;
    double length;
};

// The paper-name table, searched in order.
extern const PaperName kPaperNames[19];

// Looks a captured value (the zero-padded 32-byte buffer) up by its first 11
// bytes: a name of up to 10 characters matches exactly, case included.
const PaperName* FindPaperName(const char (&value)[kPjlValueBuffer]) noexcept;

// Decimal conversion as the C runtime's atoi reads it, bounded by the data:
// leading white space, an optional sign, digits up to the first non-digit;
// no digits gives 0, values beyond 32 bits saturate.
int32_t PjlNumber(Bytes job, uint32_t i) noexcept;

// Keys shared by the counters. Each counter lists the ones it knows in its
// own order.
inline constexpr PjlKey kPjlQty{"@PJL SET QTY=", 13, PjlAction::Quantity};
inline constexpr PjlKey kPjlCopies{"@PJL SET COPIES=", 16, PjlAction::Copies};
inline constexpr PjlKey kPjlColorModeColor{"@PJL SET COLORMODE=COLOR", 34, PjlAction::SetFlag,
                                           PjlFlag::ColourModeColour};
inline constexpr PjlKey kPjlPaper{"@PJL SET PAPER=", 15, PjlAction::Paper};
inline constexpr PjlKey kPjlDuplexOn{"@PJL SET DUPLEX=ON", 18, PjlAction::SetFlag, PjlFlag::Duplex};
inline constexpr PjlKey kPjlPlanesInUse1{"@PJL SET PLANESINUSE=1", 22, PjlAction::SetFlag, PjlFlag::Grey};
inline constexpr PjlKey kPjlDataModeGrayscale{"@PJL SET DATAMODE=GRAYSCALE", 22, PjlAction::SetFlag,
                                              PjlFlag::Grey};
inline constexpr PjlKey kPjlPaperWidth{"@PJL SET PAPERWIDTH", 22, PjlAction::PaperWidth, PjlFlag::None, 2};
inline constexpr PjlKey kPjlOther{"@PJL", 4, PjlAction::SkipLine};

inline constexpr std::string_view kRenderModeKey = "@PJL SET RENDERMODE";
inline constexpr uint32_t kRenderModeThreshold = 19;
inline constexpr const char* kPclColourLine = "sheetler.dll!GetTotalPageCount_PCL: %X Color print!\n";
inline constexpr const char* kPclXlColourLine = "sheetler.dll!GetTotalPageCount_PCLXL: %X Color print!\n";
inline constexpr const char* kGreyLine = "sheetler.dll!GetTotalPageCount_PCL: %X Greyscale print!\n";

inline constexpr const char* kQtyLine = "sheetler.dll!GetTotalPageCount: %X found QTY command %d!\n";
inline constexpr const char* kCopiesLine = "sheetler.dll!GetTotalPageCount: %X found COPIES command %d!\n";

// What PJL lines set for the job. Lines are read as a printer reads them:
// "@PJL", a command word, then for SET and DEFAULT a key, "=" and a value;
// letters in any case, blanks and tabs anywhere between words, quotes
// around a value dropped. "SET LPARM:PCL KEY=..." (a PCL personality
// setting) counts as the key; another personality's setting does not.
enum class PjlDuplex : uint8_t { Unstated, Off, On };

struct PjlSettings {
    bool entered = false;    // an ENTER LANGUAGE line ended the lines read
    uint32_t copies = 0;     // COPIES; 0 unstated; saturates at 32 bits
    uint32_t quantity = 0;   // QTY (collated copies); 0 unstated
    PjlDuplex duplex = PjlDuplex::Unstated;  // DUPLEX: ON and MANUAL are two-sided
    int renderMode = -1;     // RENDERMODE: 1 COLOR, 0 GRAYSCALE, -1 unstated
    int colourMode = -1;     // COLORMODE: 1 COLOR, 0 any other value, -1 unstated
    double paperWidth = 0.0;   // PAPER, by name (the paper-name table); 0 unstated or unknown
    double paperLength = 0.0;
    char language[32] = {};  // the language entered, upper case, cut to 31 bytes

    // The copies asked for: the larger of COPIES and QTY, at least 1.
    uint32_t Copies() const noexcept {
        const uint32_t c = std::max(copies, quantity);
        return c == 0 ? 1 : c;
    }
    bool CopiesStated() const noexcept { return copies > 0 || quantity > 0; }
    // The printer renders the job in black and white.
    bool Mono() const noexcept { return renderMode == 0 || colourMode == 0; }
};

// A line longer than this is no PJL line: no driver writes one.
inline constexpr uint32_t kPjlLongestLine = 4096;

// Reads the PJL lines that start at i (blanks, tabs and line ends between
// them allowed) into `pjl` and returns the index of the first byte after
// them, or i when no "@PJL" line starts there. A line ends at its line feed
// or right before an ESC (a UEL may follow a line directly). Reading stops
// after an ENTER LANGUAGE line (the language's own bytes follow it), before
// a line that is not PJL, and before a line with no end within
// kPjlLongestLine bytes (unless the data ends there). A UEL is not read: it
// is the caller's.
uint32_t ReadPjlLines(Bytes job, uint32_t i, PjlSettings& pjl) noexcept;

// Reads the whole header in front of a job from `from`: UELs, NULs, 0x04, a
// UTF-8 BOM, line ends and a reset right before a UEL, and the PJL lines
// between them. Returns where the job proper starts: after the ENTER
// LANGUAGE line, or at the first byte that belongs to none of these.
uint32_t ReadPjlHeader(Bytes job, uint32_t from, PjlSettings& pjl) noexcept;

// Skips what spoolers and drivers put between the parts of a header (NULs,
// 0x04, CR, LF, a UTF-8 BOM, a UEL and a reset right before a UEL); sets
// `uel` when a UEL stood there. Returns the first other byte's index.
uint32_t SkipWrapperBytes(Bytes job, uint32_t i, bool& uel) noexcept;

}  // namespace qm
