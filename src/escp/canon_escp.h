// ESC/P mode of the Canon Bubble Jet counter: the ESC/P2 command set read
// exactly as the ESC/P2 counter reads it (escp2_commands.h), with every command
// traced to standard output and ESC [ K to switch to raster mode. Only form
// feeds, the colour commands and the page-format commands change the count.
#pragma once

#include <cstdint>
#include <span>

#include "escp/canon.h"
#include "escp/escp2_commands.h"

// The ESC/P-mode operations: the 86 ESC/P2 command operations in their slot
// order, then slot 87.
#define QM_CANON_ESCP_OPERATIONS(X) QM_ESCP2_OPERATIONS(X) X(SetInitialCondition)

namespace qm::canon {

// Common base of the ESC/P-mode handlers. The base versions read nothing and
// answer 1; results 0 and 1 go on, 2 asks for raster mode, 3 for ESC/P mode.
class TraceCommandHandler {
public:
    explicit TraceCommandHandler(CommandStream& stream) : stream_(stream) {}
    TraceCommandHandler(const TraceCommandHandler&) = delete;
    TraceCommandHandler& operator=(const TraceCommandHandler&) = delete;
    virtual ~TraceCommandHandler() = default;

#define QM_CANON_DECLARE_BASE(name) \
    virtual int name() { return 1; }
    QM_CANON_ESCP_OPERATIONS(QM_CANON_DECLARE_BASE)
#undef QM_CANON_DECLARE_BASE

protected:
    CommandStream& stream_;
};

#define QM_CANON_DECLARE_OVERRIDE(name) int name() override;

// Group 1: page format; holds what an ESC/P run counted.
class TracePageFormatHandler : public virtual TraceCommandHandler {
public:
    explicit TracePageFormatHandler(CommandStream& stream) : TraceCommandHandler(stream) { Reset(); }

    QM_CANON_DECLARE_OVERRIDE(SetPageLength)
    QM_CANON_DECLARE_OVERRIDE(SetBottomMargin)
    QM_CANON_DECLARE_OVERRIDE(CancelBottomMargin)
    QM_CANON_DECLARE_OVERRIDE(SetRightMargin)
    QM_CANON_DECLARE_OVERRIDE(SetLeftMargin)
    QM_CANON_DECLARE_OVERRIDE(SetHorzTabs)
    QM_CANON_DECLARE_OVERRIDE(SetVertTabs)
    QM_CANON_DECLARE_OVERRIDE(SetPageLengthInDefinedUnit)
    QM_CANON_DECLARE_OVERRIDE(SetPageSizeInDefinedUnit)
    QM_CANON_DECLARE_OVERRIDE(SetPagFormat)
    QM_CANON_DECLARE_OVERRIDE(RemoteCommand)
    QM_CANON_DECLARE_OVERRIDE(SetUnit)
    QM_CANON_DECLARE_OVERRIDE(PrintDataAsChars)
    QM_CANON_DECLARE_OVERRIDE(SetGraphicsMode)

    void AddPage() { ++pages; }
    void SetColor() { color = 1; }
    void SetPaperSize(uint16_t width, uint16_t length) {
        pageWidth = width;
        pageLength = length;
    }
    // Back to the power-on page format, colour cleared; pages stay.
    void Reset();

    uint32_t pages = 0;
    double unit = 1.0;  // one defined unit of the ESC ( commands, in 1/360 inch
    float pageLength = 3960.0f;
    float pageWidth = 3060.0f;
    uint8_t color = 0;
    bool graphicsMode = false;  // only traced
};

// Group 2: movement and graphics; owns the hook for bytes no table knows.
class TraceMovementHandler : public virtual TraceCommandHandler {
public:
    explicit TraceMovementHandler(CommandStream& stream) : TraceCommandHandler(stream) {}

    QM_CANON_DECLARE_OVERRIDE(CarriageReturn)
    QM_CANON_DECLARE_OVERRIDE(LineFeed)
    QM_CANON_DECLARE_OVERRIDE(FormFeed)
    QM_CANON_DECLARE_OVERRIDE(HorzTab)
    QM_CANON_DECLARE_OVERRIDE(VertTab)
    QM_CANON_DECLARE_OVERRIDE(BackSpace)
    QM_CANON_DECLARE_OVERRIDE(CancelLine)
    QM_CANON_DECLARE_OVERRIDE(DeleteLastCharInBuffer)
    QM_CANON_DECLARE_OVERRIDE(SetAbsoluteHorzPos)
    QM_CANON_DECLARE_OVERRIDE(SetRelativeHorzPos)
    QM_CANON_DECLARE_OVERRIDE(AdvanceVertical)
    QM_CANON_DECLARE_OVERRIDE(PrintRaster)
    QM_CANON_DECLARE_OVERRIDE(PrintColorRaster)
    QM_CANON_DECLARE_OVERRIDE(SelectBitImage)
    QM_CANON_DECLARE_OVERRIDE(ReassignBitImageMode)
    QM_CANON_DECLARE_OVERRIDE(Select60DPIGraph)
    QM_CANON_DECLARE_OVERRIDE(Select120DPIGraph)
    QM_CANON_DECLARE_OVERRIDE(Select120DPIDblSpdGraph)
    QM_CANON_DECLARE_OVERRIDE(Select240DPIGraph)
    QM_CANON_DECLARE_OVERRIDE(SelectColor)
    QM_CANON_DECLARE_OVERRIDE(SetAbsoluteVertPos)
    QM_CANON_DECLARE_OVERRIDE(SetRelativeVertPos)
    QM_CANON_DECLARE_OVERRIDE(Select18LineSpace)
    QM_CANON_DECLARE_OVERRIDE(Select16LineSpace)
    QM_CANON_DECLARE_OVERRIDE(Set180LineSpace)
    QM_CANON_DECLARE_OVERRIDE(Set360LineSpace)
    QM_CANON_DECLARE_OVERRIDE(Set60LineSpace)

    // Writes the byte as a character.
    void UnknownCommand(uint8_t code);
    void Reset() {}
};

// Group 3: character set and style.
class TraceCharacterHandler : public virtual TraceCommandHandler {
public:
    explicit TraceCharacterHandler(CommandStream& stream) : TraceCommandHandler(stream) {}

    QM_CANON_DECLARE_OVERRIDE(SelectCondensed)
    QM_CANON_DECLARE_OVERRIDE(CancelCondensed)
    QM_CANON_DECLARE_OVERRIDE(SelectDoubleWide)
    QM_CANON_DECLARE_OVERRIDE(CancelDoubleWide)
    QM_CANON_DECLARE_OVERRIDE(SelectCharTable)
    QM_CANON_DECLARE_OVERRIDE(SelectIntlCharSet)
    QM_CANON_DECLARE_OVERRIDE(DefineUserDefChars)
    QM_CANON_DECLARE_OVERRIDE(CopyRomToRam)
    QM_CANON_DECLARE_OVERRIDE(SelectUserDefSet)
    QM_CANON_DECLARE_OVERRIDE(SelectLQorDraft)
    QM_CANON_DECLARE_OVERRIDE(SelectTypeface)
    QM_CANON_DECLARE_OVERRIDE(SelectFontBySize)
    QM_CANON_DECLARE_OVERRIDE(SetHMI)
    QM_CANON_DECLARE_OVERRIDE(Select105Pt10Cpi)
    QM_CANON_DECLARE_OVERRIDE(Select105Pt12Cpi)
    QM_CANON_DECLARE_OVERRIDE(Select105Pt15Cpi)
    QM_CANON_DECLARE_OVERRIDE(TogglePropSpacing)
    QM_CANON_DECLARE_OVERRIDE(SetIntercharSpace)
    QM_CANON_DECLARE_OVERRIDE(SelectBold)
    QM_CANON_DECLARE_OVERRIDE(CancelBold)
    QM_CANON_DECLARE_OVERRIDE(SelectItalic)
    QM_CANON_DECLARE_OVERRIDE(CancelItalic)
    QM_CANON_DECLARE_OVERRIDE(MasterSelect)
    QM_CANON_DECLARE_OVERRIDE(SelectDoubleStrike)
    QM_CANON_DECLARE_OVERRIDE(CancelDoubleStrike)
    QM_CANON_DECLARE_OVERRIDE(ToggleUnderline)
    QM_CANON_DECLARE_OVERRIDE(SelectSuperSubScript)
    QM_CANON_DECLARE_OVERRIDE(CancelSuperSubScript)
    QM_CANON_DECLARE_OVERRIDE(SelectCharStyle)
    QM_CANON_DECLARE_OVERRIDE(ToggleDoubleWide)
    QM_CANON_DECLARE_OVERRIDE(ToggleDoubleHigh)
    QM_CANON_DECLARE_OVERRIDE(AssignCharTable)
    QM_CANON_DECLARE_OVERRIDE(SelectStrikeThrough)

    void Reset() {}
};

// Group 4: printer control, ESC @ and ESC [ K.
class TracePrinterControlHandler : public virtual TraceCommandHandler {
public:
    explicit TracePrinterControlHandler(CommandStream& stream) : TraceCommandHandler(stream) {}

    QM_CANON_DECLARE_OVERRIDE(Beeper)
    QM_CANON_DECLARE_OVERRIDE(SelectPrinter)
    QM_CANON_DECLARE_OVERRIDE(DeselectPrinter)
    QM_CANON_DECLARE_OVERRIDE(EnableUpperCodePrinting)
    QM_CANON_DECLARE_OVERRIDE(EnableUpperCodes)
    QM_CANON_DECLARE_OVERRIDE(ControlPaperLoading)
    QM_CANON_DECLARE_OVERRIDE(ToggleUniDir)
    QM_CANON_DECLARE_OVERRIDE(SelectUniDir)
    QM_CANON_DECLARE_OVERRIDE(InitializePrinter)
    QM_CANON_DECLARE_OVERRIDE(CancelMSBControl)
    QM_CANON_DECLARE_OVERRIDE(SetMSBToZero)
    QM_CANON_DECLARE_OVERRIDE(SetMSBToReal)
    QM_CANON_DECLARE_OVERRIDE(SetInitialCondition)
};

#undef QM_CANON_DECLARE_OVERRIDE

// The ESC/P-mode handlers of the running Canon count. The host never runs two
// Canon counts at once; an ESC/P2 count uses pointers of its own.
extern TracePageFormatHandler* gTracePageFormat;
extern TraceMovementHandler* gTraceMovement;
extern TraceCharacterHandler* gTraceCharacter;
extern TracePrinterControlHandler* gTracePrinterControl;

using TraceOperation = int (TraceCommandHandler::*)();

// One row of an ESC/P-mode dispatch table.
struct TraceCommandEntry {
    uint8_t code;
    uint8_t group;
    TraceOperation operation;
};
// An ESC/P-mode dispatch table: its rows, searched in order.
using TraceCommandTable = std::span<const TraceCommandEntry>;

extern const TraceCommandTable kTraceControlTable;
extern const TraceCommandTable kTraceEscTable;
extern const TraceCommandTable kTraceEscParenTable;
extern const TraceCommandTable kTraceEscBracketTable;

// Runs the first row of `table` that holds `code` and gives its result; a code
// no row holds is written by the movement handler's hook and gives 1.
int TraceDispatch(TraceCommandTable table, uint8_t code);

// One ESC/P run over the stream with the handlers in place: the mode that
// comes next (raster or ESC/P as a command asked, or the end of the data).
int InterpretEscp(CommandStream& stream);

}  // namespace qm::canon
