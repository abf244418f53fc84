#include "escp/escp2_commands.h"

#include <array>

namespace qm::escp2 {
namespace {

// Widths of the fixed arguments, in the order read: 1, 2 or 4 bytes, or
// kDrop for a byte that is passed over unread.
constexpr uint8_t kDrop = 0xFF;
struct Layout {
    uint8_t width[4] = {};
};

constexpr Layout LayoutOf(Op op) noexcept {
    switch (op) {
        // ESC commands
        case Op::SetBottomMargin:
        case Op::SetRightMargin:
        case Op::SetLeftMargin:
        case Op::AdvanceVertical:
        case Op::Set180LineSpace:
        case Op::Set360LineSpace:
        case Op::Set60LineSpace:
        case Op::SelectCharTable:
        case Op::SelectIntlCharSet:
        case Op::SelectUserDefSet:
        case Op::SelectLQorDraft:
        case Op::SelectTypeface:
        case Op::TogglePropSpacing:
        case Op::SetIntercharSpace:
        case Op::MasterSelect:
        case Op::ToggleUnderline:
        case Op::SelectSuperSubScript:
        case Op::SelectCharStyle:
        case Op::ToggleDoubleWide:
        case Op::ToggleDoubleHigh:
        case Op::ControlPaperLoading:
        case Op::ToggleUniDir:
        case Op::SelectColor:
            return {{1}};
        case Op::SetAbsoluteHorzPos:
        case Op::SetRelativeHorzPos:
        case Op::SetHMI:
            return {{2}};
        case Op::SelectFontBySize:
            return {{1, 2}};
        case Op::ReassignBitImageMode:
            return {{1, 1}};
        case Op::CopyRomToRam:
            return {{kDrop, 1, 1}};
        // ESC ( commands: the count, then their fields
        case Op::SetPageLengthInDefinedUnit:
        case Op::SetAbsoluteVertPos:
        case Op::SetRelativeVertPos:
            return {{2, 2}};
        case Op::SetPageSizeInDefinedUnit:
            return {{2, 4, 4}};
        case Op::SetPagFormat:
            return {{2, 2, 2}};
        case Op::SetUnit:
        case Op::SetGraphicsMode:
            return {{2, 1}};
        case Op::AssignCharTable:
        case Op::SelectStrikeThrough:
            return {{2, 1, 1, 1}};
        case Op::RemoteCommand:
        case Op::PrintDataAsChars:
            return {{2}};  // their data follows (TakeRemoteBlock, TakeCharData)
        default:
            return {};
    }
}

struct Density {
    uint8_t mode;
    uint8_t bytesPerColumn;
};
constexpr Density kDensities[] = {
    {0, 1},  {1, 1},  {2, 1},  {3, 1},  {4, 1},  {6, 1},  {32, 3}, {33, 3}, {38, 3},
    {39, 3}, {40, 3}, {64, 6}, {65, 6}, {70, 6}, {71, 6}, {72, 6}, {73, 6},
};

}  // namespace

Args TakeArgs(CommandStream& s, Op op) {
    const Layout layout = LayoutOf(op);
    Args a;
    int k = 0;
    for (uint8_t w : layout.width) {
        switch (w) {
            case 1: a.v[k++] = ArgByte(s); break;
            case 2: a.v[k++] = ArgWord(s); break;
            case 4: a.v[k++] = ArgLong(s); break;
            case kDrop: s.Skip(1); break;
            default: return a;
        }
    }
    return a;
}

uint8_t TakePageLength(CommandStream& s) {
    const uint8_t n = ArgByte(s);
    if (n == 0) s.Skip(1);  // ESC C NUL n: n inches
    return n;
}

void TakeTabStops(CommandStream& s) {
    uint8_t b = 0;
    while (s.ReadByte(b) && b != 0) {
    }
}

UserChars TakeUserCharsRange(CommandStream& s) {
    s.Skip(1);
    UserChars r;
    r.first = ArgByte(s);
    r.last = ArgByte(s);
    return r;
}

void TakeUserCharsData(CommandStream& s, const UserChars& range) {
    if (!range.accepted()) return;
    for (unsigned code = range.first; code <= range.last; ++code) {
        if (s.AtEnd()) return;
        s.Skip(1);
        const uint8_t a1 = ArgByte(s);
        s.Skip(1);
        s.Skip(static_cast<uint16_t>(2 * a1));
    }
}

Raster TakeRasterHeader(CommandStream& s) {
    Raster r;
    r.compression = ArgByte(s);
    r.v = ArgByte(s);
    r.h = ArgByte(s);
    r.rows = ArgByte(s);
    r.dots = ArgWord(s);
    r.needed = static_cast<uint16_t>(((uint32_t{r.dots} + 7) / 8) * r.rows);
    return r;
}

ColorRaster TakeColorRasterHeader(CommandStream& s) {
    ColorRaster r;
    r.color = ArgByte(s);
    r.compression = ArgByte(s);
    r.bits = ArgByte(s);
    r.bytesPerRow = ArgWord(s);
    r.rows = ArgWord(s);
    if (r.bits == 0) throw BadRasterArgument{};
    r.dots = (uint32_t{r.bytesPerRow} * 8) / r.bits;
    const uint64_t rowBytes = (uint64_t{r.dots} * r.bits + 7) / 8;
    r.needed = static_cast<uint16_t>(rowBytes * r.rows);
    return r;
}

void TakeImageData(CommandStream& s, uint8_t compression, uint16_t needed) {
    if (compression == 0) {
        s.Skip(needed);
        return;
    }
    while (needed != 0) {
        uint8_t b = 0;
        if (!s.ReadByte(b)) return;
        if (b <= 127) {
            s.Skip(static_cast<uint16_t>(b + 1));  // literal bytes
            needed = static_cast<uint16_t>(needed - (b + 1));
        } else {
            s.Skip(1);  // the repeated byte
            needed = static_cast<uint16_t>(needed - (257 - b));
        }
    }
}

uint8_t BytesPerColumn(uint8_t mode) noexcept {
    for (const Density& d : kDensities)
        if (d.mode == mode) return d.bytesPerColumn;
    return 0;
}

BitImage TakeBitImageHeader(CommandStream& s) {
    BitImage b;
    b.mode = ArgByte(s);
    b.columns = ArgWord(s);
    b.bytesPerColumn = BytesPerColumn(b.mode);
    return b;
}

void TakeBitImageData(CommandStream& s, const BitImage& image) {
    if (image.bytesPerColumn == 0) return;
    s.Skip(static_cast<uint16_t>(uint32_t{image.columns} * image.bytesPerColumn));
}

uint16_t TakeGraphics(CommandStream& s) {
    const uint16_t w = ArgWord(s);
    s.Skip(w);
    return w;
}

void TakeCharData(CommandStream& s, uint16_t count, CharSink sink, void* context) {
    if (count > 32767) return;
    if (sink == nullptr) {
        s.Skip(count);
        return;
    }
    for (uint16_t k = 0; k < count; ++k) {
        uint8_t b = 0;
        if (!s.ReadByte(b)) return;
        sink(context, b);
    }
}

bool ScanRemotePaperSize(CommandStream& s, uint16_t& width, uint16_t& length) {
    static constexpr uint8_t kLetters[] = {'M', 'N', 'W', 'H'};
    uint16_t values[4] = {};
    uint8_t previousFourth = 0;
    for (int g = 0; g < 4; ++g) {
        const uint8_t letter = kLetters[g];
        if (g == 0 || previousFourth != letter) {
            uint8_t c = 0;
            do {
                if (!s.ReadByte(c)) return false;
            } while (c != letter);
        }
        std::array<uint8_t, 5> b{};
        const uint16_t want = static_cast<uint16_t>(b.size());
        if (s.Read(b.data(), want) != want) return false;
        values[g] = static_cast<uint16_t>(b[3] * 256 + b[4]);
        previousFourth = b[3];
    }
    width = values[0];
    length = values[1];
    return true;
}

}  // namespace qm::escp2
