// The ESC/P2 interpreter: four handler objects, one per command group, and
// three dispatch tables that map a command byte to a group and an operation.
// Only the page-format handler keeps state that reaches the result; the others
// consume their commands' arguments so that no argument or image byte is ever
// read as a command.
#pragma once

#include <cstdint>

#include "escp/commandstream.h"
#include "escp/escp2_commands.h"
#include "quirometer/quirometer.h"

namespace qm::escp2 {

// Common base of the handlers: one operation per command, each reading its own
// arguments from the stream. The base versions read nothing and answer false.
class CommandHandler {
public:
    explicit CommandHandler(CommandStream& stream) : stream_(stream) {}
    CommandHandler(const CommandHandler&) = delete;
    CommandHandler& operator=(const CommandHandler&) = delete;
    virtual ~CommandHandler() = default;

#define QM_ESCP2_DECLARE_BASE(name) \
    virtual bool name() { return false; }
    QM_ESCP2_OPERATIONS(QM_ESCP2_DECLARE_BASE)
#undef QM_ESCP2_DECLARE_BASE

protected:
    CommandStream& stream_;
};

// Group 1: page format; holds what the job counted.
class PageFormatHandler : public virtual CommandHandler {
public:
    explicit PageFormatHandler(CommandStream& stream) : CommandHandler(stream) {}

    bool SetPageLength() override;
    bool SetBottomMargin() override;
    bool CancelBottomMargin() override;
    bool SetRightMargin() override;
    bool SetLeftMargin() override;
    bool SetHorzTabs() override;
    bool SetVertTabs() override;
    bool SetPageLengthInDefinedUnit() override;
    bool SetPageSizeInDefinedUnit() override;
    bool SetPagFormat() override;
    bool RemoteCommand() override;
    bool SetUnit() override;
    bool PrintDataAsChars() override;
    bool SetGraphicsMode() override;

    void AddPage() { ++pages; }
    void SetColor() { color = 1; }
    void SetPaperSize(uint16_t width, uint16_t length) {
        pageWidth = width;
        pageLength = length;
    }
    // Back to the power-on page format; pages and colour stay.
    void Reset();

    static constexpr float kDefaultLength = 3960.0f;  // 11 inches in 1/360 inch
    static constexpr float kDefaultWidth = 3060.0f;   // 8.5 inches

    uint32_t pages = 0;
    double unit = 1.0;  // one defined unit of the ESC ( commands, in 1/360 inch
    float pageLength = kDefaultLength;
    float pageWidth = kDefaultWidth;
    uint8_t color = 0;
};

// Group 2: movement and graphics; owns the hook for bytes no table knows.
class MovementHandler : public virtual CommandHandler {
public:
    explicit MovementHandler(CommandStream& stream) : CommandHandler(stream) {}

    bool CarriageReturn() override;
    bool LineFeed() override;
    bool FormFeed() override;
    bool HorzTab() override;
    bool VertTab() override;
    bool BackSpace() override;
    bool CancelLine() override;
    bool DeleteLastCharInBuffer() override;
    bool SetAbsoluteHorzPos() override;
    bool SetRelativeHorzPos() override;
    bool AdvanceVertical() override;
    bool PrintRaster() override;
    bool PrintColorRaster() override;
    bool SelectBitImage() override;
    bool ReassignBitImageMode() override;
    bool Select60DPIGraph() override;
    bool Select120DPIGraph() override;
    bool Select120DPIDblSpdGraph() override;
    bool Select240DPIGraph() override;
    bool SelectColor() override;
    bool SetAbsoluteVertPos() override;
    bool SetRelativeVertPos() override;
    bool Select18LineSpace() override;
    bool Select16LineSpace() override;
    bool Set180LineSpace() override;
    bool Set360LineSpace() override;
    bool Set60LineSpace() override;

    // Text and unknown codes change nothing that is counted.
    void UnknownCommand(uint8_t) {}
    void Reset() {}
};

// Group 3: character set and style; consumes arguments only.
class CharacterHandler : public virtual CommandHandler {
public:
    explicit CharacterHandler(CommandStream& stream) : CommandHandler(stream) {}

#define QM_ESCP2_DECLARE_OVERRIDE(name) bool name() override;
    QM_ESCP2_DECLARE_OVERRIDE(SelectCondensed)
    QM_ESCP2_DECLARE_OVERRIDE(CancelCondensed)
    QM_ESCP2_DECLARE_OVERRIDE(SelectDoubleWide)
    QM_ESCP2_DECLARE_OVERRIDE(CancelDoubleWide)
    QM_ESCP2_DECLARE_OVERRIDE(SelectCharTable)
    QM_ESCP2_DECLARE_OVERRIDE(SelectIntlCharSet)
    QM_ESCP2_DECLARE_OVERRIDE(DefineUserDefChars)
    QM_ESCP2_DECLARE_OVERRIDE(CopyRomToRam)
    QM_ESCP2_DECLARE_OVERRIDE(SelectUserDefSet)
    QM_ESCP2_DECLARE_OVERRIDE(SelectLQorDraft)
    QM_ESCP2_DECLARE_OVERRIDE(SelectTypeface)
    QM_ESCP2_DECLARE_OVERRIDE(SelectFontBySize)
    QM_ESCP2_DECLARE_OVERRIDE(SetHMI)
    QM_ESCP2_DECLARE_OVERRIDE(Select105Pt10Cpi)
    QM_ESCP2_DECLARE_OVERRIDE(Select105Pt12Cpi)
    QM_ESCP2_DECLARE_OVERRIDE(Select105Pt15Cpi)
    QM_ESCP2_DECLARE_OVERRIDE(TogglePropSpacing)
    QM_ESCP2_DECLARE_OVERRIDE(SetIntercharSpace)
    QM_ESCP2_DECLARE_OVERRIDE(SelectBold)
    QM_ESCP2_DECLARE_OVERRIDE(CancelBold)
    QM_ESCP2_DECLARE_OVERRIDE(SelectItalic)
    QM_ESCP2_DECLARE_OVERRIDE(CancelItalic)
    QM_ESCP2_DECLARE_OVERRIDE(MasterSelect)
    QM_ESCP2_DECLARE_OVERRIDE(SelectDoubleStrike)
    QM_ESCP2_DECLARE_OVERRIDE(CancelDoubleStrike)
    QM_ESCP2_DECLARE_OVERRIDE(ToggleUnderline)
    QM_ESCP2_DECLARE_OVERRIDE(SelectSuperSubScript)
    QM_ESCP2_DECLARE_OVERRIDE(CancelSuperSubScript)
    QM_ESCP2_DECLARE_OVERRIDE(SelectCharStyle)
    QM_ESCP2_DECLARE_OVERRIDE(ToggleDoubleWide)
    QM_ESCP2_DECLARE_OVERRIDE(ToggleDoubleHigh)
    QM_ESCP2_DECLARE_OVERRIDE(AssignCharTable)
    QM_ESCP2_DECLARE_OVERRIDE(SelectStrikeThrough)
#undef QM_ESCP2_DECLARE_OVERRIDE

    void Reset() {}
};

// Group 4: printer control; ESC @ resets the other handlers.
class PrinterControlHandler : public virtual CommandHandler {
public:
    explicit PrinterControlHandler(CommandStream& stream) : CommandHandler(stream) {}

    bool Beeper() override;
    bool SelectPrinter() override;
    bool DeselectPrinter() override;
    bool EnableUpperCodePrinting() override;
    bool EnableUpperCodes() override;
    bool ControlPaperLoading() override;
    bool ToggleUniDir() override;
    bool SelectUniDir() override;
    bool InitializePrinter() override;
    bool CancelMSBControl() override;
    bool SetMSBToZero() override;
    bool SetMSBToReal() override;
};

// The handler objects of the running count, one per group. The host never
// runs two ESC/P2 counts at once.
extern PageFormatHandler* gPageFormat;
extern MovementHandler* gMovement;
extern CharacterHandler* gCharacter;
extern PrinterControlHandler* gPrinterControl;

using Operation = bool (CommandHandler::*)();

// One row of a dispatch table; a row without an operation ends the table.
struct CommandEntry {
    uint8_t code;
    uint8_t group;  // 1 page format, 2 movement, 3 character, 4 printer control
    Operation operation;
};

extern const CommandEntry kControlTable[];
extern const CommandEntry kEscTable[];
extern const CommandEntry kEscParenTable[];

// Runs the first row of `table` that holds `code`; true when one did. A code
// no row holds goes to the movement handler's hook.
bool Dispatch(const CommandEntry* table, uint8_t code, CommandStream& stream);

// Interprets the stream to its end.
void Interpret(CommandStream& stream);

// One whole count over an open stream: creates the handlers, interprets,
// builds the record (at least one page) and releases the handlers. Raises
// BadRasterArgument, and allocation failures, as the interpreter does.
PageCountResult CountStream(CommandStream& stream);

}  // namespace qm::escp2
