// Walks serial-printer jobs in memory for the accurate count. Every command is
// taken with the length it states (or the fixed length of its kind), so the
// walk never reads image data as commands; pages are the form feeds the
// printer obeys, and a page is in colour when it sends ink on a colour plane.
#include "escp/serial_accurate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "escp/escp2_commands.h"

namespace qm::serial {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;

// ---- reading -----------------------------------------------------------------

// A cursor over the job. Every read is bounded; a read past the end yields 0
// and marks the walk truncated, so a cut job ends the walk instead of wrapping.
class Cursor {
public:
    explicit Cursor(Bytes job) : p_(job.data), end_(job.data + job.size) {}

    bool AtEnd() const noexcept { return p_ >= end_; }
    size_t Left() const noexcept { return static_cast<size_t>(end_ - p_); }
    const uint8_t* Here() const noexcept { return p_; }
    uint8_t Peek(size_t ahead = 0) const noexcept { return ahead < Left() ? p_[ahead] : 0; }

    uint8_t Byte() noexcept {
        if (p_ < end_) return *p_++;
        truncated = true;
        return 0;
    }
    uint16_t Word() noexcept {  // little-endian
        const uint8_t lo = Byte();
        return static_cast<uint16_t>(lo | (Byte() << 8));
    }
    uint32_t Long() noexcept {  // little-endian
        const uint32_t lo = Word();
        return lo | (uint32_t{Word()} << 16);
    }
    // Takes `count` bytes; fewer (and truncated) at the end of the job.
    const uint8_t* Take(uint64_t count, uint32_t& got) noexcept {
        const uint8_t* at = p_;
        if (count > Left()) {
            truncated = true;
            count = Left();
        }
        got = static_cast<uint32_t>(count);
        p_ += count;
        return at;
    }
    void Skip(uint64_t count) noexcept {
        uint32_t got = 0;
        Take(count, got);
    }

    bool truncated = false;

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

bool AnyInk(const uint8_t* data, uint32_t size) noexcept {
    for (uint32_t i = 0; i < size; ++i)
        if (data[i] != 0) return true;
    return false;
}

// ---- pages ---------------------------------------------------------------------

// What the job has done so far: pages ejected, and the page being built.
struct Pages {
    uint32_t ejected = 0;
    bool marked = false;       // the page in the printer holds marks
    bool pageColor = false;    // ... some of them in colour
    bool pageUnknown = false;  // ... some of them of an ink whose colour the job does not tell
    bool jobColor = false;
    accurate::PageLog log;

    void Mark(bool colour) noexcept {
        marked = true;
        pageColor = pageColor || colour;
    }
    void MarkUnknown() noexcept {
        marked = true;
        pageUnknown = true;
    }
    void Eject() {
        ++ejected;
        jobColor = jobColor || pageColor;
        const uint8_t colour = pageColor ? QM_PAGE_COLOR : pageUnknown ? QM_PAGE_COLOR_UNKNOWN : QM_PAGE_MONO;
        log.Add(accurate::Page{colour});
        marked = pageColor = pageUnknown = false;
    }
    // A page left with marks at the end of the job comes out when the
    // printer is next reset or fed: it is printed.
    void Finish() {
        if (marked) Eject();
    }
};

// ---- paper ---------------------------------------------------------------------

struct Sheet {
    double width;
    double length;
};
// Portrait sheets in inches.
constexpr Sheet kSheets[] = {
    {8.27, 11.69},   // A4
    {8.5, 11.0},     // Letter
    {8.5, 14.0},     // Legal
    {5.83, 8.27},    // A5
    {11.69, 16.54},  // A3
    {7.17, 10.12},   // B5 (JIS)
    {6.93, 9.84},    // B5 (ISO)
    {7.25, 10.5},    // Executive
    {4.13, 5.83},    // A6
    {4.0, 6.0},      // index card / photo 4 x 6
    {11.0, 17.0},    // Tabloid
};
constexpr double kSame = 0.03;       // rounding of the units a driver states
constexpr double kAllowance = 0.5;   // the most a driver adds below a sheet

}  // namespace

bool StandardSheet(double width, double length, double& sheetWidth, double& sheetLength) noexcept {
    if (!(length > 0.0)) return false;
    const Sheet* best = nullptr;
    for (const Sheet& s : kSheets) {
        if (width > 0.0) {
            if (std::fabs(s.width - width) > kSame) continue;
            if (length < s.length - kSame || length > s.length + kAllowance) continue;
            if (best == nullptr || s.length > best->length) best = &s;  // the longest the form covers
        } else if (std::fabs(s.length - length) <= kSame) {
            best = &s;
            break;
        }
    }
    if (best == nullptr) return false;
    sheetWidth = best->width;
    sheetLength = best->length;
    return true;
}

bool PackBitsHasInk(const uint8_t* data, uint32_t size, RunCoding coding) noexcept {
    uint32_t i = 0;
    while (i < size) {
        const uint8_t n = data[i++];
        if (n <= 127) {
            const uint32_t run = n + 1u;
            if (AnyInk(data + i, run <= size - i ? run : size - i)) return true;
            i += run <= size - i ? run : size - i;
        } else if (n != 128 || coding == RunCoding::Escp2) {
            if (i < size && data[i] != 0) return true;
            ++i;
        }
    }
    return false;
}

namespace {

// How many bytes of ESC/P2 run-length data expand to `expanded` bytes;
// stops at the end of what is there.
uint64_t PackBitsLength(const uint8_t* data, size_t size, uint64_t expanded) noexcept {
    uint64_t out = 0;
    size_t i = 0;
    while (out < expanded && i < size) {
        const uint8_t n = data[i++];
        if (n <= 127) {
            i += n + 1u;
            out += n + 1u;
        } else {
            ++i;
            out += 257u - n;
        }
    }
    return std::min(i, size);
}

// ---- ESC/P2 --------------------------------------------------------------------

// Fixed argument bytes of ESC <code> for the codes that take nothing but
// fixed arguments; kSpecial for those with their own reader, kUnknownCode
// for codes the language does not define.
constexpr int8_t kSpecial = -1;
constexpr int8_t kUnknownCode = -2;
using EscTable = std::array<int8_t, 256>;

constexpr void Set(EscTable& t, const char* codes, int8_t kind) {
    for (; *codes != '\0'; ++codes) t[static_cast<uint8_t>(*codes)] = kind;
}

constexpr EscTable MakeEscTable(bool canonEmulation) {
    EscTable t{};
    for (auto& v : t) v = kUnknownCode;
    Set(t, "@O012PMgEF45GHT67<#=>89y\x0E\x0F", 0);
    Set(t, "NQlIJj3+AtR%xkp !-SqWwU/ashm\x19", 1);
    Set(t, "$\\cef?", 2);
    Set(t, ":X", 3);
    Set(t, "C(.i*KLYZ^|rDBb&\x01", kSpecial);
    if (canonEmulation) {
        // The Bubble Jet emulation: ESC [ commands state their length, ESC d
        // moves by a 16-bit count and ESC 5 takes a switch byte.
        Set(t, "[", kSpecial);
        Set(t, "d", 2);
        Set(t, "5", 1);
    } else {
        Set(t, "{", kSpecial);  // ESC { A: an Oki printer's switch to its Epson emulation
    }
    return t;
}
constexpr EscTable kEscp2Table = MakeEscTable(false);
constexpr EscTable kCanonEmulationTable = MakeEscTable(true);

// Page-format state of an ESC/P2 walk.
// The inks of the multi-line raster blocks (ESC ( F) of Canon raster mode:
// ESC ( L names the inks, one letter each, and every band of lines then
// comes as one block per ink, in that order.
struct BlockInks {
    static constexpr uint32_t kMax = 16;
    uint8_t letters[kMax] = {};
    uint32_t count = 0;  // 0: no ESC ( L yet
    uint32_t next = 0;   // the ink of the next block
};

struct Format {
    double unit = 1.0 / 360.0;  // inches per unit of ESC ( C and ESC ( S
    double width = 0.0;         // stated, in inches
    double length = 0.0;
    uint8_t ink = 0;            // colour selected by ESC r: 0 black
    BlockInks blocks;
};

class Escp2Walk {
public:
    Escp2Walk(Bytes job, const EscTable& table) : in_(job), table_(table) {}

    // Walks to the end of the job, or (in the Canon emulation) to the command
    // that enters raster mode; true when that command was met.
    bool Run() {
        while (!in_.AtEnd()) {
            const uint8_t b = in_.Byte();
            if (b == kEsc) {
                if (Escape()) return true;
            } else if (b == kFormFeed) {
                pages.Eject();
            } else if (b >= 0x20 && b != 0x7F) {
                pages.Mark(format.ink != 0);  // a printable character
            }
        }
        return false;
    }

    Cursor& In() noexcept { return in_; }

    Pages pages;
    Format format;
    uint32_t known = 0;
    uint32_t unknown = 0;
    bool duplex = false;

private:
    // One command after ESC; true when it enters raster mode.
    bool Escape() noexcept {
        const uint8_t code = in_.Byte();
        const int8_t kind = table_[code];
        if (kind != kUnknownCode) ++known;
        if (kind >= 0) {
            if (code == '@') format.ink = 0;
            in_.Skip(static_cast<uint64_t>(kind));
            return false;
        }
        if (kind == kUnknownCode) {
            ++unknown;
            return false;
        }
        switch (code) {
            case 'C':  // form length in lines or, after NUL, whole inches: not a sheet size
                if (in_.Byte() == 0) in_.Skip(1);
                return false;
            case '(': Extended(); return false;
            case '.': Raster(); return false;
            case 'i': ColorRaster(); return false;
            case '*': BitImage(); return false;
            case 'K':
            case 'L':
            case 'Y':
            case 'Z': Columns(1); return false;
            case '^': Columns(2); return false;
            case '|': Bar(); return false;
            case 'r': format.ink = in_.Byte(); return false;
            case 'D':
            case 'B':
            case 'b': TabStops(); return false;
            case '&': UserCharacters(); return false;
            case 0x01: Ejl(); return false;
            case '[': return Bracket();
            case '{':
                if (in_.Peek() == 'A') {
                    in_.Skip(1);
                } else {
                    --known;
                    ++unknown;
                }
                return false;
            default: ++unknown; return false;
        }
    }

    // ESC ( c nL nH, then n bytes.
    void Extended() noexcept {
        const uint8_t code = in_.Byte();
        const uint16_t n = in_.Word();
        uint32_t got = 0;
        const uint8_t* d = in_.Take(n, got);
        if (got < n) return;
        auto le16 = [d](int at) { return static_cast<uint32_t>(d[at] | (d[at + 1] << 8)); };
        auto le32 = [le16](int at) { return le16(at) | (le16(at + 2) << 16); };
        switch (code) {
            case 'U':  // unit: n/3600 inch, or P/m inch with the base m stated
                if (n == 1 && d[0] != 0) format.unit = d[0] / 3600.0;
                if (n == 5 && d[0] != 0 && le16(3) != 0) format.unit = d[0] / static_cast<double>(le16(3));
                break;
            case 'C':  // form length in units
                if (n == 2) format.length = le16(0) * format.unit;
                if (n == 4) format.length = le32(0) * format.unit;
                break;
            case 'S':  // sheet width and length in units
                if (n == 8) {
                    format.width = le32(0) * format.unit;
                    format.length = le32(4) * format.unit;
                }
                break;
            case 'R':  // remote mode: commands of their own until ESC NUL NUL NUL
                if (n == 8 && std::memcmp(d, "\0REMOTE1", 8) == 0) Remote();
                break;
            case '^':  // characters printed from the data
                if (AnyInk(d, got)) pages.Mark(format.ink != 0);
                break;
            default: break;
        }
    }

    void Remote() noexcept {
        while (!in_.AtEnd()) {
            if (in_.Peek() == kEsc && in_.Peek(1) == 0 && in_.Peek(2) == 0 && in_.Peek(3) == 0) {
                in_.Skip(4);
                return;
            }
            const uint8_t a = in_.Peek(), b = in_.Peek(1);
            if (a < 'A' || a > 'Z' || b < 'A' || b > 'Z') {
                ++unknown;  // not a remote command: leave remote mode here
                return;
            }
            in_.Skip(2);
            const uint16_t n = in_.Word();
            uint32_t got = 0;
            const uint8_t* d = in_.Take(n, got);
            // DP NUL m: two-sided printing when m is not 0.
            if (a == 'D' && b == 'P' && got == 2) duplex = d[1] != 0;
        }
    }

    // Image data of `expanded` bytes, plain or run-length coded.
    void ImageData(uint8_t compression, uint64_t expanded, bool colour) noexcept {
        if (compression == 0) {
            uint32_t got = 0;
            const uint8_t* d = in_.Take(expanded, got);
            if (!PageKnown(colour) && AnyInk(d, got)) pages.Mark(colour);
            return;
        }
        const uint8_t* d = in_.Here();
        const uint64_t length = PackBitsLength(d, in_.Left(), expanded);
        uint32_t got = 0;
        in_.Take(length, got);
        if (!PageKnown(colour) && PackBitsHasInk(d, got, RunCoding::Escp2)) pages.Mark(colour);
    }
    // Whether the data cannot change what the page is known to be.
    bool PageKnown(bool colour) const noexcept { return pages.marked && (pages.pageColor || !colour); }

    // ESC . c v h m nL nH: m rows of n dots, one bit a dot.
    void Raster() noexcept {
        const uint8_t compression = in_.Byte();
        in_.Skip(2);
        const uint8_t rows = in_.Byte();
        const uint16_t dots = in_.Word();
        if (compression > 1) {
            ++unknown;  // a coding whose length this walk cannot follow
            return;
        }
        ImageData(compression, uint64_t{rows} * ((dots + 7u) / 8u), format.ink != 0);
    }

    // ESC i r c b nL nH mL mH: bytes per row, rows; r names the ink.
    void ColorRaster() noexcept {
        const uint8_t ink = in_.Byte();
        const uint8_t compression = in_.Byte();
        in_.Skip(1);
        const uint16_t bytesPerRow = in_.Word();
        const uint16_t rows = in_.Word();
        if (compression > 1) {
            ++unknown;
            return;
        }
        // The low bits name the ink (magenta 1, cyan 2, yellow 4); the high
        // bits only its density: light black is black.
        ImageData(compression, uint64_t{bytesPerRow} * rows, (ink & 0x0F) != 0);
    }

    // ESC * m nL nH columns; a letter after ESC * opens a parameterised
    // command (ESC * r b C) that ends at its capital letter.
    void BitImage() noexcept {
        const uint8_t mode = in_.Byte();
        if (mode >= 0x60 && mode <= 0x7E) {
            for (int i = 0; i < 32 && !in_.AtEnd(); ++i) {
                const uint8_t c = in_.Byte();
                if (c >= 0x40 && c <= 0x5E) return;
            }
            ++unknown;
            return;
        }
        const uint16_t columns = in_.Word();
        const uint8_t perColumn = escp2::BytesPerColumn(mode);
        if (perColumn == 0) {
            ++unknown;
            return;
        }
        ImageData(0, uint64_t{columns} * perColumn, format.ink != 0);
    }

    void Columns(unsigned bytesPerColumn) noexcept {
        if (bytesPerColumn == 2) in_.Skip(1);  // ESC ^ m
        ImageData(0, uint64_t{in_.Word()} * bytesPerColumn, format.ink != 0);
    }

    // ESC | J nL nH moves the paper; ESC | B c nL nH sends a band of nL nH
    // bytes coded by runs.
    void Bar() noexcept {
        const uint8_t code = in_.Byte();
        if (code == 'J') {
            in_.Skip(2);
        } else if (code == 'B') {
            in_.Skip(1);
            const uint16_t n = in_.Word();
            uint32_t got = 0;
            const uint8_t* d = in_.Take(n, got);
            if (!PageKnown(format.ink != 0) && PackBitsHasInk(d, got, RunCoding::Escp2)) pages.Mark(format.ink != 0);
        } else {
            ++unknown;
        }
    }

    void TabStops() noexcept {
        for (int i = 0; i < 64 && !in_.AtEnd(); ++i)
            if (in_.Byte() == 0) return;
    }

    // ESC & NUL first last, then per character a0 a1 a2 and three bytes per column.
    void UserCharacters() noexcept {
        in_.Skip(1);
        const uint8_t first = in_.Byte();
        const uint8_t last = in_.Byte();
        if (first > last) return;
        for (unsigned c = first; c <= last && !in_.AtEnd(); ++c) {
            in_.Skip(1);
            const uint8_t columns = in_.Byte();
            in_.Skip(1);
            in_.Skip(3u * columns);
        }
    }

    // ESC SOH "@EJL" lines of the job wrapper, up to the first line that is
    // not one.
    void Ejl() noexcept {
        while (in_.Left() >= 4 && std::memcmp(in_.Here(), "@EJL", 4) == 0) {
            while (!in_.AtEnd() && in_.Byte() != 0x0A) {
            }
        }
    }

    // ESC [ c nL nH and n bytes (the Canon emulation); ESC [ K with 0x0F in
    // its second byte enters raster mode, with 0x1F a block of text control
    // lines that ends with BJLEND.
    bool Bracket() noexcept {
        const uint8_t code = in_.Byte();
        const uint16_t n = in_.Word();
        uint32_t got = 0;
        const uint8_t* d = in_.Take(n, got);
        if (code == 'g' && got >= 1) {  // graphics: a mode byte, then the columns
            if (!PageKnown(format.ink != 0) && AnyInk(d + 1, got - 1)) pages.Mark(format.ink != 0);
        }
        if (code == 'K' && got >= 2 && d[1] == 0x1F) ControlLines();
        return code == 'K' && got >= 2 && d[1] == 0x0F;
    }

    void ControlLines() noexcept {
        while (!in_.AtEnd()) {
            const bool end = in_.Left() >= 6 && std::memcmp(in_.Here(), "BJLEND", 6) == 0;
            while (!in_.AtEnd() && in_.Byte() != 0x0A) {
            }
            if (end) return;
        }
    }

    Cursor in_;
    const EscTable& table_;
};

void Settle(SerialCount& out, Pages& pages, const Format& format, uint32_t known, uint32_t unknown,
            bool truncated) {
    out.pages = pages.ejected;
    out.pageLog = std::move(pages.log);
    out.commands = known;
    out.color = pages.jobColor;
    out.unknownCommands = unknown;
    out.truncated = truncated;
    double w = 0.0, l = 0.0;
    if (StandardSheet(format.width, format.length, w, l)) {
        out.paperWidth = w;
        out.paperLength = l;
    } else if (format.width > 0.0 && format.length > 0.0) {
        out.paperWidth = format.width;
        out.paperLength = format.length;
    }
}

// ---- Canon raster mode ---------------------------------------------------------

enum class Ink : uint8_t { Black, Colour, Unknown };

// The ink a raster-mode letter names: K and k black; C M Y and the light
// c m y colour; some models send the letters raised by 0x60.
Ink InkOf(uint8_t letter) noexcept {
    if (letter >= 0x60 + 'A') letter = static_cast<uint8_t>(letter - 0x60);
    switch (letter) {
        case 'K':
        case 'k': return Ink::Black;
        case 'C':
        case 'M':
        case 'Y':
        case 'c':
        case 'm':
        case 'y': return Ink::Colour;
        default: return Ink::Unknown;
    }
}

// Marks the page with run-length data of one ink, when it puts ink down
// and could change what the page is known to be.
void MarkInk(Pages& pages, Ink ink, const uint8_t* data, uint32_t size) noexcept {
    if (pages.pageColor || (ink == Ink::Black && pages.marked)) return;
    if (!PackBitsHasInk(data, size, RunCoding::Canon)) return;
    if (ink == Ink::Unknown) {
        pages.MarkUnknown();
    } else {
        pages.Mark(ink == Ink::Colour);
    }
}

// ESC ( p in its long form: the unit at 12, then after the printable area
// the sheet's width and length (big-endian) at 38 and 42.
constexpr uint32_t kMarginsUnitAt = 12;
constexpr uint32_t kMarginsSheetAt = 38;
constexpr uint32_t kMarginsSheetEnd = kMarginsSheetAt + 8;
// ESC ( $ of nine bytes sets the sides.
constexpr uint16_t kDuplexSize = 9;
constexpr uint32_t kDuplexSidesAt = 2;

uint32_t Be16(const uint8_t* d) noexcept { return uint32_t(d[0]) << 8 | d[1]; }
uint32_t Be32(const uint8_t* d) noexcept { return Be16(d) << 16 | Be16(d + 2); }

// Walks raster mode until ESC @ returns to the emulation; true when it did.
bool CanonRaster(Cursor& in, Pages& pages, Format& format, uint32_t& known, uint32_t& unknown, bool& duplex) {
    while (!in.AtEnd()) {
        const uint8_t b = in.Byte();
        if (b == kFormFeed) {
            pages.Eject();
            format.blocks.next = 0;
            continue;
        }
        if (b != kEsc) continue;  // CR, LF and padding
        const uint8_t code = in.Byte();
        if (code == '@') return true;
        if (code != '(' && code != '[') {
            ++unknown;
            continue;
        }
        const uint8_t command = in.Byte();
        const uint16_t n = in.Word();
        uint32_t got = 0;
        const uint8_t* d = in.Take(n, got);
        if (got < n) break;
        ++known;
        if (code == '(' && command == 'A' && n >= 1) {
            // One raster line of one ink, run-length coded, after its letter.
            // An ink the walk does not know is taken as colour.
            const Ink ink = InkOf(d[0]);
            MarkInk(pages, ink == Ink::Black ? Ink::Black : Ink::Colour, d + 1, n - 1u);
        } else if (code == '(' && command == 'L') {
            BlockInks& b = format.blocks;
            b.count = n <= BlockInks::kMax ? n : 0;  // more inks than any head has: not read
            std::memcpy(b.letters, d, b.count);
            b.next = 0;
        } else if (code == '(' && command == 'F') {
            // A band of lines of the next ink in the ESC ( L order, each line
            // run-length coded and ended by a 128. Without an order the ink
            // is not known.
            BlockInks& b = format.blocks;
            const Ink ink = b.count == 0 ? Ink::Unknown : InkOf(b.letters[b.next]);
            if (b.count != 0) b.next = (b.next + 1) % b.count;
            MarkInk(pages, ink, d, n);
        } else if (code == '(' && command == 'g' && n >= 1 && d[0] != 0) {
            format.length = d[0] / 10.0;  // page length in tenths of an inch
        } else if (code == '(' && command == 'p' && n >= kMarginsSheetEnd) {
            // The long page-margins form states the sheet itself, in its own unit.
            const uint32_t unit = Be16(d + kMarginsUnitAt);
            if (unit != 0) {
                format.width = Be32(d + kMarginsSheetAt) / double(unit);
                format.length = Be32(d + kMarginsSheetAt + 4) / double(unit);
            }
        } else if (code == '(' && command == 'p' && n >= 2 && (d[0] | d[1]) != 0) {
            format.length = ((d[0] << 8) | d[1]) / 60.0;  // sixtieths of an inch
        } else if (code == '(' && command == '$' && n == kDuplexSize) {
            duplex = d[kDuplexSidesAt] != 0;  // two-sided printing: 2 in its third byte, 0 one-sided
        }
    }
    return false;
}

// ---- the 8-bit control-sequence language ----------------------------------------

constexpr uint8_t kCsi = 0x9B;
constexpr uint8_t kDcs = 0x90;
constexpr uint8_t kSt = 0x9C;

// Whether the job opens as a control-sequence job: after NULs, ESC % @, a
// CSI or a DCS.
bool IsControlSequenceJob(Bytes job) noexcept {
    size_t i = 0;
    while (i < job.size && i < 512 && job.data[i] == 0) ++i;
    if (i >= job.size) return false;
    const uint8_t b = job.data[i];
    if (b == kCsi || b == kDcs) return true;
    return b == kEsc && i + 2 < job.size && job.data[i + 1] == '%' && job.data[i + 2] == '@';
}

// Paper sizes the job selects with CSI n p (portrait codes; n + 1 is the
// same sheet turned).
struct PaperCode {
    uint16_t code;
    Sheet sheet;
};
constexpr PaperCode kPaperCodes[] = {
    {14, {8.27, 11.69}}, {30, {8.5, 11.0}}, {32, {8.5, 14.0}}, {16, {5.83, 8.27}},
    {12, {11.69, 16.54}}, {26, {7.17, 10.12}}, {40, {7.25, 10.5}},
};

// ---- the image commands' colour ----

// An image command CSI length ; width ; resolution ; coding ; lines ; ;
// bits ; space ; ; 1 . r names its colour space in the eighth parameter:
// none or 0 a one-bit or grey image (black ink only), 10 red, green and blue
// of 8 bits each, `width` pixels a line. Red, green and blue images come
// plain (coding 0 or none) or by delta rows (coding 12).
constexpr uint32_t kSpaceRgb = 10;
constexpr uint32_t kCodingDeltaRows = 12;
// The longest line of pixels read (a sheet of 27 inches at 1200 dpi); wider
// images are not decoded.
constexpr uint32_t kMaxLinePixels = 32768;
// A pixel is neutral when its red, green and blue lie this close: colour
// management and drivers leave a neutral grey or black a few steps apart,
// and nothing that prints as colour is that close to grey.
constexpr int kNeutralTolerance = 8;

enum class Verdict : uint8_t { Neutral, Colour, Unknown };

bool NeutralPixel(uint8_t r, uint8_t g, uint8_t b) noexcept {
    return std::max({r, g, b}) - std::min({r, g, b}) <= kNeutralTolerance;
}

bool NeutralPixels(const uint8_t* p, size_t bytes) noexcept {
    for (size_t i = 0; i + 3 <= bytes; i += 3)
        if (!NeutralPixel(p[i], p[i + 1], p[i + 2])) return false;
    return true;
}

// The line of red, green and blue that delta rows build on. A byte holds
// its value only when written since the line was last cleared, so clearing
// costs nothing whatever the line's width; the buffers are taken once, at
// the widest line read.
class RgbLine {
public:
    void Start(uint32_t pixels) {
        if (value_.empty()) {
            value_.assign(size_t{kMaxLinePixels} * 3, 0);
            stamp_.assign(size_t{kMaxLinePixels} * 3, 0);
        }
        bytes_ = size_t{pixels} * 3;
        Clear();
    }
    size_t Bytes() const noexcept { return bytes_; }
    void Clear() noexcept {
        if (++now_ == 0) {  // the stamps wrapped: forget them all
            std::fill(stamp_.begin(), stamp_.end(), 0u);
            now_ = 1;
        }
    }
    void Write(size_t at, const uint8_t* data, uint32_t count) noexcept {
        std::memcpy(value_.data() + at, data, count);
        std::fill_n(stamp_.data() + at, count, now_);
    }
    // Whether the whole pixels over the bytes [from, to) are neutral.
    bool Neutral(size_t from, size_t to) const noexcept {
        for (size_t i = from / 3 * 3; i < to && i + 3 <= bytes_; i += 3)
            if (!NeutralPixel(At(i), At(i + 1), At(i + 2))) return false;
        return true;
    }

private:
    uint8_t At(size_t i) const noexcept { return stamp_[i] == now_ ? value_[i] : 0; }

    std::vector<uint8_t> value_;
    std::vector<uint32_t> stamp_;
    size_t bytes_ = 0;
    uint32_t now_ = 0;
};

// Applies one delta row to the line: command bytes whose top three bits
// count 1 to 8 replacement bytes and whose low five bits skip that many
// bytes from where the last replacement ended (31: add the bytes that
// follow, while they are 255). A pixel is judged once no later command of
// the row can change it: the commands move only forward. Unknown when the
// row runs past its data or the line.
Verdict ApplyDeltaRow(const uint8_t* row, uint32_t size, RgbLine& line) noexcept {
    uint32_t k = 0;
    uint64_t pos = 0;
    size_t lo = 0, hi = 0;  // bytes replaced whose pixels are not judged yet
    while (k < size) {
        const uint8_t c = row[k++];
        const uint32_t count = (c >> 5) + 1u;
        uint64_t skip = c & 31u;
        if (skip == 31) {
            uint8_t more = 255;
            while (more == 255) {
                if (k >= size) return Verdict::Unknown;
                more = row[k++];
                skip += more;
            }
        }
        pos += skip;
        if (count > size - k || pos + count > line.Bytes()) return Verdict::Unknown;
        const size_t at = static_cast<size_t>(pos);
        if (lo < hi && at / 3 * 3 > lo) {  // pixels before this command's are final
            const size_t done = std::min(hi, at / 3 * 3);
            if (!line.Neutral(lo, done)) return Verdict::Colour;
            lo = hi > done ? done : hi;
        }
        line.Write(at, row + k, count);
        if (lo == hi) lo = at;
        hi = at + count;
        k += count;
        pos += count;
    }
    return lo < hi && !line.Neutral(lo, hi) ? Verdict::Colour : Verdict::Neutral;
}

// Delta rows, each against the line before (0 before the first): a row
// of 1 and a count byte is blank (all 0), 0 repeats the line before, any
// other row states its length (bytes of 255 added to the first that is
// not) and then its command bytes.
Verdict DeltaRowsColour(const uint8_t* d, uint32_t size, RgbLine& line) noexcept {
    uint32_t i = 0;
    while (i < size) {
        if (d[i] == 1) {
            line.Clear();
            i += size - i >= 2 ? 2 : 1;
            continue;
        }
        uint64_t length = 0;
        while (i < size && d[i] == 255) {
            length += 255;
            ++i;
        }
        if (i >= size) return Verdict::Unknown;
        length += d[i++];
        if (length > size - i) return Verdict::Unknown;
        const Verdict v = ApplyDeltaRow(d + i, static_cast<uint32_t>(length), line);
        if (v != Verdict::Neutral) return v;
        i += static_cast<uint32_t>(length);
    }
    return Verdict::Neutral;
}

// What the image's data puts down, as far as colour goes. `complete` is
// false when the job ends inside the data.
Verdict ImageColour(const uint32_t* params, unsigned count, const uint8_t* d, uint32_t size, bool complete,
                    RgbLine& line) {
    const uint32_t space = count > 7 ? params[7] : 0;
    if (space == 0) return Verdict::Neutral;  // one-bit or grey: black ink
    // A colour space is the eighth parameter: the ones before it are there.
    const uint32_t coding = params[3], bits = params[6], width = params[1];
    if (space != kSpaceRgb || bits != 8 || width == 0 || width > kMaxLinePixels) return Verdict::Unknown;
    Verdict v = Verdict::Unknown;
    if (coding == 0) {
        v = NeutralPixels(d, size) ? Verdict::Neutral : Verdict::Colour;
    } else if (coding == kCodingDeltaRows) {
        line.Start(width);
        v = DeltaRowsColour(d, size, line);
    }
    return v == Verdict::Neutral && !complete ? Verdict::Unknown : v;
}

SerialCount CountControlSequences(Bytes job) {
    SerialCount out;
    Cursor in(job);
    Pages pages;
    RgbLine line;
    uint32_t paper = 0;
    while (!in.AtEnd()) {
        const uint8_t b = in.Byte();
        if (b == kFormFeed) {
            pages.Eject();
            continue;
        }
        if (b == kDcs) {  // a device control string, up to ST
            while (!in.AtEnd() && in.Byte() != kSt) {
            }
            continue;
        }
        bool csi = b == kCsi;
        if (b == kEsc) {
            const uint8_t next = in.Byte();
            if (next == '[') {
                csi = true;
            } else if (next == '%' || next == 'P') {  // mode switch, or a 7-bit DCS
                if (next == 'P') {
                    while (!in.AtEnd() && in.Byte() != kSt) {
                    }
                } else {
                    in.Skip(1);
                }
                continue;
            }
        }
        if (!csi) continue;
        // CSI parameters intermediates final.
        constexpr unsigned kParams = 10;
        uint32_t params[kParams] = {};
        unsigned count = 1;  // parameters seen, empty ones included
        uint8_t c = in.Byte();
        for (int guard = 0; c >= 0x30 && c <= 0x3F && guard < 256; ++guard, c = in.Byte()) {
            if (c == ';') {
                if (count < kParams) ++count;
            } else if (c >= '0' && c <= '9' && params[count - 1] < 100000000u) {  // count is 1 to kParams
                params[count - 1] = params[count - 1] * 10 + (c - '0');
            }
        }
        uint8_t intermediate = 0;
        for (int guard = 0; c >= 0x20 && c <= 0x2F && guard < 16; ++guard, c = in.Byte()) intermediate = c;
        if (c < 0x40 || c > 0x7E) {
            ++out.unknownCommands;
            continue;
        }
        ++out.commands;
        if (intermediate == '.' && c == 'r') {  // an image: its first parameter counts its data
            uint32_t got = 0;
            const uint8_t* d = in.Take(params[0], got);
            if (pages.pageColor) continue;  // nothing on the page can change it
            switch (ImageColour(params, count, d, got, got == params[0], line)) {
                case Verdict::Neutral: pages.Mark(false); break;
                case Verdict::Colour: pages.Mark(true); break;
                case Verdict::Unknown: pages.MarkUnknown(); break;
            }
        } else if (intermediate == 0 && c == 'p') {
            paper = params[0];
        }
    }
    pages.Finish();
    out.pages = pages.ejected;
    out.color = pages.jobColor;
    out.pageLog = std::move(pages.log);
    out.truncated = in.truncated;
    for (const PaperCode& p : kPaperCodes) {
        if (p.code == paper || p.code + 1u == paper) {
            out.paperWidth = p.code == paper ? p.sheet.width : p.sheet.length;
            out.paperLength = p.code == paper ? p.sheet.length : p.sheet.width;
        }
    }
    return out;
}

}  // namespace

SerialCount CountEscp2Job(Bytes job) {
    SerialCount out;
    Escp2Walk walk(job, kEscp2Table);
    walk.Run();
    walk.pages.Finish();
    Settle(out, walk.pages, walk.format, walk.known, walk.unknown, walk.In().truncated);
    out.duplex = walk.duplex;
    return out;
}

SerialCount CountCanonJob(Bytes job) {
    if (IsControlSequenceJob(job)) return CountControlSequences(job);
    SerialCount out;
    Escp2Walk walk(job, kCanonEmulationTable);
    // The emulation and raster mode take turns over one job.
    while (walk.Run()) {
        if (!CanonRaster(walk.In(), walk.pages, walk.format, walk.known, walk.unknown, walk.duplex)) break;
        walk.format.ink = 0;
    }
    walk.pages.Finish();
    Settle(out, walk.pages, walk.format, walk.known, walk.unknown, walk.In().truncated);
    out.duplex = walk.duplex;
    return out;
}

}  // namespace qm::serial
