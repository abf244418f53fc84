// The ESC/P2 command set as data: the command operations in slot order, the
// three dispatch tables' rows, and how many bytes each command consumes after
// its code byte (its arguments, then its image, character or remote data).
// Every interpreter that reads this command set consumes through the functions
// below, so a byte is never taken once as an argument by one reader and as a
// command by another; a 0x0C among argument or image bytes never ejects a page.
#pragma once

#include <cstdint>

#include "escp/commandstream.h"

// The command operations of a handler, in slot order (slot 1 first).
#define QM_ESCP2_OPERATIONS(X)                                                                           \
    X(CarriageReturn) X(LineFeed) X(FormFeed) X(HorzTab) X(VertTab) X(BackSpace) X(CancelLine)             \
    X(DeleteLastCharInBuffer) X(SetAbsoluteHorzPos) X(SetRelativeHorzPos) X(AdvanceVertical)              \
    X(PrintRaster) X(PrintColorRaster) X(SelectBitImage) X(ReassignBitImageMode) X(Select60DPIGraph)      \
    X(Select120DPIGraph) X(Select120DPIDblSpdGraph) X(Select240DPIGraph) X(SelectColor)                   \
    X(SetAbsoluteVertPos) X(SetRelativeVertPos) X(SelectCondensed) X(CancelCondensed) X(SelectDoubleWide) \
    X(CancelDoubleWide) X(Select18LineSpace) X(Select16LineSpace) X(Set180LineSpace) X(Set360LineSpace)   \
    X(Set60LineSpace) X(SelectCharTable) X(SelectIntlCharSet) X(DefineUserDefChars) X(CopyRomToRam)       \
    X(SelectUserDefSet) X(SelectLQorDraft) X(SelectTypeface) X(SelectFontBySize) X(SetHMI)                \
    X(Select105Pt10Cpi) X(Select105Pt12Cpi) X(Select105Pt15Cpi) X(TogglePropSpacing) X(SetIntercharSpace) \
    X(SelectBold) X(CancelBold) X(SelectItalic) X(CancelItalic) X(MasterSelect) X(SelectDoubleStrike)     \
    X(CancelDoubleStrike) X(ToggleUnderline) X(SelectSuperSubScript) X(CancelSuperSubScript)              \
    X(SelectCharStyle) X(ToggleDoubleWide) X(ToggleDoubleHigh) X(AssignCharTable) X(SelectStrikeThrough)  \
    X(SetPageLength) X(SetBottomMargin) X(CancelBottomMargin) X(SetRightMargin) X(SetLeftMargin)          \
    X(SetHorzTabs) X(SetVertTabs) X(SetPageLengthInDefinedUnit) X(SetPageSizeInDefinedUnit)               \
    X(SetPagFormat) X(RemoteCommand) X(SetUnit) X(PrintDataAsChars) X(SetGraphicsMode) X(Beeper)          \
    X(SelectPrinter) X(DeselectPrinter) X(EnableUpperCodePrinting) X(EnableUpperCodes)                    \
    X(ControlPaperLoading) X(ToggleUniDir) X(SelectUniDir) X(InitializePrinter) X(CancelMSBControl)       \
    X(SetMSBToZero) X(SetMSBToReal)

// Rows of the table of single control bytes: X(code, operation, group).
#define QM_ESCP2_CONTROL_ROWS(X)                                                                      \
    X(0x0D, CarriageReturn, 2) X(0x0A, LineFeed, 2) X(0x0C, FormFeed, 2) X(0x09, HorzTab, 2)            \
    X(0x0B, VertTab, 2) X(0x08, BackSpace, 2) X(0x0F, SelectCondensed, 3) X(0x12, CancelCondensed, 3)   \
    X(0x0E, SelectDoubleWide, 3) X(0x14, CancelDoubleWide, 3) X(0x07, Beeper, 4) X(0x18, CancelLine, 2) \
    X(0x7F, DeleteLastCharInBuffer, 2) X(0x11, SelectPrinter, 4) X(0x13, DeselectPrinter, 4)

// Rows of the table of the byte after ESC.
#define QM_ESCP2_ESC_ROWS(X)                                                                          \
    X('C', SetPageLength, 1) X('N', SetBottomMargin, 1) X('O', CancelBottomMargin, 1)                   \
    X('Q', SetRightMargin, 1) X('I', SetLeftMargin, 1) X('$', SetAbsoluteHorzPos, 2)                    \
    X('\\', SetRelativeHorzPos, 2) X('J', AdvanceVertical, 2) X('0', Select18LineSpace, 2)              \
    X('2', Select16LineSpace, 2) X('3', Set180LineSpace, 2) X('+', Set360LineSpace, 2)                  \
    X('A', Set60LineSpace, 2) X('D', SetHorzTabs, 1) X('B', SetVertTabs, 1) X('t', SelectCharTable, 3)  \
    X('R', SelectIntlCharSet, 3) X('&', DefineUserDefChars, 3) X(':', CopyRomToRam, 3)                  \
    X('%', SelectUserDefSet, 3) X('x', SelectLQorDraft, 3) X('k', SelectTypeface, 3)                    \
    X('X', SelectFontBySize, 3) X('c', SetHMI, 3) X('P', Select105Pt10Cpi, 3)                           \
    X('M', Select105Pt12Cpi, 3) X('g', Select105Pt15Cpi, 3) X('p', TogglePropSpacing, 3)                \
    X(' ', SetIntercharSpace, 3) X('E', SelectBold, 3) X('F', CancelBold, 3) X('4', SelectItalic, 3)    \
    X('5', CancelItalic, 3) X('!', MasterSelect, 3) X('G', SelectDoubleStrike, 3)                       \
    X('H', CancelDoubleStrike, 3) X('-', ToggleUnderline, 3) X('S', SelectSuperSubScript, 3)            \
    X('T', CancelSuperSubScript, 3) X('q', SelectCharStyle, 3) X(0x0F, SelectCondensed, 3)              \
    X(0x0E, SelectDoubleWide, 3) X('W', ToggleDoubleWide, 3) X('w', ToggleDoubleHigh, 3)                \
    X('6', EnableUpperCodePrinting, 4) X('7', EnableUpperCodes, 4) X(0x19, ControlPaperLoading, 4)      \
    X('U', ToggleUniDir, 4) X('<', SelectUniDir, 4) X('.', PrintRaster, 2) X('i', PrintColorRaster, 2)  \
    X('*', SelectBitImage, 2) X('?', ReassignBitImageMode, 2) X('K', Select60DPIGraph, 2)               \
    X('L', Select120DPIGraph, 2) X('Y', Select120DPIDblSpdGraph, 2) X('Z', Select240DPIGraph, 2)        \
    X('r', SelectColor, 2) X('@', InitializePrinter, 4) X('#', CancelMSBControl, 4)                     \
    X('=', SetMSBToZero, 4) X('>', SetMSBToReal, 4)

// Rows of the table of the byte after ESC (.
#define QM_ESCP2_ESC_PAREN_ROWS(X)                                                                    \
    X('C', SetPageLengthInDefinedUnit, 1) X('S', SetPageSizeInDefinedUnit, 1) X('R', RemoteCommand, 1)  \
    X('c', SetPagFormat, 1) X('V', SetAbsoluteVertPos, 2) X('v', SetRelativeVertPos, 2)                 \
    X('U', SetUnit, 1) X('t', AssignCharTable, 3) X('-', SelectStrikeThrough, 3)                        \
    X('^', PrintDataAsChars, 1) X('G', SetGraphicsMode, 1)

namespace qm::escp2 {

constexpr uint8_t kEsc = 0x1B;

// The command operations by slot number.
enum class Op : uint8_t {
    None = 0,
#define QM_ESCP2_ENUM(name) name,
    QM_ESCP2_OPERATIONS(QM_ESCP2_ENUM)
#undef QM_ESCP2_ENUM
    Count
};
static_assert(static_cast<int>(Op::Count) == 87, "86 command operations");

// Argument reads. A byte missing at the end of the data reads as 0; the caller
// goes on as if it had been there (the main loop then sees the end).
inline uint8_t ArgByte(CommandStream& s) {
    uint8_t b = 0;
    s.ReadByte(b);
    return b;
}
inline uint16_t ArgWord(CommandStream& s) {  // little-endian
    const uint8_t lo = ArgByte(s);
    return static_cast<uint16_t>(lo | (ArgByte(s) << 8));
}
inline uint32_t ArgLong(CommandStream& s) {  // little-endian
    const uint32_t lo = ArgWord(s);
    return lo | (uint32_t{ArgWord(s)} << 16);
}

// The fixed arguments of a command, in the order read. For the ESC ( commands
// v[0] is the 2-byte count that opens them.
struct Args {
    uint32_t v[4] = {};
};

// Reads the fixed arguments of `op` (nothing for a command that has none).
// For the data-carrying commands this is only the part before their data;
// the Take... functions below consume the rest.
Args TakeArgs(CommandStream& s, Op op);

// ESC C n: the page length in inches. ESC C NUL n gives the length in whole
// inches in its second byte, which is consumed too so that it is never taken
// for a command; the value n is returned (0 for that form).
uint8_t TakePageLength(CommandStream& s);

// ESC D / ESC B: tab stops up to and including the NUL that ends them.
void TakeTabStops(CommandStream& s);

// ESC & NUL first last, then per character three bytes a0 a1 a2 and 2 x a1
// data bytes. A range is refused when a code is above 127 or first > last.
struct UserChars {
    uint8_t first = 0;
    uint8_t last = 0;
    bool accepted() const noexcept { return first <= 127 && last <= 127 && first <= last; }
};
UserChars TakeUserCharsRange(CommandStream& s);
void TakeUserCharsData(CommandStream& s, const UserChars& range);  // nothing when refused

// ESC . c v h m w: `needed` is the image data the rows hold, 16-bit.
struct Raster {
    uint8_t compression = 0, v = 0, h = 0, rows = 0;
    uint16_t dots = 0;  // per row
    uint16_t needed = 0;
};
Raster TakeRasterHeader(CommandStream& s);

// ESC i r c b w k. A zero bits-per-dot value cannot describe any data: it
// raises BadRasterArgument.
struct ColorRaster {
    uint8_t color = 0, compression = 0, bits = 0;
    uint16_t bytesPerRow = 0, rows = 0;
    uint32_t dots = 0;  // per row
    uint16_t needed = 0;
};
struct BadRasterArgument {};
ColorRaster TakeColorRasterHeader(CommandStream& s);

// The image data of ESC . and ESC i: `needed` bytes, or with a compression
// other than 0 run-length encoded: a counter byte b <= 127 announces b + 1
// literal bytes, any other b one byte repeated 257 - b times. The remaining
// count is 16-bit and wraps. Stops at the end of the data.
void TakeImageData(CommandStream& s, uint8_t compression, uint16_t needed);

// ESC * m w: bytes per column by density mode, 0 for a mode not in the table.
uint8_t BytesPerColumn(uint8_t mode) noexcept;
struct BitImage {
    uint8_t mode = 0;
    uint16_t columns = 0;
    uint8_t bytesPerColumn = 0;
};
BitImage TakeBitImageHeader(CommandStream& s);
// columns x bytes per column (low 16 bits); nothing for an unknown mode.
void TakeBitImageData(CommandStream& s, const BitImage& image);

// ESC K / L / Y / Z: w, then w data bytes. Returns w.
uint16_t TakeGraphics(CommandStream& s);

// ESC ( ^: the count's data bytes, each handed to `sink` (skipped when sink is
// null); a count above 32767 has no data.
using CharSink = void (*)(void* context, uint8_t byte);
void TakeCharData(CommandStream& s, uint16_t count, CharSink sink, void* context);

// ESC ( R: the remote block, scanned up to ESC NUL without using its count.
// "ESC p NUL 3" and seven bytes eject a colour page; "ESC p NUL +" opens the
// paper-size groups M N W H. `Handler` offers SetColor(), AddPage() and
// SetPaperSize(width, length) in 1/360 inch.
bool ScanRemotePaperSize(CommandStream& s, uint16_t& width, uint16_t& length);

template <class Handler>
void TakeRemoteBlock(CommandStream& s, Handler& handler) {
    uint8_t c = 0;
    for (;;) {
        if (!s.ReadByte(c)) return;
        if (c == '+') {
            s.Skip(3);
            const uint8_t hi = ArgByte(s);
            const uint8_t lo = ArgByte(s);
            s.Skip(static_cast<uint16_t>(hi * 256 + lo));
            continue;
        }
        if (c != kEsc) continue;
        if (!s.ReadByte(c)) return;
        if (c == 0) return;  // the block is over
        if (c != 'p') continue;
        if (!s.ReadByte(c)) return;
        if (c != 0) continue;
        if (!s.ReadByte(c)) return;
        if (c == 3) {
            handler.SetColor();
            s.Skip(7);
            handler.AddPage();
        } else if (c == '+') {
            uint16_t width = 0, length = 0;
            if (ScanRemotePaperSize(s, width, length)) handler.SetPaperSize(width, length);
        }
    }
}

}  // namespace qm::escp2
