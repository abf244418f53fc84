// Raster mode of the Canon Bubble Jet counter.
#include "escp/canon_raster.h"

#include <cstdio>
#include <memory>

namespace qm::canon {
namespace {

constexpr const char* kUnsupported = "   This commmand is unsupported\n";

// The handlers of the running raster interpreter; set only while a run lives.
RasterPageHandler* g_rasterPage = nullptr;
RasterImageHandler* g_rasterImage = nullptr;
RasterControlHandler* g_rasterControl = nullptr;

// Argument reads: a read that meets the end of the data leaves the missing
// bytes 0.
uint8_t ReadArgument(CommandStream& s) {
    uint8_t b = 0;
    s.ReadByte(b);
    return b;
}

// The 2-byte little-endian count that opens every ESC ( and ESC [ command.
uint16_t ReadCount(CommandStream& s) {
    uint8_t b[2] = {0, 0};
    s.Read(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// Values inside the raster commands are big-endian.
uint16_t ReadWord(CommandStream& s) {
    uint8_t b[2] = {0, 0};
    s.Read(b, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

// Traces, skips `count` bytes and answers 1: the shape of every refused count.
int Refuse(CommandStream& s, const char* trace, uint16_t count) {
    std::printf("%s", trace);
    s.Skip(count);
    return 1;
}

// Commands that only consume their data and say they are not supported.
int SkipUnsupported(CommandStream& s, const char* name) {
    const uint16_t count = ReadCount(s);
    std::printf("%s\n", name);
    s.Skip(count);
    std::printf("%s", kUnsupported);
    return 0;
}

// Image data: consumed whole, then traced.
int SkipImage(CommandStream& s, const char* name, bool colour) {
    const uint16_t count = ReadCount(s);
    s.Skip(count);
    if (colour && g_rasterPage != nullptr) g_rasterPage->SetColor();
    std::printf("%s\n", name);
    return 0;
}

uint16_t VerticalResolution() { return g_rasterImage != nullptr ? g_rasterImage->verticalResolution : 360; }

}  // namespace

// ---- group 1: page ----

int RasterPageHandler::SetPageMode() {
    const uint16_t count = ReadCount(stream_);
    if (count != 1) return Refuse(stream_, "SetPageMode : Invalid count\n", count);
    std::printf("SetPageMode : %d\n", ReadArgument(stream_));
    return 0;
}

constexpr uint16_t kMarginFields = 4;  // the most the page-margins command carries

int RasterPageHandler::SetPageMargins() {
    const uint16_t count = ReadCount(stream_);
    if (count < 1 || count > kMarginFields) return Refuse(stream_, "SetPageMargins - invalid count.\n", count);
    uint8_t field[kMarginFields] = {};  // length, left, right, offset
    stream_.Read(field, count);
    const uint16_t resolution = VerticalResolution();
    // Tenths of an inch, in dots of the vertical resolution.
    pageLength = static_cast<float>(resolution) * static_cast<float>(field[0]) / 10.0f;
    lengthResolution = static_cast<float>(resolution);
    std::printf("SetPageMargins : PageLen = %x  LeftMar = %x  RightMar = %x  Offset = %x\n", field[0], field[1],
                field[2], field[3]);
    return 0;
}

int RasterPageHandler::SetExtendedPageMargins() {
    const uint16_t count = ReadCount(stream_);
    if (count == 0 || count > 8 || count % 2 != 0)
        return Refuse(stream_, "SetExtendedPageMargins - invalid count.\n", count);
    uint16_t field[4] = {0, 0, 0, 0};  // length, left, right, offset
    for (uint16_t i = 0; i < count / 2; ++i) field[i] = ReadWord(stream_);
    const uint16_t resolution = VerticalResolution();
    // Sixtieths of an inch, in dots of the vertical resolution.
    pageLength = static_cast<float>(resolution) * static_cast<float>(field[0]) / 60.0f;
    lengthResolution = static_cast<float>(resolution);
    std::printf("SetExtendedPageMargins : PageLen = %x  LeftMar = %x  RightMar = %x  Offset = %x\n", field[0],
                field[1], field[2], field[3]);
    return 0;
}

// ---- group 2: image ----

int RasterImageHandler::LineFeed() {
    std::printf("LineFeed\n");
    return 0;
}

int RasterImageHandler::FormFeed() {
    std::printf("FormFeed\n");
    if (g_rasterPage != nullptr) g_rasterPage->AddPage();
    return 0;
}

int RasterImageHandler::CarriageReturn() {
    std::printf("CarriageReturn\n");
    return 0;
}

int RasterImageHandler::SetDataCompression() {
    const uint16_t count = ReadCount(stream_);
    if (count != 1) return Refuse(stream_, "SetDataCompression - invalid count.\n", count);
    stream_.Skip(1);
    std::printf("SetDataCompression %x\n", compression);
    return 0;
}

int RasterImageHandler::SetRasterResolution() {
    const uint16_t count = ReadCount(stream_);
    if (count != 2 && count != 4) return Refuse(stream_, "SetRasterResolution - invalid count.\n", count);
    verticalResolution = ReadWord(stream_);
    horizontalResolution = count == 4 ? ReadWord(stream_) : verticalResolution;
    std::printf("SetRasterResolution %x x %x\n", horizontalResolution, verticalResolution);
    return 0;
}

int RasterImageHandler::RasterSkip() {
    const uint16_t count = ReadCount(stream_);
    if (count != 2) return Refuse(stream_, "RasterSkip - invalid count.\n", count);
    const uint16_t lines = ReadWord(stream_);
    std::printf("RasterSkip %x\n", lines);
    if (lines == 0 || lines == 0x8000) CarriageReturn();
    return 0;
}

int RasterImageHandler::ColorPalette() {
    const uint16_t count = ReadCount(stream_);
    stream_.Skip(count);
    if (g_rasterPage != nullptr) g_rasterPage->SetColor();
    std::printf("ColorPalette - unsupported\n");
    return 0;
}

int RasterImageHandler::MoveByRasterLine() {
    const uint16_t count = ReadCount(stream_);
    if (count != 2) return Refuse(stream_, "MoveByRasterLine - invalid count.\n", count);
    const uint16_t delta = ReadWord(stream_);
    std::printf("MoveByRasterLine : Delta = %x\n", delta);
    if (delta == 0 || delta == 0x8000) CarriageReturn();
    return 0;
}

int RasterImageHandler::SetUnitForMoveByRasterLine() {
    const uint16_t count = ReadCount(stream_);
    if (count != 2) return Refuse(stream_, "SetUnitForMoveByRasterLine  - invalid count.\n", count);
    std::printf("SetUnitForMoveByRasterLine : res = %x\n", ReadWord(stream_));
    return 0;
}

int RasterImageHandler::CMYKRasterImage() { return SkipImage(stream_, "CMYKRasterImage", true); }

int RasterImageHandler::PaletteRasterImage() { return SkipImage(stream_, "PaletteRasterImage", true); }

int RasterImageHandler::RasterImageWithoutColorSelection() {
    return SkipImage(stream_, "RasterImageWithoutColorSelection", false);
}

void RasterImageHandler::UnknownCommand(uint8_t code) { std::printf("%c", code); }

// ---- group 4: control ----

int RasterControlHandler::SetInitialCondition() {
    const uint16_t count = ReadCount(stream_);
    if (count != 2) return Refuse(stream_, "SetInitialCondition : Invalid count\n", count);
    std::printf("SetInitialCondition\n");
    const uint8_t b1 = ReadArgument(stream_);
    const uint8_t b2 = ReadArgument(stream_);
    if (b1 == 0 && b2 == 0x1F) {
        SkipBubbleJetLanguage(stream_, 0);
        return 0;
    }
    return 1;  // raster mode is already on: 0x0F asks for nothing here
}

int RasterControlHandler::ReturnToEmulation() {
    std::printf("ReturnToEmulation\n");
    return kEscpMode;
}

int RasterControlHandler::SetPrintingMethod() { return SkipUnsupported(stream_, "SetPrintingMethod"); }

int RasterControlHandler::SetMediaSupplyMethod() { return SkipUnsupported(stream_, "SetMediaSupplyMethod"); }

int RasterControlHandler::IndentifyInkCartridge() { return SkipUnsupported(stream_, "IndentifyInkCartridge"); }

int RasterControlHandler::SetPageID() { return SkipUnsupported(stream_, "SetPageID"); }

// ---- the command tree ----

namespace {

using H = RasterCommandHandler;
constexpr RasterCommandNode kListEnd = {0, 0, nullptr, nullptr};

// The commands that ESC ( and ESC [ share.
#define QM_CANON_RASTER_PARAMETER_COMMANDS                     \
    {'a', 1, nullptr, &H::SetPageMode},                        \
    {'b', 2, nullptr, &H::SetDataCompression},                 \
    {'c', 4, nullptr, &H::SetPrintingMethod},                  \
    {'d', 2, nullptr, &H::SetRasterResolution},                \
    {'e', 2, nullptr, &H::RasterSkip},                         \
    {'f', 2, nullptr, &H::ColorPalette},                       \
    {'g', 1, nullptr, &H::SetPageMargins},                     \
    {'l', 4, nullptr, &H::SetMediaSupplyMethod},               \
    {'m', 4, nullptr, &H::IndentifyInkCartridge},              \
    {'n', 2, nullptr, &H::MoveByRasterLine},                   \
    {'o', 2, nullptr, &H::SetUnitForMoveByRasterLine},         \
    {'p', 1, nullptr, &H::SetExtendedPageMargins},             \
    {'q', 4, nullptr, &H::SetPageID},                          \
    {'A', 2, nullptr, &H::CMYKRasterImage},                    \
    {'C', 2, nullptr, &H::PaletteRasterImage},                 \
    {'F', 2, nullptr, &H::RasterImageWithoutColorSelection}

constexpr RasterCommandNode kParenList[] = {QM_CANON_RASTER_PARAMETER_COMMANDS, kListEnd};

constexpr RasterCommandNode kBracketList[] = {
    {'K', 4, nullptr, &H::SetInitialCondition},
    QM_CANON_RASTER_PARAMETER_COMMANDS,
    kListEnd,
};
#undef QM_CANON_RASTER_PARAMETER_COMMANDS

constexpr RasterCommandNode kEscList[] = {
    {'@', 4, nullptr, &H::ReturnToEmulation},
    {'(', 0, kParenList, nullptr},
    {'[', 0, kBracketList, nullptr},
    kListEnd,
};

constexpr RasterCommandNode kRootList[] = {
    {0x0A, 2, nullptr, &H::LineFeed},
    {0x0C, 2, nullptr, &H::FormFeed},
    {0x0D, 2, nullptr, &H::CarriageReturn},
    {0x1B, 0, kEscList, nullptr},
    kListEnd,
};

RasterCommandHandler* HandlerOfGroup(uint8_t group) {
    switch (group) {
        case 1: return g_rasterPage;
        case 2: return g_rasterImage;
        case 4: return g_rasterControl;
        default: return nullptr;
    }
}

// One raster run: walks the tree byte by byte until the job returns to the
// emulation or the data ends.
int InterpretRaster(CommandStream& stream) {
    const RasterCommandNode* list = kRootList;
    int result = 1;
    while (!stream.AtEnd() && result != kEscpMode) {
        uint8_t code = 0;
        if (!stream.ReadByte(code)) break;  // nothing more to read
        const RasterCommandNode& node = FindRasterNode(list, code);
        if (node.child != nullptr) {
            list = node.child;
            continue;
        }
        if (node.operation != nullptr) {
            RasterCommandHandler* handler = HandlerOfGroup(node.group);
            result = handler != nullptr ? (handler->*node.operation)() : 1;
        } else {
            g_rasterImage->UnknownCommand(code);
            result = 0;
        }
        list = kRootList;
    }
    return stream.AtEnd() || result != kEscpMode ? kEndOfData : result;
}

// Owns the three handlers of one run and publishes them for the run's length.
class RasterHandlers {
public:
    explicit RasterHandlers(CommandStream& stream)
        : control_(std::make_unique<RasterControlHandler>(stream)),
          page_(std::make_unique<RasterPageHandler>(stream)),
          image_(std::make_unique<RasterImageHandler>(stream)) {
        g_rasterControl = control_.get();
        g_rasterPage = page_.get();
        g_rasterImage = image_.get();
    }
    ~RasterHandlers() {
        g_rasterControl = nullptr;
        g_rasterPage = nullptr;
        g_rasterImage = nullptr;
        control_.reset();
        page_.reset();
        image_.reset();
    }
    RasterHandlers(const RasterHandlers&) = delete;
    RasterHandlers& operator=(const RasterHandlers&) = delete;
    const RasterPageHandler& page() const { return *page_; }

private:
    std::unique_ptr<RasterControlHandler> control_;
    std::unique_ptr<RasterPageHandler> page_;
    std::unique_ptr<RasterImageHandler> image_;
};

}  // namespace

const RasterCommandNode* RasterCommandRoot() noexcept { return kRootList; }

const RasterCommandNode& FindRasterNode(const RasterCommandNode* list, uint8_t code) noexcept {
    const RasterCommandNode* node = list;
    while (node->byte != code && node->byte != 0) ++node;
    return *node;
}

void RunRaster(CommandStream& stream, int& mode, PageCountResult& rec) {
    if (!stream.IsOpen()) return;
    RasterHandlers handlers(stream);
    mode = InterpretRaster(stream);

    const RasterPageHandler& page = handlers.page();
    rec.pages += page.pages;
    rec.copies = 0;
    if (rec.color != 1) rec.color = page.color;
    if (rec.paperLength == 0.0 && page.lengthResolution != 0.0f)
        rec.paperLength = static_cast<double>(page.pageLength / page.lengthResolution);
    if (rec.paperWidth == 0.0) rec.paperWidth = static_cast<double>(page.pageWidth / 360.0f);
}

}  // namespace qm::canon
