// ESC/P-R, the raster language of Epson's current inkjets. A job is an
// optional EJL header, ESC @, a remote-mode block (ESC ( R "\0REMOTE1",
// two-letter commands with a 16-bit little-endian length, ended by
// ESC 0 0 0), then ESC ( R "\0ESCPR" (or "\0ESCPRJ" for JPEG pages) and
// commands of one shape: ESC, a class letter, a 32-bit little-endian
// parameter length, a four-letter name and the parameters. A page is
// "sttp" ... "endp"; its rows are "dsnd" commands of RGB (or palette)
// pixels, run coded; the job ends with "endj", ESC @ and a closing remote
// block.
#include <algorithm>
#include <cmath>
#include <memory>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kHeader = 10;  // ESC, class, length (4), name (4)

// The mode switch after the remote block: RGB rows, or JPEG pages.
constexpr std::string_view kEnterRgb("\x1b(R\x06\x00\x00" "ESCPR", 11);
constexpr std::string_view kEnterJpeg("\x1b(R\x07\x00\x00" "ESCPRJ", 12);
constexpr std::string_view kEnterRemote("\x1b(R\x08\x00\x00" "REMOTE1", 13);
// Bytes of the mode switch that no ESC/P2 command shares: ESC ( R, its
// length, and the "E" of ESCPR.
constexpr uint32_t kSwitchSignature = 7;
constexpr std::string_view kExitRemote("\x1b\x00\x00\x00", 4);

// Resolution codes of "setj" (dots per inch of its sizes).
constexpr double kResolutions[] = {360, 720, 300, 600};
// Colour modes of "setq".
constexpr uint8_t kColourMode = 0, kMonochromeMode = 1;
// Colour planes of "setq": 3-byte RGB pixels, or (any other value) 1-byte
// palette indexes.
constexpr uint8_t kFullColour = 0;
// A pixel is neutral when its components differ by at most this (the
// tolerance of the colour truth: colour management leaves greys a few
// steps apart).
constexpr int kTolerance = 8;
// At most this many palette entries (one byte indexes them).
constexpr uint32_t kMaxPalette = 256;

struct Command {
    uint8_t cls = 0;
    uint32_t params = 0;  // offset of the parameters
    uint32_t length = 0;  // parameter bytes
    std::string_view name;
};

enum class Read { Ok, Cut, Bad };

// The command at `at`: its header whole and its parameters inside the data.
Read ReadCommand(Bytes b, uint32_t at, Command& c) noexcept {
    if (!b.has(at, kHeader)) return Read::Cut;
    if (b[at] != kEsc) return Read::Bad;
    c.cls = b[at + 1];
    c.length = b.le32(at + 2);
    c.name = std::string_view(reinterpret_cast<const char*>(b.data + at + 6), 4);
    for (char ch : c.name) {
        if (ch < 'a' || ch > 'z') return Read::Bad;
    }
    if (c.cls < 'a' || c.cls > 'z') return Read::Bad;
    c.params = at + kHeader;
    return b.has(c.params, c.length) || c.length == 0 ? Read::Ok : Read::Cut;
}

// Whether the data ends inside `lit` standing at i.
bool IsCutOf(Bytes b, uint32_t i, std::string_view lit) noexcept {
    const uint32_t left = b.left(i);
    return left < lit.size() && Bytes(lit).matches(0, b.data + i, left);
}

// Where the ESC/P-R commands start: after ESC @ and the remote block, at the
// mode switch. `jpeg` says which mode; `duplex` whether the remote block asks
// for two-sided printing. 0 when the start does not parse; the body's size
// when it is cut before the switch.
struct Start {
    uint32_t commands = 0;
    bool jpeg = false, duplex = false, cut = false;
    bool named = false;  // the remote block's job header (JH) names the ESC/P-R library
};
// Cut inside the remote block: ESC/P2 jobs open with one too, so only a
// block whose job header names the ESC/P-R library tells the language.
Start Cut(Start s) noexcept {
    s.cut = s.named;
    return s;
}
Start ReadStart(Bytes b) noexcept {
    Start s;
    uint32_t i = 0;
    while (b.matches(i, "\x1b@")) i += 2;
    if (b.matches(i, kEnterRemote)) {
        for (i += static_cast<uint32_t>(kEnterRemote.size());;) {
            if (b.matches(i, kExitRemote)) {
                i += static_cast<uint32_t>(kExitRemote.size());
                break;
            }
            if (!b.has(i, 4)) return Cut(s);
            const int a = b[i], c = b[i + 1];
            if (a < 'A' || a > 'Z' || c < 'A' || c > 'Z') return {};
            const uint32_t n = b.le16(i + 2);
            if (a == 'D' && c == 'P' && b.has(i + 4, n) && n >= 2) s.duplex = b[i + 5] != 0;
            if (a == 'J' && c == 'H' && b.has(i + 4, n) && n >= 8) s.named = b.matches(i + 4 + n - 8, "ESCPRLib");
            i = SkipBy(b, i + 4, n);
            if (i >= b.size) return Cut(s);
        }
    }
    if (b.matches(i, kEnterRgb)) {
        s.commands = i + static_cast<uint32_t>(kEnterRgb.size());
    } else if (b.matches(i, kEnterJpeg)) {
        s.commands = i + static_cast<uint32_t>(kEnterJpeg.size());
        s.jpeg = true;
    } else if (IsCutOf(b, i, kEnterJpeg) || IsCutOf(b, i, kEnterRgb)) {
        // Cut in the switch: its first bytes are ESC/P2's ESC ( R too.
        s.cut = s.named || b.left(i) >= kSwitchSignature;
    }
    return s;
}

bool NeutralRgb(const uint8_t* p) noexcept {
    const int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
    return hi - lo <= kTolerance;
}
bool WhiteRgb(const uint8_t* p) noexcept { return p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF; }

// What the job's settings make of its pixels.
struct Settings {
    uint8_t mode = kColourMode, plane = kFullColour;
    uint8_t palette[kMaxPalette][3] = {};
    uint32_t paletteSize = 0;  // entries
    uint32_t copies = 1;
    double width = 0, length = 0;
};

// One page's look at its rows.
struct PageInk {
    bool rows = false;     // some row was sent
    bool ink = false;      // some pixel is not white
    bool colour = false;   // some pixel is not neutral
    bool unknown = false;  // rows that cannot be read (JPEG, an index past the palette)
};

// The pixel at p (bpp bytes) as RGB, through the palette where there is one.
const uint8_t* Rgb(const Settings& s, const uint8_t* p) noexcept {
    if (s.plane == kFullColour) return p;
    return p[0] < s.paletteSize ? s.palette[p[0]] : nullptr;
}
void Look(const Settings& s, const uint8_t* p, PageInk& ink) noexcept {
    const uint8_t* rgb = Rgb(s, p);
    if (!rgb) {
        ink.unknown = true;
        return;
    }
    if (!WhiteRgb(rgb)) ink.ink = true;
    if (!NeutralRgb(rgb)) ink.colour = true;
}

// A "dsnd" row: x, y (16-bit big-endian), compression, data size, data. Run
// coded rows are a count byte then pixels: below 0x80 the next count + 1
// pixels as they are, from 0x80 one pixel repeated 257 - count times.
void ReadRow(Bytes b, const Command& c, const Settings& s, PageInk& ink) {
    if (c.length < 7) {
        ink.unknown = true;
        return;
    }
    const uint32_t bpp = s.plane == kFullColour ? 3 : 1;
    const uint8_t compression = b[c.params + 4];
    const uint32_t size = b.be16(c.params + 5);
    if (size > c.length - 7 || compression > 1) {
        ink.unknown = true;
        return;
    }
    const Bytes row(b.data + c.params + 7, size);
    if (compression == 0) {
        for (uint32_t i = 0; i + bpp <= row.size && !ink.colour; i += bpp) Look(s, row.data + i, ink);
        if (row.size % bpp != 0) ink.unknown = true;
        return;
    }
    for (uint32_t i = 0; i < row.size && !ink.colour;) {
        const uint8_t count = row[i++];
        const uint32_t pixels = count < 0x80 ? count + 1u : 1u;
        if (!row.has(i, pixels * bpp)) {
            ink.unknown = true;
            return;
        }
        for (uint32_t k = 0; k < pixels; ++k) Look(s, row.data + i + k * bpp, ink);
        i += pixels * bpp;
    }
}

void ReadQuality(Bytes b, const Command& c, Settings& s) noexcept {
    if (c.length < 9) return;
    s.mode = b[c.params + 2];
    s.plane = b[c.params + 6];
    const uint32_t bytes = std::min<uint32_t>(b.be16(c.params + 7), c.length - 9);
    s.paletteSize = std::min(bytes / 3, kMaxPalette);
    for (uint32_t k = 0; k < s.paletteSize; ++k) {
        for (uint32_t j = 0; j < 3; ++j) s.palette[k][j] = b[c.params + 9 + k * 3 + j];
    }
}

void ReadJob(Bytes b, const Command& c, Settings& s) noexcept {
    if (c.length < 21) return;
    const uint8_t code = b[c.params + 20];
    if (code >= std::size(kResolutions)) return;
    // Sheets are whole dots: to the hundredth of an inch they are the sheet.
    s.width = std::round(b.be32(c.params) / kResolutions[code] * 100) / 100;
    s.length = std::round(b.be32(c.params + 4) / kResolutions[code] * 100) / 100;
}

uint8_t PageColour(const Settings& s, const PageInk& ink, bool jpeg) noexcept {
    if (s.mode == kMonochromeMode) return QM_PAGE_MONO;
    if (ink.colour) return QM_PAGE_COLOR;
    if (jpeg || ink.unknown) return QM_PAGE_COLOR_UNKNOWN;
    if (s.mode != kColourMode && ink.ink) return QM_PAGE_COLOR;  // sepia: toned ink
    return QM_PAGE_MONO;
}

}  // namespace

int BidESCPR(const BidInput& in) noexcept {
    const Bytes body = Body(in);
    const Start s = ReadStart(body);
    if (s.cut) return kBidSignature;
    if (s.commands == 0) return kNoBid;
    Command c;
    switch (ReadCommand(body, s.commands, c)) {
        case Read::Ok: return Parsed(Declares(in, "ESCPR"));
        case Read::Cut: return kBidSignature;
        case Read::Bad: break;
    }
    return kNoBid;
}

int32_t AccurateESCPR(Bytes job, Result& out) {
    char pjl[32], ejl[32];
    const uint32_t body = Unwrap(job, pjl, ejl).body;
    const Bytes b(job.data + body, job.left(body));
    const Start start = ReadStart(b);
    if (start.commands == 0) return QM_E_NOT_UNDERSTOOD;

    auto settings = std::make_unique<Settings>();
    Settings& s = *settings;
    uint32_t pages = 0;
    bool open = false, ended = false;
    PageInk ink;
    Page last{};
    bool lastBlank = false;
    auto closePage = [&] {
        last = Page{PageColour(s, ink, start.jpeg), QM_SIDE_NONE, 0, 0};
        lastBlank = ink.rows && !ink.ink && !ink.unknown && !start.jpeg;
        out.pages.Add(last);
        ++pages;
        open = false;
        ink = {};
    };
    uint32_t at = start.commands;
    while (at < b.size && !ended) {
        Command c;
        const Read r = ReadCommand(b, at, c);
        if (r == Read::Bad) return QM_E_NOT_UNDERSTOOD;
        if (r == Read::Cut) {
            // The rest of the page is not there to look at.
            out.estimated = true;
            ink.unknown = true;
            break;
        }
        if (c.name == "sttp") {
            if (open) closePage();
            open = true;
        } else if (c.name == "endp") {
            if (open) closePage();
        } else if (c.name == "dsnd") {
            if (open && !ink.colour) ReadRow(b, c, s, ink);
            ink.rows = ink.rows || open;
        } else if (c.name == "jsnd") {
            ink.unknown = true;
        } else if (c.name == "setq") {
            ReadQuality(b, c, s);
        } else if (c.name == "setj") {
            ReadJob(b, c, s);
        } else if (c.name == "setc" && c.cls == 'c' && c.length >= 1) {
            s.copies = std::max<uint32_t>(b[c.params], 1);
        } else if (c.name == "endj") {
            ended = true;
        }
        at = SkipBy(b, c.params, c.length);
    }
    if (open) {
        // Ended inside a page: what was sent of it prints, the colour of
        // what was not stays open.
        out.estimated = true;
        ink.unknown = true;
        closePage();
    }
    // An odd two-sided job ends with a side the driver sends blank (a row of
    // one white pixel) to finish the sheet: the back of the last sheet, not
    // a page.
    if (start.duplex && pages % 2 == 0 && pages > 0 && lastBlank) {
        --pages;
        out.pages.Resize(pages, last);
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.rec.copies = s.copies;
    out.rec.duplex = start.duplex ? 1 : 0;
    out.rec.paperWidth = s.width;
    out.rec.paperLength = s.length;
    return QM_OK;
}

}  // namespace qm::accurate
