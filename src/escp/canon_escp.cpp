#include "escp/canon_escp.h"

#include <cstdio>
#include <memory>

namespace qm::canon {

using escp2::Args;
using escp2::Op;
using escp2::TakeArgs;

TracePageFormatHandler* gTracePageFormat = nullptr;
TraceMovementHandler* gTraceMovement = nullptr;
TraceCharacterHandler* gTraceCharacter = nullptr;
TracePrinterControlHandler* gTracePrinterControl = nullptr;

// The rows of the ESC/P2 tables, in their order, with the same groups.
#define QM_CANON_ROW(code, name, group) {static_cast<uint8_t>(code), group, &TraceCommandHandler::name},
constexpr TraceCommandEntry kTraceControlRows[] = {QM_ESCP2_CONTROL_ROWS(QM_CANON_ROW)};
constexpr TraceCommandEntry kTraceEscRows[] = {QM_ESCP2_ESC_ROWS(QM_CANON_ROW)};
constexpr TraceCommandEntry kTraceEscParenRows[] = {QM_ESCP2_ESC_PAREN_ROWS(QM_CANON_ROW)};
constexpr TraceCommandEntry kTraceEscBracketRows[] = {QM_CANON_ROW('K', SetInitialCondition, 4)};
#undef QM_CANON_ROW
constexpr TraceCommandTable kTraceControlTable{kTraceControlRows};
constexpr TraceCommandTable kTraceEscTable{kTraceEscRows};
constexpr TraceCommandTable kTraceEscParenTable{kTraceEscParenRows};
constexpr TraceCommandTable kTraceEscBracketTable{kTraceEscBracketRows};

namespace {

void Trace(const char* name) { std::printf("%s\n", name); }
int Unsupported() {
    std::printf("   This commmand is unsupported\n");
    return 0;
}
int OutOfRange(unsigned value) {
    std::printf("   Value '%x' is out of range\n", value);
    return 1;
}
// A command that is only named.
int Named(const char* name) {
    Trace(name);
    return 0;
}
// A command that is named and not supported.
int NamedUnsupported(const char* name) {
    Trace(name);
    return Unsupported();
}

TraceCommandHandler* HandlerOf(uint8_t group) noexcept {
    switch (group) {
        case 1: return gTracePageFormat;
        case 2: return gTraceMovement;
        case 3: return gTraceCharacter;
        case 4: return gTracePrinterControl;
        default: return nullptr;
    }
}

}  // namespace

int TraceDispatch(TraceCommandTable table, uint8_t code) {
    for (const TraceCommandEntry& row : table) {
        if (row.code != code) continue;
        TraceCommandHandler* handler = HandlerOf(row.group);
        return handler != nullptr ? (handler->*(row.operation))() : 1;
    }
    gTraceMovement->UnknownCommand(code);
    return 1;
}

int InterpretEscp(CommandStream& stream) {
    uint8_t code = 0;
    for (;;) {
        if (stream.AtEnd()) return kEndOfData;
        if (!stream.ReadByte(code)) return kEndOfData;  // the file was cut short
        int result;
        if (code != escp2::kEsc) {
            result = TraceDispatch(kTraceControlTable, code);
        } else {
            // At the end of the data the byte keeps its previous value.
            stream.ReadByte(code);
            if (code == '(') {
                stream.ReadByte(code);
                result = TraceDispatch(kTraceEscParenTable, code);
            } else if (code == '[') {
                stream.ReadByte(code);
                result = TraceDispatch(kTraceEscBracketTable, code);
            } else {
                result = TraceDispatch(kTraceEscTable, code);
            }
        }
        if (result == kRasterMode || result == kEscpMode) return stream.AtEnd() ? kEndOfData : result;
    }
}

// ---- Page format (group 1) ----

void TracePageFormatHandler::Reset() {
    unit = 1.0;
    pageLength = 3960.0f;
    pageWidth = 3060.0f;
    color = 0;
    graphicsMode = false;
}

int TracePageFormatHandler::SetPageLength() {
    const uint8_t n = escp2::TakePageLength(stream_);
    std::printf("SetPageLength : %x inches\n", n);
    if (n == 0 || n > 127) return OutOfRange(n);
    pageLength = 360.0f * n;
    return 0;
}

int TracePageFormatHandler::SetBottomMargin() {
    const uint32_t n = TakeArgs(stream_, Op::SetBottomMargin).v[0];
    std::printf("SetBottomMargin : %x inches\n", n);
    return n == 0 || n > 127 ? OutOfRange(n) : 0;
}

int TracePageFormatHandler::CancelBottomMargin() { return Named("CancelBottomMargin"); }

int TracePageFormatHandler::SetRightMargin() {
    const uint32_t n = TakeArgs(stream_, Op::SetRightMargin).v[0];
    std::printf("SetRightMargin : %x inches\n", n);
    return n == 0 ? OutOfRange(n) : 0;
}

int TracePageFormatHandler::SetLeftMargin() {
    const uint32_t n = TakeArgs(stream_, Op::SetLeftMargin).v[0];
    std::printf("SetLeftMargin : %x inches\n", n);
    return n == 0 ? OutOfRange(n) : 0;
}

int TracePageFormatHandler::SetHorzTabs() {
    Trace("SetHorzTabs");
    escp2::TakeTabStops(stream_);
    return Unsupported();
}

int TracePageFormatHandler::SetVertTabs() {
    Trace("SetVertTabs");
    escp2::TakeTabStops(stream_);
    return Unsupported();
}

int TracePageFormatHandler::SetPageLengthInDefinedUnit() {
    const Args a = TakeArgs(stream_, Op::SetPageLengthInDefinedUnit);
    std::printf("SetPageLengthInDefinedUnit : n = %x  length = %x\n", a.v[0], a.v[1]);
    pageLength = static_cast<float>(unit * a.v[1]);  // whatever the count says
    return 0;
}

int TracePageFormatHandler::SetPageSizeInDefinedUnit() {
    const Args a = TakeArgs(stream_, Op::SetPageSizeInDefinedUnit);
    std::printf("SetPageSizeInDefinedUnit : Plot Area Length = %x  width = %x\n", a.v[1], a.v[2]);
    return 0;
}

int TracePageFormatHandler::SetPagFormat() {
    const Args a = TakeArgs(stream_, Op::SetPagFormat);
    std::printf("SetPagFormat : n = %x  top = %x  Bot = %x\n", a.v[0], a.v[1], a.v[2]);
    return 0;
}

int TracePageFormatHandler::RemoteCommand() {
    TakeArgs(stream_, Op::RemoteCommand);
    Trace("RemoteCommand");
    escp2::TakeRemoteBlock(stream_, *this);
    return 0;
}

int TracePageFormatHandler::SetUnit() {
    const Args a = TakeArgs(stream_, Op::SetUnit);
    std::printf("SetUnit : n = %x  units = %x\n", a.v[0], a.v[1]);
    if (a.v[0] == 1) unit = a.v[1] / 10.0;
    return 0;
}

int TracePageFormatHandler::PrintDataAsChars() {
    const uint16_t count = static_cast<uint16_t>(TakeArgs(stream_, Op::PrintDataAsChars).v[0]);
    std::printf("PrintDataAsChars : n = %x\n  ", count);
    escp2::TakeCharData(
        stream_, count,
        [](void*, uint8_t b) {
            std::printf("%x ", b);
            gTraceMovement->UnknownCommand(b);
        },
        nullptr);
    std::printf("\n");
    return 0;
}

int TracePageFormatHandler::SetGraphicsMode() {
    const Args a = TakeArgs(stream_, Op::SetGraphicsMode);
    if (a.v[0] == 1 && (a.v[1] == 1 || a.v[1] == '1')) graphicsMode = true;
    std::printf("SetGraphicsMode : n = %x  mode = %s\n", a.v[0], graphicsMode ? "on" : "off");
    return 0;
}

// ---- Movement (group 2) ----

void TraceMovementHandler::UnknownCommand(uint8_t code) { std::printf("%c", code); }

int TraceMovementHandler::CarriageReturn() { return Named("CarriageReturn"); }
int TraceMovementHandler::LineFeed() { return Named("LineFeed"); }
int TraceMovementHandler::FormFeed() {
    Trace("FormFeed");
    gTracePageFormat->AddPage();
    return 0;
}
int TraceMovementHandler::HorzTab() { return NamedUnsupported("HorzTab"); }
int TraceMovementHandler::VertTab() { return NamedUnsupported("VertTab"); }
int TraceMovementHandler::BackSpace() { return Named("BackSpace"); }
int TraceMovementHandler::CancelLine() { return NamedUnsupported("CancelLine"); }
int TraceMovementHandler::DeleteLastCharInBuffer() { return NamedUnsupported("DeleteLastCharInBuffer"); }

int TraceMovementHandler::SetAbsoluteHorzPos() {
    std::printf("SetAbsoluteHorzPos : pos = %x\n", TakeArgs(stream_, Op::SetAbsoluteHorzPos).v[0]);
    return 0;
}
int TraceMovementHandler::SetRelativeHorzPos() {
    std::printf("SetRelativeHorzPos : pos = %x\n", TakeArgs(stream_, Op::SetRelativeHorzPos).v[0]);
    return 0;
}
int TraceMovementHandler::AdvanceVertical() {
    std::printf("AdvanceVertical : n = %x\n", TakeArgs(stream_, Op::AdvanceVertical).v[0]);
    return 0;
}

int TraceMovementHandler::PrintRaster() {
    const escp2::Raster r = escp2::TakeRasterHeader(stream_);
    std::printf("PrintRaster : c=%x v=%x h=%x m=%x n=%x NumBytes=%x\n", r.compression, r.v, r.h, r.rows, r.dots,
                r.needed);
    escp2::TakeImageData(stream_, r.compression, r.needed);
    return 0;
}

int TraceMovementHandler::PrintColorRaster() {
    const escp2::ColorRaster r = escp2::TakeColorRasterHeader(stream_);
    // NumBytes repeats the data length: what the rows hold, before decoding.
    std::printf("PrintColorRaster : c=%x v=%x h=%x m=%x n=%x NumBytes=%x\n", r.compression, r.bytesPerRow, r.rows,
                static_cast<unsigned>(r.dots), r.needed, r.needed);
    escp2::TakeImageData(stream_, r.compression, r.needed);
    gTracePageFormat->SetColor();
    return 0;
}

int TraceMovementHandler::SelectBitImage() {
    const escp2::BitImage image = escp2::TakeBitImageHeader(stream_);
    std::printf("SelectBitImage : density = %x  cols = %x\n", image.mode, image.columns);
    if (image.bytesPerColumn == 0) return 1;
    escp2::TakeBitImageData(stream_, image);
    return 0;
}

int TraceMovementHandler::ReassignBitImageMode() {
    const Args a = TakeArgs(stream_, Op::ReassignBitImageMode);
    std::printf("ReassignBitImageMode : m = %x  n = %x\n", a.v[0], a.v[1]);
    return Unsupported();
}

int TraceMovementHandler::Select60DPIGraph() {
    std::printf("Select60DPIGraph : n = %x\n", escp2::TakeGraphics(stream_));
    return 0;
}
int TraceMovementHandler::Select120DPIGraph() {
    std::printf("Select120DPIGraph : n = %x\n", escp2::TakeGraphics(stream_));
    return 0;
}
int TraceMovementHandler::Select120DPIDblSpdGraph() {
    std::printf("Select120DPIDblSpdGraph : n = %x\n", escp2::TakeGraphics(stream_));
    return 0;
}
int TraceMovementHandler::Select240DPIGraph() {
    std::printf("Select240DPIGraph : n = %x\n", escp2::TakeGraphics(stream_));
    return 0;
}

int TraceMovementHandler::SelectColor() {
    std::printf("SelectColor : n = %x\n", TakeArgs(stream_, Op::SelectColor).v[0]);
    return 0;
}

int TraceMovementHandler::SetAbsoluteVertPos() {
    const Args a = TakeArgs(stream_, Op::SetAbsoluteVertPos);
    std::printf("SetAbsoluteVertPos : n = %x  pos = %x\n", a.v[0], a.v[1]);
    return 0;
}
int TraceMovementHandler::SetRelativeVertPos() {
    const Args a = TakeArgs(stream_, Op::SetRelativeVertPos);
    std::printf("SetRelativeVertPos : n = %x  pos = %x\n", a.v[0], a.v[1]);
    return 0;
}

int TraceMovementHandler::Select18LineSpace() { return Named("Select18LineSpace"); }
int TraceMovementHandler::Select16LineSpace() { return Named("Select16LineSpace"); }
int TraceMovementHandler::Set180LineSpace() {
    TakeArgs(stream_, Op::Set180LineSpace);
    return Named("Set180LineSpace");
}
int TraceMovementHandler::Set360LineSpace() {
    TakeArgs(stream_, Op::Set360LineSpace);
    return Named("Set360LineSpace");
}
int TraceMovementHandler::Set60LineSpace() {
    TakeArgs(stream_, Op::Set60LineSpace);
    return Named("Set60LineSpace");
}

// ---- Characters (group 3) ----

namespace {
// A command with one argument byte traced as "<text>%x\n".
int TraceOne(CommandStream& s, Op op, const char* format) {
    std::printf(format, TakeArgs(s, op).v[0]);
    return 0;
}
}  // namespace

int TraceCharacterHandler::SelectCondensed() { return Named("SelectCondensed"); }
int TraceCharacterHandler::CancelCondensed() { return Named("CancelCondensed"); }
int TraceCharacterHandler::SelectDoubleWide() { return Named("SelectDoubleWide"); }
int TraceCharacterHandler::CancelDoubleWide() { return Named("CancelDoubleWide"); }

int TraceCharacterHandler::SelectCharTable() {
    TraceOne(stream_, Op::SelectCharTable, "SelectCharTable : table = %x\n");
    return Unsupported();
}
int TraceCharacterHandler::SelectIntlCharSet() {
    TraceOne(stream_, Op::SelectIntlCharSet, "SelectIntlCharSet : set = %x\n");
    return Unsupported();
}

int TraceCharacterHandler::DefineUserDefChars() {
    const escp2::UserChars range = escp2::TakeUserCharsRange(stream_);
    std::printf("DefineUserDefChars : first=%x last=%x\n", range.first, range.last);
    if (!range.accepted()) return 1;
    escp2::TakeUserCharsData(stream_, range);
    return 0;
}

int TraceCharacterHandler::CopyRomToRam() {
    const Args a = TakeArgs(stream_, Op::CopyRomToRam);
    std::printf("CopyRomToRam : n = %x  m = %x\n", a.v[0], a.v[1]);
    return a.v[0] <= 127 && a.v[1] == 0 ? Unsupported() : 1;
}

int TraceCharacterHandler::SelectUserDefSet() {
    const uint32_t set = TakeArgs(stream_, Op::SelectUserDefSet).v[0];
    std::printf("SelectUserDefSet : set = %x\n", set);
    return set == 0 || set == 1 || set == '0' || set == '1' ? Unsupported() : 1;
}

int TraceCharacterHandler::SelectLQorDraft() {
    return TraceOne(stream_, Op::SelectLQorDraft, "SelectLQorDraft : n = %x\n");
}

int TraceCharacterHandler::SelectTypeface() {
    const uint32_t face = TakeArgs(stream_, Op::SelectTypeface).v[0];
    std::printf("SelectTypeface : face = %x\n", face);
    return face > 9 ? 1 : 0;
}

int TraceCharacterHandler::SelectFontBySize() {
    const Args a = TakeArgs(stream_, Op::SelectFontBySize);
    std::printf("SelectFontBySize : m = %x  n = %x\n", a.v[0], a.v[1]);
    return 0;
}

int TraceCharacterHandler::SetHMI() {
    const uint32_t hmi = TakeArgs(stream_, Op::SetHMI).v[0];
    std::printf("SetHMI : hmi = %x\n", hmi);
    return hmi > 1080 ? 1 : 0;
}

int TraceCharacterHandler::Select105Pt10Cpi() { return Named("Select105Pt10Cpi"); }
int TraceCharacterHandler::Select105Pt12Cpi() { return Named("Select105Pt12Cpi"); }
int TraceCharacterHandler::Select105Pt15Cpi() { return Named("Select105Pt15Cpi"); }
int TraceCharacterHandler::TogglePropSpacing() {
    return TraceOne(stream_, Op::TogglePropSpacing, "TogglePropSpacing : prop = %x\n");
}
int TraceCharacterHandler::SetIntercharSpace() {
    return TraceOne(stream_, Op::SetIntercharSpace, "SetIntercharSpace : space = %x\n");
}
int TraceCharacterHandler::SelectBold() { return Named("SelectBold"); }
int TraceCharacterHandler::CancelBold() { return Named("CancelBold"); }
int TraceCharacterHandler::SelectItalic() { return Named("SelectItalic"); }
int TraceCharacterHandler::CancelItalic() { return Named("CancelItalic"); }
int TraceCharacterHandler::MasterSelect() {
    return TraceOne(stream_, Op::MasterSelect, "MasterSelect : value = %x\n");
}
int TraceCharacterHandler::SelectDoubleStrike() { return Named("SelectDoubleStrike"); }
int TraceCharacterHandler::CancelDoubleStrike() { return Named("CancelDoubleStrike"); }
int TraceCharacterHandler::ToggleUnderline() {
    return TraceOne(stream_, Op::ToggleUnderline, "ToggleUnderline : undl = %x\n");
}
int TraceCharacterHandler::SelectSuperSubScript() {
    TakeArgs(stream_, Op::SelectSuperSubScript);
    std::printf("SelectSuperSubScript : ");
    std::printf("Superscript\n");  // whatever the argument says
    return 0;
}
int TraceCharacterHandler::CancelSuperSubScript() { return Named("CancelSuperSubScript"); }
int TraceCharacterHandler::SelectCharStyle() {
    return TraceOne(stream_, Op::SelectCharStyle, "SelectCharStyle : style = %x\n");
}
int TraceCharacterHandler::ToggleDoubleWide() {
    return TraceOne(stream_, Op::ToggleDoubleWide, "ToggleDoubleWide : value = %x\n");
}
int TraceCharacterHandler::ToggleDoubleHigh() {
    return TraceOne(stream_, Op::ToggleDoubleHigh, "ToggleDoubleHigh : value = %x\n");
}

int TraceCharacterHandler::AssignCharTable() {
    const Args a = TakeArgs(stream_, Op::AssignCharTable);
    std::printf("AssignCharTable : n=%x d1=%x d2=%x d3=%x\n", a.v[0], a.v[1], a.v[2], a.v[3]);
    return a.v[0] == 3 ? Unsupported() : 1;
}

int TraceCharacterHandler::SelectStrikeThrough() {
    const Args a = TakeArgs(stream_, Op::SelectStrikeThrough);
    std::printf("SelectStrikeThrough : n=%d m=%d d1=%d d2=%d\n", static_cast<int>(a.v[0]), static_cast<int>(a.v[1]),
                static_cast<int>(a.v[2]), static_cast<int>(a.v[3]));
    return a.v[0] == 3 ? Unsupported() : 1;
}

// ---- Printer control (group 4) ----

int TracePrinterControlHandler::Beeper() { return NamedUnsupported("Beeper"); }
int TracePrinterControlHandler::SelectPrinter() { return NamedUnsupported("SelectPrinter"); }
int TracePrinterControlHandler::DeselectPrinter() { return NamedUnsupported("DeselectPrinter"); }
int TracePrinterControlHandler::EnableUpperCodePrinting() { return NamedUnsupported("EnableUpperCodePrinting"); }
int TracePrinterControlHandler::EnableUpperCodes() { return NamedUnsupported("EnableUpperCodes"); }

int TracePrinterControlHandler::ControlPaperLoading() {
    Trace("ControlPaperLoading");
    const uint32_t n = TakeArgs(stream_, Op::ControlPaperLoading).v[0];
    return n == '1' || n == '2' || n == 'B' || n == 'F' || n == 'R' ? Unsupported() : 1;
}

int TracePrinterControlHandler::ToggleUniDir() {
    Trace("ToggleUniDir");
    const uint32_t n = TakeArgs(stream_, Op::ToggleUniDir).v[0];
    return n == 0 || n == 1 || n == '0' || n == '1' ? Unsupported() : 1;
}

int TracePrinterControlHandler::SelectUniDir() { return NamedUnsupported("SelectUniDir"); }

int TracePrinterControlHandler::InitializePrinter() {
    Trace("InitializePrinter");
    gTracePageFormat->Reset();
    gTraceMovement->Reset();
    gTraceCharacter->Reset();
    return 0;
}

int TracePrinterControlHandler::CancelMSBControl() { return NamedUnsupported("CancelMSBControl"); }
int TracePrinterControlHandler::SetMSBToZero() { return NamedUnsupported("SetMSBToZero"); }
int TracePrinterControlHandler::SetMSBToReal() { return NamedUnsupported("SetMSBToReal"); }

int TracePrinterControlHandler::SetInitialCondition() {
    const uint16_t count = escp2::ArgWord(stream_);
    if (count != 2) {
        std::printf("SetInitialCondition : Invalid count\n");
        stream_.Skip(count);
        return 1;
    }
    Trace("SetInitialCondition");
    const uint8_t b1 = escp2::ArgByte(stream_);
    const uint8_t b2 = escp2::ArgByte(stream_);
    if (b1 == 0 && b2 == 0x1F) {
        SkipBubbleJetLanguage(stream_, 0);
        return 0;
    }
    if (b1 == 0 && b2 == 0x0F) return kRasterMode;
    return 1;
}

// ---- One ESC/P run ----

namespace {

// The four handlers of one run, created in the order printer control, page
// format, movement, character and destroyed in the same order on every path.
class TraceHandlerSet {
public:
    explicit TraceHandlerSet(CommandStream& stream)
        : control_(std::make_unique<TracePrinterControlHandler>(stream)),
          page_(std::make_unique<TracePageFormatHandler>(stream)),
          movement_(std::make_unique<TraceMovementHandler>(stream)),
          character_(std::make_unique<TraceCharacterHandler>(stream)) {
        gTracePrinterControl = control_.get();
        gTracePageFormat = page_.get();
        gTraceMovement = movement_.get();
        gTraceCharacter = character_.get();
    }
    ~TraceHandlerSet() {
        gTracePrinterControl = nullptr;
        gTracePageFormat = nullptr;
        gTraceMovement = nullptr;
        gTraceCharacter = nullptr;
        control_.reset();
        page_.reset();
        movement_.reset();
        character_.reset();
    }
    TraceHandlerSet(const TraceHandlerSet&) = delete;
    TraceHandlerSet& operator=(const TraceHandlerSet&) = delete;
    const TracePageFormatHandler& page() const { return *page_; }

private:
    std::unique_ptr<TracePrinterControlHandler> control_;
    std::unique_ptr<TracePageFormatHandler> page_;
    std::unique_ptr<TraceMovementHandler> movement_;
    std::unique_ptr<TraceCharacterHandler> character_;
};

}  // namespace

void RunEscp(CommandStream& stream, int& mode, PageCountResult& rec) {
    // No file attached: nothing to read, and the count must still end.
    if (!stream.IsOpen()) {
        mode = kEndOfData;
        return;
    }
    TraceHandlerSet handlers(stream);
    mode = InterpretEscp(stream);
    const TracePageFormatHandler& page = handlers.page();
    rec.pages += page.pages;
    if (rec.color != 1) rec.color = page.color;
    if (rec.paperLength == 0.0) rec.paperLength = static_cast<double>(page.pageLength / 360.0f);
    if (rec.paperWidth == 0.0) rec.paperWidth = static_cast<double>(page.pageWidth / 360.0f);
}

}  // namespace qm::canon
