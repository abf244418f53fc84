#include "escp/escp2.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace qm::escp2 {

PageFormatHandler* gPageFormat = nullptr;
MovementHandler* gMovement = nullptr;
CharacterHandler* gCharacter = nullptr;
PrinterControlHandler* gPrinterControl = nullptr;

#define QM_ESCP2_ROW(code, name, group) {static_cast<uint8_t>(code), group, &CommandHandler::name},
constexpr CommandEntry kControlRows[] = {QM_ESCP2_CONTROL_ROWS(QM_ESCP2_ROW)};
constexpr CommandEntry kEscRows[] = {QM_ESCP2_ESC_ROWS(QM_ESCP2_ROW)};
constexpr CommandEntry kEscParenRows[] = {QM_ESCP2_ESC_PAREN_ROWS(QM_ESCP2_ROW)};
#undef QM_ESCP2_ROW
constexpr CommandTable kControlTable{kControlRows};
constexpr CommandTable kEscTable{kEscRows};
constexpr CommandTable kEscParenTable{kEscParenRows};

namespace {

// For each code byte, 1 + the index of the first row that holds it, or 0: the
// same answer as scanning the table, without the scan for every text byte.
using RowIndex = std::array<uint8_t, 256>;
constexpr RowIndex IndexRows(CommandTable table) {
    RowIndex index{};
    for (size_t row = 0; row < table.size(); ++row)
        if (index[table[row].code] == 0) index[table[row].code] = static_cast<uint8_t>(row + 1);
    return index;
}
constexpr RowIndex kControlIndex = IndexRows(kControlTable);
constexpr RowIndex kEscIndex = IndexRows(kEscTable);
constexpr RowIndex kEscParenIndex = IndexRows(kEscParenTable);

const CommandEntry* FindRow(CommandTable table, uint8_t code) noexcept {
    const RowIndex* index = table.data() == kControlRows    ? &kControlIndex
                            : table.data() == kEscRows      ? &kEscIndex
                            : table.data() == kEscParenRows ? &kEscParenIndex
                                                            : nullptr;
    if (index != nullptr) {
        const uint8_t row = (*index)[code];
        return row == 0 ? nullptr : &table[row - 1];
    }
    for (const CommandEntry& row : table)
        if (row.code == code) return &row;
    return nullptr;
}

CommandHandler* HandlerOf(uint8_t group) noexcept {
    switch (group) {
        case 1: return gPageFormat;
        case 2: return gMovement;
        case 3: return gCharacter;
        case 4: return gPrinterControl;
        default: return nullptr;
    }
}

}  // namespace

void Dispatch(CommandTable table, uint8_t code, CommandStream&) {
    const CommandEntry* row = FindRow(table, code);
    CommandHandler* handler = row != nullptr ? HandlerOf(row->group) : nullptr;
    if (handler == nullptr) {
        gMovement->UnknownCommand(code);
        return;
    }
    (handler->*(row->operation))();
}

void Interpret(CommandStream& stream) {
    uint8_t code = 0;
    while (!stream.AtEnd()) {
        // A file cut short under the stream reads nothing before the end it
        // had when measured: stop rather than wait for bytes that never come.
        if (!stream.ReadByte(code)) break;
        if (code != kEsc) {
            Dispatch(kControlTable, code, stream);
            continue;
        }
        // At the end of the data the byte keeps its previous value, which
        // no table holds after ESC or ESC (.
        stream.ReadByte(code);
        if (code == '(') {
            stream.ReadByte(code);
            Dispatch(kEscParenTable, code, stream);
        } else {
            Dispatch(kEscTable, code, stream);
        }
    }
}

// ---- Page format (group 1) ----

void PageFormatHandler::Reset() {
    unit = 1.0;
    pageLength = kDefaultLength;
    pageWidth = kDefaultWidth;
}

void PageFormatHandler::SetPageLength() {
    const uint8_t n = TakePageLength(stream_);
    if (n >= 1 && n <= 127) pageLength = 360.0f * n;
}
void PageFormatHandler::SetBottomMargin() { TakeArgs(stream_, Op::SetBottomMargin); }
void PageFormatHandler::CancelBottomMargin() {}
void PageFormatHandler::SetRightMargin() { TakeArgs(stream_, Op::SetRightMargin); }
void PageFormatHandler::SetLeftMargin() { TakeArgs(stream_, Op::SetLeftMargin); }
void PageFormatHandler::SetHorzTabs() { TakeTabStops(stream_); }
void PageFormatHandler::SetVertTabs() { TakeTabStops(stream_); }

void PageFormatHandler::SetPageLengthInDefinedUnit() {
    const Args a = TakeArgs(stream_, Op::SetPageLengthInDefinedUnit);
    if (a.v[0] == 2) pageLength = static_cast<float>(unit * a.v[1]);
}
void PageFormatHandler::SetPageSizeInDefinedUnit() { TakeArgs(stream_, Op::SetPageSizeInDefinedUnit); }
void PageFormatHandler::SetPagFormat() { TakeArgs(stream_, Op::SetPagFormat); }

void PageFormatHandler::RemoteCommand() {
    TakeArgs(stream_, Op::RemoteCommand);
    TakeRemoteBlock(stream_, *this);
}

void PageFormatHandler::SetUnit() {
    const Args a = TakeArgs(stream_, Op::SetUnit);
    if (a.v[0] == 1) unit = a.v[1] / 10.0;
}

void PageFormatHandler::PrintDataAsChars() {
    const Args a = TakeArgs(stream_, Op::PrintDataAsChars);
    // Each character would go to the movement handler's hook, which ignores it.
    TakeCharData(stream_, static_cast<uint16_t>(a.v[0]), nullptr, nullptr);
}
void PageFormatHandler::SetGraphicsMode() { TakeArgs(stream_, Op::SetGraphicsMode); }

// ---- Movement (group 2) ----

void MovementHandler::CarriageReturn() {}
void MovementHandler::LineFeed() {}
void MovementHandler::FormFeed() { gPageFormat->AddPage(); }
void MovementHandler::HorzTab() {}
void MovementHandler::VertTab() {}
void MovementHandler::BackSpace() {}
void MovementHandler::CancelLine() {}
void MovementHandler::DeleteLastCharInBuffer() {}
void MovementHandler::SetAbsoluteHorzPos() { TakeArgs(stream_, Op::SetAbsoluteHorzPos); }
void MovementHandler::SetRelativeHorzPos() { TakeArgs(stream_, Op::SetRelativeHorzPos); }
void MovementHandler::AdvanceVertical() { TakeArgs(stream_, Op::AdvanceVertical); }

void MovementHandler::PrintRaster() {
    const Raster r = TakeRasterHeader(stream_);
    TakeImageData(stream_, r.compression, r.needed);
}

void MovementHandler::PrintColorRaster() {
    const ColorRaster r = TakeColorRasterHeader(stream_);
    TakeImageData(stream_, r.compression, r.needed);
    gPageFormat->SetColor();  // whatever colour the rows are in
}

void MovementHandler::SelectBitImage() {
    const BitImage image = TakeBitImageHeader(stream_);
    TakeBitImageData(stream_, image);
}
void MovementHandler::ReassignBitImageMode() { TakeArgs(stream_, Op::ReassignBitImageMode); }
void MovementHandler::Select60DPIGraph() { TakeGraphics(stream_); }
void MovementHandler::Select120DPIGraph() { TakeGraphics(stream_); }
void MovementHandler::Select120DPIDblSpdGraph() { TakeGraphics(stream_); }
void MovementHandler::Select240DPIGraph() { TakeGraphics(stream_); }

void MovementHandler::SelectColor() {
    if (TakeArgs(stream_, Op::SelectColor).v[0] != 0) gPageFormat->SetColor();
}
void MovementHandler::SetAbsoluteVertPos() { TakeArgs(stream_, Op::SetAbsoluteVertPos); }
void MovementHandler::SetRelativeVertPos() { TakeArgs(stream_, Op::SetRelativeVertPos); }
void MovementHandler::Select18LineSpace() {}
void MovementHandler::Select16LineSpace() {}
void MovementHandler::Set180LineSpace() { TakeArgs(stream_, Op::Set180LineSpace); }
void MovementHandler::Set360LineSpace() { TakeArgs(stream_, Op::Set360LineSpace); }
void MovementHandler::Set60LineSpace() { TakeArgs(stream_, Op::Set60LineSpace); }

// ---- Characters (group 3): arguments only ----

#define QM_ESCP2_CONSUME(Class, name) \
    void Class::name() { TakeArgs(stream_, Op::name); }
QM_ESCP2_CONSUME(CharacterHandler, SelectCondensed)
QM_ESCP2_CONSUME(CharacterHandler, CancelCondensed)
QM_ESCP2_CONSUME(CharacterHandler, SelectDoubleWide)
QM_ESCP2_CONSUME(CharacterHandler, CancelDoubleWide)
QM_ESCP2_CONSUME(CharacterHandler, SelectCharTable)
QM_ESCP2_CONSUME(CharacterHandler, SelectIntlCharSet)
QM_ESCP2_CONSUME(CharacterHandler, CopyRomToRam)
QM_ESCP2_CONSUME(CharacterHandler, SelectUserDefSet)
QM_ESCP2_CONSUME(CharacterHandler, SelectLQorDraft)
QM_ESCP2_CONSUME(CharacterHandler, SelectTypeface)
QM_ESCP2_CONSUME(CharacterHandler, SelectFontBySize)
QM_ESCP2_CONSUME(CharacterHandler, SetHMI)
QM_ESCP2_CONSUME(CharacterHandler, Select105Pt10Cpi)
QM_ESCP2_CONSUME(CharacterHandler, Select105Pt12Cpi)
QM_ESCP2_CONSUME(CharacterHandler, Select105Pt15Cpi)
QM_ESCP2_CONSUME(CharacterHandler, TogglePropSpacing)
QM_ESCP2_CONSUME(CharacterHandler, SetIntercharSpace)
QM_ESCP2_CONSUME(CharacterHandler, SelectBold)
QM_ESCP2_CONSUME(CharacterHandler, CancelBold)
QM_ESCP2_CONSUME(CharacterHandler, SelectItalic)
QM_ESCP2_CONSUME(CharacterHandler, CancelItalic)
QM_ESCP2_CONSUME(CharacterHandler, MasterSelect)
QM_ESCP2_CONSUME(CharacterHandler, SelectDoubleStrike)
QM_ESCP2_CONSUME(CharacterHandler, CancelDoubleStrike)
QM_ESCP2_CONSUME(CharacterHandler, ToggleUnderline)
QM_ESCP2_CONSUME(CharacterHandler, SelectSuperSubScript)
QM_ESCP2_CONSUME(CharacterHandler, CancelSuperSubScript)
QM_ESCP2_CONSUME(CharacterHandler, SelectCharStyle)
QM_ESCP2_CONSUME(CharacterHandler, ToggleDoubleWide)
QM_ESCP2_CONSUME(CharacterHandler, ToggleDoubleHigh)
QM_ESCP2_CONSUME(CharacterHandler, AssignCharTable)
QM_ESCP2_CONSUME(CharacterHandler, SelectStrikeThrough)

void CharacterHandler::DefineUserDefChars() {
    TakeUserCharsData(stream_, TakeUserCharsRange(stream_));
}

// ---- Printer control (group 4) ----

QM_ESCP2_CONSUME(PrinterControlHandler, Beeper)
QM_ESCP2_CONSUME(PrinterControlHandler, SelectPrinter)
QM_ESCP2_CONSUME(PrinterControlHandler, DeselectPrinter)
QM_ESCP2_CONSUME(PrinterControlHandler, EnableUpperCodePrinting)
QM_ESCP2_CONSUME(PrinterControlHandler, EnableUpperCodes)
QM_ESCP2_CONSUME(PrinterControlHandler, ControlPaperLoading)
QM_ESCP2_CONSUME(PrinterControlHandler, ToggleUniDir)
QM_ESCP2_CONSUME(PrinterControlHandler, SelectUniDir)
QM_ESCP2_CONSUME(PrinterControlHandler, CancelMSBControl)
QM_ESCP2_CONSUME(PrinterControlHandler, SetMSBToZero)
QM_ESCP2_CONSUME(PrinterControlHandler, SetMSBToReal)
#undef QM_ESCP2_CONSUME

void PrinterControlHandler::InitializePrinter() {
    gPageFormat->Reset();
    gMovement->Reset();
    gCharacter->Reset();
}

// ---- The count ----

namespace {

// The four handlers of one count: created in the order printer control, page
// format, movement, character, published through the group pointers, and
// destroyed in the same order on every path.
class HandlerSet {
public:
    explicit HandlerSet(CommandStream& stream)
        : control_(std::make_unique<PrinterControlHandler>(stream)),
          page_(std::make_unique<PageFormatHandler>(stream)),
          movement_(std::make_unique<MovementHandler>(stream)),
          character_(std::make_unique<CharacterHandler>(stream)) {
        gPrinterControl = control_.get();
        gPageFormat = page_.get();
        gMovement = movement_.get();
        gCharacter = character_.get();
    }
    ~HandlerSet() {
        gPrinterControl = nullptr;
        gPageFormat = nullptr;
        gMovement = nullptr;
        gCharacter = nullptr;
        control_.reset();
        page_.reset();
        movement_.reset();
        character_.reset();
    }
    HandlerSet(const HandlerSet&) = delete;
    HandlerSet& operator=(const HandlerSet&) = delete;
    const PageFormatHandler& page() const { return *page_; }

private:
    std::unique_ptr<PrinterControlHandler> control_;
    std::unique_ptr<PageFormatHandler> page_;
    std::unique_ptr<MovementHandler> movement_;
    std::unique_ptr<CharacterHandler> character_;
};

}  // namespace

PageCountResult CountStream(CommandStream& stream) {
    HandlerSet handlers(stream);
    Interpret(stream);
    const PageFormatHandler& page = handlers.page();
    PageCountResult rec{};
    rec.pages = page.pages == 0 ? 1 : page.pages;
    rec.copies = 0;  // no command of the language carries a copy count
    rec.color = page.color;  // one-sided: no command of the language asks for two sides
    rec.paperLength = static_cast<double>(page.pageLength / 360.0f);
    rec.paperWidth = static_cast<double>(page.pageWidth / 360.0f);
    return rec;
}

}  // namespace qm::escp2

extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ESCP2(const char* path, PageCountResult* result) {
    if (result == nullptr) return QM_E_POINTER;
    try {
        qm::CommandStream stream;
        // An empty path opens nothing: it is no job and fails like a missing file.
        if (!stream.Open(path) || !stream.IsOpen()) {
            std::printf("Error opening EscP2 file '%s'\n", path != nullptr ? path : "");
            std::fflush(stdout);
            return qm::OpenFailureCode(path, stream.OpenError());
        }
        const PageCountResult rec = qm::escp2::CountStream(stream);
        stream.Close();
        *result = rec;
        return QM_OK;
    } catch (...) {
        return QM_E_FAIL;
    }
}
