// PJL job attributes: the "@PJL SET" keys that counters try at every "@" of
// a job, the value capture behind them and the paper-name table.
//
// A counter owns a constexpr list of PjlKey (its keys, in the order in which
// they are tried) and a PjlAttributes; at each "@" it calls MatchPjl. The
// matcher keeps no state of its own.
#pragma once

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

}  // namespace qm
