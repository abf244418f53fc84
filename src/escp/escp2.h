// The ESC/P2 interpreter: four handler objects, one per command group, and
// three dispatch tables that map a command byte to a group and an operation.
// Only the page-format handler keeps state that reaches the result; the others
// consume their commands' arguments so that no argument or image byte is ever
// read as a command.
#pragma once

#include <cstdint>
#include <span>

#include "escp/commandstream.h"
#include "escp/escp2_commands.h"
#include "quirometer/quirometer.h"

namespace qm::escp2 {

// Common base of the handlers: one operation per command, each reading its own
// arguments from the stream. The base versions read nothing.
class CommandHandler {
public:
    explicit CommandHandler(CommandStream& stream) : stream_(stream) {}
    CommandHandler(const CommandHandler&) = delete;
    CommandHandler& operator=(const CommandHandler&) = delete;
    virtual ~CommandHandler() = default;

#define QM_ESCP2_DECLARE_BASE(name) \
    virtual void name() {}
    QM_ESCP2_OPERATIONS(QM_ESCP2_DECLARE_BASE)
#undef QM_ESCP2_DECLARE_BASE

protected:
    CommandStream& stream_;
};

// Group 1: page format; holds what the job counted.
class PageFormatHandler : public virtual CommandHandler {
public:
    explicit PageFormatHandler(CommandStream& stream) : CommandHandler(stream) {}

    void SetPageLength() override;
    void SetBottomMargin() override;
    void CancelBottomMargin() override;
    void SetRightMargin() override;
    void SetLeftMargin() override;
    void SetHorzTabs() override;
    void SetVertTabs() override;
    void SetPageLengthInDefinedUnit() override;
    void SetPageSizeInDefinedUnit() override;
    void SetPagFormat() override;
    void RemoteCommand() override;
    void SetUnit() override;
    void PrintDataAsChars() override;
    void SetGraphicsMode() override;

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

    void CarriageReturn() override;
    void LineFeed() override;
    void FormFeed() override;
    void HorzTab() override;
    void VertTab() override;
    void BackSpace() override;
    void CancelLine() override;
    void DeleteLastCharInBuffer() override;
    void SetAbsoluteHorzPos() override;
    void SetRelativeHorzPos() override;
    void AdvanceVertical() override;
    void PrintRaster() override;
    void PrintColorRaster() override;
    void SelectBitImage() override;
    void ReassignBitImageMode() override;
    void Select60DPIGraph() override;
    void Select120DPIGraph() override;
    void Select120DPIDblSpdGraph() override;
    void Select240DPIGraph() override;
    void SelectColor() override;
    void SetAbsoluteVertPos() override;
    void SetRelativeVertPos() override;
    void Select18LineSpace() override;
    void Select16LineSpace() override;
    void Set180LineSpace() override;
    void Set360LineSpace() override;
    void Set60LineSpace() override;

    // Text and unknown codes change nothing that is counted.
    void UnknownCommand(uint8_t) {}
    void Reset() {}
};

// Group 3: character set and style; consumes arguments only.
class CharacterHandler : public virtual CommandHandler {
public:
    explicit CharacterHandler(CommandStream& stream) : CommandHandler(stream) {}

#define QM_ESCP2_DECLARE_OVERRIDE(name) void name() override;
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

    void Beeper() override;
    void SelectPrinter() override;
    void DeselectPrinter() override;
    void EnableUpperCodePrinting() override;
    void EnableUpperCodes() override;
    void ControlPaperLoading() override;
    void ToggleUniDir() override;
    void SelectUniDir() override;
    void InitializePrinter() override;
    void CancelMSBControl() override;
    void SetMSBToZero() override;
    void SetMSBToReal() override;
};

// The handler objects of the running count, one per group. The host never
// runs two ESC/P2 counts at once.
extern PageFormatHandler* gPageFormat;
extern MovementHandler* gMovement;
extern CharacterHandler* gCharacter;
extern PrinterControlHandler* gPrinterControl;

using Operation = void (CommandHandler::*)();

// One row of a dispatch table.
struct CommandEntry {
    uint8_t code;
    uint8_t group;  // 1 page format, 2 movement, 3 character, 4 printer control
    Operation operation;
};
// A dispatch table: its rows, searched in order.
using CommandTable = std::span<const CommandEntry>;

extern const CommandTable kControlTable;
extern const CommandTable kEscTable;
extern const CommandTable kEscParenTable;

// Runs the first row of `table` that holds `code`; true when one did. A code
// no row holds goes to the movement handler's hook.
void Dispatch(CommandTable table, uint8_t code, CommandStream& stream);

// Interprets the stream to its end.
void Interpret(CommandStream& stream);

// One whole count over an open stream: creates the handlers, interprets,
// builds the record (at least one page) and releases the handlers. Raises
// BadRasterArgument, and allocation failures, as the interpreter does.
PageCountResult CountStream(CommandStream& stream);

}  // namespace qm::escp2
