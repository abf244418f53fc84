// CUPS, PWG and Apple rasters: pages walked by the sizes their headers state,
// each page's colour from its pixels where its colour space is colour.
#include "driverless/raster_accurate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace qm::driverless {
namespace {

// Limits a printer-side reader of these formats applies to a page header.
constexpr uint32_t kMaxBytesPerLine = 16u * 1024 * 1024;
constexpr uint32_t kMaxDimension = 0x00FFFFFF;

// CUPS page header: a 420-byte version 1 part, 1796 bytes from version 2 on.
constexpr uint32_t kCupsV1Header = 420, kCupsV2Header = 1796;
constexpr uint32_t kDuplex = 272, kResolution = 276, kNumCopies = 340, kPageSize = 352;
constexpr uint32_t kWidth = 372, kHeight = 376, kBitsPerColor = 384, kBitsPerPixel = 388, kBytesPerLine = 392;
constexpr uint32_t kColorOrder = 396, kColorSpace = 400, kNumColors = 420, kCupsPageSize = 428;

// Apple Raster: "UNIRAST\0" and a page count, then 32-byte page headers
// (the bits a pixel first).
constexpr uint32_t kUrfFileHeader = 12, kUrfPageHeader = 32;
constexpr uint32_t kUrfSpace = 1, kUrfDuplex = 2, kUrfWidth = 12, kUrfHeight = 16, kUrfResolution = 20;
// URF colour space codes, as the CUPS colour spaces they stand for.
constexpr uint32_t kUrfSpaces[] = {18 /* sGray */, 19 /* sRGB */, 16 /* CIELab */, 20 /* AdobeRGB */,
                                   0 /* W */,      1 /* RGB */,   6 /* CMYK */};
constexpr uint32_t kUrfColours[] = {1, 3, 3, 3, 1, 3, 4};

enum ColorOrder : uint32_t { kChunked = 0, kBanded = 1, kPlanar = 2 };

// CUPS colour spaces (cups_cspace_t) and how many colours each has.
enum Space : uint32_t {
    kW = 0, kRGB = 1, kRGBA = 2, kK = 3, kCMY = 4, kYMC = 5, kCMYK = 6, kYMCK = 7, kKCMY = 8, kKCMYcm = 9,
    kGMCK = 10, kGMCS = 11, kWhite = 12, kGold = 13, kSilver = 14, kCIEXYZ = 15, kCIELab = 16, kRGBW = 17,
    kSW = 18, kSRGB = 19, kAdobeRGB = 20, kICC1 = 32, kICCF = 46, kDevice1 = 48, kDeviceF = 62,
};

uint32_t ColoursOf(uint32_t space, uint32_t bitsPerPixel) noexcept {
    switch (space) {
        case kW: case kK: case kWhite: case kGold: case kSilver: case kSW: return 1;
        case kRGB: case kCMY: case kYMC: case kCIEXYZ: case kCIELab: case kSRGB: case kAdobeRGB: return 3;
        case kRGBA: case kRGBW: case kCMYK: case kYMCK: case kKCMY: case kGMCK: case kGMCS: return 4;
        case kKCMYcm: return bitsPerPixel < 8 ? 6 : 4;
        default: break;
    }
    if (space >= kICC1 && space <= kICCF) return 3;
    if (space >= kDevice1 && space <= kDeviceF) return space - kDevice1 + 1;
    return 0;
}

struct Reader {
    Bytes b;
    bool big;
    uint32_t u32(uint32_t i) const noexcept { return big ? b.be32(i) : b.le32(i); }
    double f32(uint32_t i) const noexcept {
        const float f = std::bit_cast<float>(u32(i));
        return f == f ? double(f) : 0.0;  // NaN: not stated
    }
};

bool ValidBits(uint32_t bits) noexcept {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
}

// The bytes of one pixel, the unit rows are coded in; in bands and planes a
// pixel is one colour (the checks below hold its bits to one colour's).
uint32_t PixelBytes(const RasterPage& p) noexcept { return (p.bitsPerPixel + 7) / 8; }

// The checks a printer makes before it takes a page's raster.
bool ValidRaster(const RasterPage& p) noexcept {
    if (!ValidBits(p.bitsPerColor) || p.numColors == 0 || p.colorOrder > kPlanar) return false;
    const uint32_t perPixel = p.colorOrder == kChunked ? p.bitsPerColor * p.numColors : p.bitsPerColor;
    if (p.bitsPerPixel != perPixel) return false;
    if (p.width == 0 || p.width > kMaxDimension || p.height == 0 || p.height > kMaxDimension) return false;
    uint64_t line = (uint64_t{p.width} * p.bitsPerPixel + 7) / 8;
    if (p.colorOrder == kBanded) line *= p.numColors;
    return p.bytesPerLine != 0 && p.bytesPerLine <= kMaxBytesPerLine && p.bytesPerLine == line &&
           p.bytesPerLine % PixelBytes(p) == 0;
}

double Inches(double points) noexcept { return points / 72.0; }  // 0: not stated

// Paper a raster names only by its dots and resolution: a size within a dot
// of one of these common sheets is that sheet (drivers round the sheet down
// to whole dots), any other size is taken as it is.
struct Sheet {
    double width, length;
};
constexpr Sheet kSheets[] = {
    {8.5, 11.0}, {8.5, 14.0}, {8.27, 11.69}, {11.69, 16.54}, {5.83, 8.27}, {7.17, 10.12},
    {7.25, 10.5}, {11.0, 17.0}, {4.0, 6.0},   {5.0, 7.0},
};

void PaperFromDots(RasterPage& p, uint32_t xres, uint32_t yres) noexcept {
    p.paperWidth = double(p.width) / xres;
    p.paperLength = double(p.height) / yres;
    for (const Sheet& s : kSheets) {
        if (std::abs(s.width - p.paperWidth) <= 1.0 / xres && std::abs(s.length - p.paperLength) <= 1.0 / yres) {
            p.paperWidth = s.width;
            p.paperLength = s.length;
            return;
        }
    }
}

HeaderState ReadCupsHeader(Bytes job, uint32_t at, const RasterStream& s, RasterPage& p) noexcept {
    const bool v1 = s.kind == RasterKind::CupsV1;
    p.headerSize = v1 ? kCupsV1Header : kCupsV2Header;
    if (!job.has(at, p.headerSize)) return HeaderState::Cut;
    const Reader r{Bytes(job.data + at, p.headerSize), s.bigEndian};
    p.duplex = r.u32(kDuplex) != 0;
    p.copies = r.u32(kNumCopies);
    p.width = r.u32(kWidth);
    p.height = r.u32(kHeight);
    p.bitsPerColor = r.u32(kBitsPerColor);
    p.bitsPerPixel = r.u32(kBitsPerPixel);
    p.bytesPerLine = r.u32(kBytesPerLine);
    p.colorOrder = r.u32(kColorOrder);
    p.colorSpace = r.u32(kColorSpace);
    p.numColors = v1 ? 0 : r.u32(kNumColors);
    if (p.numColors == 0) p.numColors = ColoursOf(p.colorSpace, p.bitsPerPixel);
    // Paper: the page size in points, or the exact one version 2 adds
    // where it agrees with it (PWG leaves it zero).
    double w = r.u32(kPageSize), l = r.u32(kPageSize + 4);
    if (!v1) {
        const double fw = r.f32(kCupsPageSize), fl = r.f32(kCupsPageSize + 4);
        if (w > 0.0 && l > 0.0 && std::abs(fw - w) < 1.0 && std::abs(fl - l) < 1.0) w = fw, l = fl;
    }
    p.paperWidth = Inches(w);
    p.paperLength = Inches(l);
    const uint32_t xres = r.u32(kResolution), yres = r.u32(kResolution + 4);
    if ((w <= 0.0 || l <= 0.0) && xres != 0 && yres != 0) PaperFromDots(p, xres, yres);
    return ValidRaster(p) ? HeaderState::Valid : HeaderState::Invalid;
}

HeaderState ReadUrfHeader(Bytes job, uint32_t at, RasterPage& p) noexcept {
    p.headerSize = kUrfPageHeader;
    if (!job.has(at, kUrfPageHeader)) return HeaderState::Cut;
    const uint32_t space = job[at + kUrfSpace];
    if (space >= std::size(kUrfSpaces)) return HeaderState::Invalid;
    p.colorSpace = kUrfSpaces[space];
    p.numColors = kUrfColours[space];
    p.bitsPerPixel = job[at];
    p.bitsPerColor = p.bitsPerPixel / p.numColors;  // chunked pixels, the order a new page has
    p.width = job.be32(at + kUrfWidth);
    p.height = job.be32(at + kUrfHeight);
    // Whole bytes per line, as Ghostscript writes its one-bit grey pages.
    p.bytesPerLine = static_cast<uint32_t>(std::min<uint64_t>((uint64_t{p.width} * p.bitsPerPixel + 7) / 8, ~0u));
    const uint8_t duplex = job[at + kUrfDuplex];
    p.duplex = duplex >= 2;  // 2 short edge, 3 long edge: two-sided either way
    // No copy count (copies stays 0): the printer takes it from the request.
    const uint32_t res = job.be32(at + kUrfResolution);
    if (res == 0) return HeaderState::Invalid;
    PaperFromDots(p, res, res);
    return ValidRaster(p) ? HeaderState::Valid : HeaderState::Invalid;
}

// How a page's colour is found from its colour space: known without
// looking (grey and black spaces), from the pixels, or not at all.
enum class Verdict { Mono, Pixels, Unknown };

// A test of pixels for neutrality: in a colour space with three colour
// components (red, green, blue; cyan, magenta, yellow) a pixel is neutral
// when the three are equal, in CIELab when a and b are zero, within a small
// tolerance: colour management turns a neutral grey or a rich black into
// components a few steps apart, and nothing that prints as colour is that
// close to grey (the same tolerance the colour truth is rendered with).
// Black, alpha and white components never make a pixel colour; pixels of
// fewer than eight bits have no room for a tolerance and are compared
// exactly.
constexpr uint32_t kTolerance = 8;
class PixelTest {
public:
    PixelTest(const RasterPage& p, bool compressed, bool bigEndian) noexcept : big_(bigEndian) {
        uint32_t first = 0;
        switch (p.colorSpace) {
            case kW: case kK: case kSW: verdict_ = Verdict::Mono; return;
            case kRGB: case kCMY: case kYMC: case kSRGB: case kAdobeRGB: case kRGBA: case kRGBW: case kCMYK:
            case kYMCK: break;
            case kKCMY: first = 1; break;
            case kKCMYcm:
                if (p.numColors != 4) return;
                first = 1;
                break;
            case kCIELab:
                if (p.bitsPerColor != 8) return;
                lab_ = true;
                first = 1;
                break;
            default: return;  // device, ICC, XYZ and special-ink spaces: no rule for their pixels
        }
        if (p.numColors < first + (lab_ ? 2 : 3)) return;  // a header whose colours do not fit its space
        first_ = first;
        comps_ = p.numColors;
        if (p.colorOrder == kBanded && !compressed && !lab_) {
            mode_ = Mode::Bands;
            band_ = p.bytesPerLine / p.numColors;
        } else if (p.colorOrder != kChunked) {
            return;  // planes of a page come one after another: no bounded test
        } else if (p.bitsPerColor == 8) {
            mode_ = Mode::Bytes;
        } else if (p.bitsPerColor == 16) {  // CIELab is read in eight bits only (above)
            mode_ = Mode::Words;
        } else if (8 % p.bitsPerPixel == 0) {  // whole pixels in a byte
            mode_ = Mode::Table;
            BuildTable(p.bitsPerColor, p.bitsPerPixel);
        } else {
            return;
        }
        verdict_ = Verdict::Pixels;
    }

    Verdict verdict() const noexcept { return verdict_; }

    // Whether the `n` bytes at p (whole pixels, or whole lines for bands)
    // are all neutral.
    bool Neutral(const uint8_t* p, size_t n) const noexcept {
        switch (mode_) {
            case Mode::Bytes: return lab_ ? NeutralLab(p, n) : NeutralBytes(p, n);
            case Mode::Words: return NeutralWords(p, n);
            case Mode::Table: {
                uint8_t all = 1;
                for (size_t i = 0; i < n; ++i) all &= table_[p[i]];
                return all != 0;
            }
            case Mode::Bands: return NeutralBands(p, n);
            case Mode::None: break;
        }
        return false;
    }

private:
    enum class Mode { None, Bytes, Words, Table, Bands };

    static uint64_t Load(const uint8_t* p) noexcept {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    // Within the tolerance: the largest and smallest of three components
    // differ by at most kTolerance (in eight-bit steps).
    static bool Near(uint32_t a, uint32_t b, uint32_t c, uint32_t tolerance) noexcept {
        return std::max({a, b, c}) - std::min({a, b, c}) <= tolerance;
    }

    bool NearPixels(const uint8_t* p, size_t n) const noexcept {
        for (size_t i = 0; i + comps_ <= n; i += comps_) {
            const uint8_t* c = p + i + first_;
            if (!Near(c[0], c[1], c[2], kTolerance)) return false;
        }
        return true;
    }

    // Eight-bit components. Most neutral pixels have exactly equal
    // components: each step compares every byte with the next in two
    // overlapping words, keeping the pairs that belong to one pixel's colour
    // components (three pixels of three colours, or two of four), and only
    // a step where some differ is looked at pixel by pixel.
    bool NeutralBytes(const uint8_t* p, size_t n) const noexcept {
        size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            const size_t step = comps_ == 3 ? 9 : 8;
            const uint64_t mask = comps_ == 3 ? 0xFFFF00FFFF00FFFFull
                                  : first_ == 0 ? 0x0000FFFF0000FFFFull
                                                : 0x00FFFF0000FFFF00ull;
            for (; i + 9 <= n; i += step) {
                if (((Load(p + i) ^ Load(p + i + 1)) & mask) != 0 && !NearPixels(p + i, step)) return false;
            }
        }
        return NearPixels(p + i, n - i);
    }

    // CIELab in eight bits: a and b are stored plus 128.
    bool NeutralLab(const uint8_t* p, size_t n) const noexcept {
        for (size_t i = 0; i + comps_ <= n; i += comps_) {
            if (!Near(p[i + 1], p[i + 2], 0x80, kTolerance)) return false;
        }
        return true;
    }

    // Sixteen-bit components, either byte order: the high byte first when
    // `big`, else the low byte.
    bool NeutralWords(const uint8_t* p, size_t n) const noexcept {
        const size_t pixel = size_t{comps_} * 2;
        for (size_t i = 0; i + pixel <= n; i += pixel) {
            const uint8_t* c = p + i + 2 * first_;
            const auto word = [&](int k) { return big_ ? uint32_t(c[2 * k] << 8 | c[2 * k + 1]) : uint32_t(c[2 * k + 1] << 8 | c[2 * k]); };
            if (!Near(word(0), word(1), word(2), kTolerance * 257)) return false;
        }
        return true;
    }

    // Whole lines of bands, one colour after the other: the three colour
    // bands of each line must be equal.
    bool NeutralBands(const uint8_t* p, size_t n) const noexcept {
        const size_t line = size_t{band_} * comps_;
        for (size_t i = 0; i + line <= n; i += line) {
            const uint8_t* c = p + i + size_t{first_} * band_;
            if (std::memcmp(c, c + band_, band_) != 0 || std::memcmp(c + band_, c + 2 * band_, band_) != 0)
                return false;
        }
        return true;
    }

    // Pixels of fewer than eight bits packed into bytes, most significant
    // first: each byte value is neutral or not once and for all.
    void BuildTable(uint32_t bitsPerColor, uint32_t bitsPerPixel) noexcept {
        const uint32_t mask = (1u << bitsPerColor) - 1;
        uint32_t v = 0;  // the byte value of `entry`
        for (uint8_t& entry : table_) {
            bool neutral = true;
            for (uint32_t shift = 8; shift >= bitsPerPixel; shift -= bitsPerPixel) {
                const uint32_t pixel = (v >> (shift - bitsPerPixel)) & ((1u << bitsPerPixel) - 1);
                uint32_t c[3];  // the colour components, the first one highest in the pixel
                for (uint32_t k = 0; k < 3; ++k)
                    c[k] = (pixel >> ((comps_ - 1 - (first_ + k)) * bitsPerColor)) & mask;
                neutral = neutral && c[0] == c[1] && c[1] == c[2];
            }
            entry = neutral ? 1 : 0;
            ++v;
        }
    }

    Verdict verdict_ = Verdict::Unknown;
    Mode mode_ = Mode::None;
    bool big_ = true;
    bool lab_ = false;
    uint32_t comps_ = 0, first_ = 0, band_ = 0;
    std::array<uint8_t, 256> table_{};
};

struct PageWalk {
    uint32_t end = 0;       // offset past the page's rows
    bool complete = false;  // every row was there
    bool colour = false;    // a non-neutral pixel was seen
};

uint64_t RowsOf(const RasterPage& p) noexcept {
    return p.colorOrder == kPlanar ? uint64_t{p.height} * p.numColors : p.height;
}

// Rows stored as they are: the page's end by arithmetic; its pixels, when
// asked for, in slices of whole pixels (whole lines for bands).
PageWalk WalkPlain(Bytes job, uint32_t at, const RasterPage& p, const PixelTest* test) noexcept {
    const uint64_t size = uint64_t{p.bytesPerLine} * RowsOf(p);
    PageWalk w;
    w.complete = size <= job.left(at);
    w.end = SkipBy(job, at, size);
    if (test == nullptr) return w;
    const size_t slice = size_t{p.bytesPerLine} * std::max<size_t>(1, 65536 / p.bytesPerLine);
    for (uint32_t i = at; i < w.end && !w.colour;) {
        const size_t n = std::min<size_t>(slice, w.end - i);
        w.colour = !test->Neutral(job.data + i, n - n % p.bytesPerLine);
        i += static_cast<uint32_t>(n);
    }
    return w;
}

// Run-coded rows: per line record, a repeat byte (the line stands for that
// many lines more), then runs until the line is full: 0-127 repeat the next
// pixel that many times more, 129-255 copy 257 minus that many pixels, 128
// clears the rest of the line. Every step reads at least one byte, so the
// walk ends by the data's end whatever the header claims. A repeated pixel
// or line is tested once.
PageWalk WalkCoded(Bytes job, uint32_t at, const RasterPage& p, const PixelTest* test) noexcept {
    const uint32_t unit = PixelBytes(p);
    const uint64_t rows = RowsOf(p);
    PageWalk w;
    uint64_t done = 0;
    while (done < rows) {
        if (!job.has(at)) return {job.size, false, w.colour};
        done += uint64_t{job[at++]} + 1;
        for (uint32_t left = p.bytesPerLine; left > 0;) {
            if (!job.has(at)) return {job.size, false, w.colour};
            const uint8_t code = job[at++];
            if (code == 128) break;
            const bool literal = (code & 0x80) != 0;  // 129-255 (128 ended the line above)
            const uint64_t pixels = literal ? 257u - code : code + 1u;
            const uint32_t covers = static_cast<uint32_t>(std::min<uint64_t>(pixels * unit, left));
            const uint32_t stored = literal ? covers : unit;
            if (!job.has(at, stored)) return {job.size, false, w.colour};
            if (test != nullptr && !w.colour) w.colour = !test->Neutral(job.data + at, stored);
            at += stored;
            left -= covers;
        }
    }
    w.end = at;
    w.complete = true;
    return w;
}

uint8_t PageColour(Verdict v, const PageWalk& w, Pixels pixels) noexcept {
    if (v == Verdict::Mono) return QM_PAGE_MONO;
    if (v == Verdict::Unknown || pixels == Pixels::Skip) return QM_PAGE_COLOR_UNKNOWN;
    if (w.colour) return QM_PAGE_COLOR;
    return w.complete ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
}

}  // namespace

RasterStream ReadSignature(Bytes body) noexcept {
    RasterStream s;
    if (body.matches(0, std::string_view("UNIRAST\0", 8))) {
        s = {RasterKind::Urf, true, kUrfFileHeader};
        return s;
    }
    if (!body.has(0, 4)) return s;
    static constexpr struct {
        char version;
        RasterKind kind;
    } kVersions[] = {{'t', RasterKind::CupsV1}, {'2', RasterKind::CupsV2}, {'3', RasterKind::CupsV3}};
    for (const auto& v : kVersions) {
        const char big[] = {'R', 'a', 'S', v.version}, little[] = {v.version, 'S', 'a', 'R'};
        const bool isBig = body.matches(0, std::string_view(big, 4));
        if (!isBig && !body.matches(0, std::string_view(little, 4))) continue;
        s = {v.kind, isBig, 4};
        if (v.kind == RasterKind::CupsV2) {
            // PWG Raster is version 2 with "PwgRaster" as the media class; a
            // job too short to tell is neither.
            constexpr std::string_view kPwg("PwgRaster\0", 10);
            if (body.matches(4, kPwg)) s.kind = RasterKind::Pwg;  // the media class, the header's first field
            else if (!body.has(4, static_cast<uint32_t>(kPwg.size()))) s.kind = RasterKind::None;
        }
        return s;
    }
    return s;
}

HeaderState ReadPageHeader(Bytes job, uint32_t at, const RasterStream& s, RasterPage& page) noexcept {
    page = RasterPage{};
    switch (s.kind) {
        case RasterKind::None: return HeaderState::Invalid;
        case RasterKind::Urf: return ReadUrfHeader(job, at, page);
        default: return ReadCupsHeader(job, at, s, page);
    }
}

int32_t CountRaster(Bytes job, uint32_t body, accurate::Result& out, Pixels pixels) {
    const RasterStream s = ReadSignature(Bytes(job.data + body, job.left(body)));
    if (s.kind == RasterKind::None) return QM_E_NOT_UNDERSTOOD;
    const bool coded = s.kind == RasterKind::CupsV2 || s.kind == RasterKind::Pwg || s.kind == RasterKind::Urf;
    uint32_t at = body + s.firstPage;
    uint32_t pages = 0;
    PageCountResult& rec = out.rec;
    while (at < job.size) {
        RasterPage page;
        if (ReadPageHeader(job, at, s, page) != HeaderState::Valid) {
            out.estimated = true;  // bytes after the last page that are no page
            break;
        }
        at += page.headerSize;
        const PixelTest test(page, coded, s.bigEndian);
        const PixelTest* look = pixels == Pixels::Read && test.verdict() == Verdict::Pixels ? &test : nullptr;
        const PageWalk walk = coded ? WalkCoded(job, at, page, look) : WalkPlain(job, at, page, look);
        if (pages == 0) {
            rec.copies = page.copies;
            rec.paperWidth = page.paperWidth;
            rec.paperLength = page.paperLength;
            if (page.copies == 0) out.unknown |= QM_FIELD_COPIES;
        }
        rec.duplex |= page.duplex ? 1 : 0;
        accurate::Page logged;
        logged.color = PageColour(test.verdict(), walk, pixels);
        logged.paperWidth = page.paperWidth;
        logged.paperLength = page.paperLength;
        out.pages.Add(logged);
        ++pages;
        if (!walk.complete) out.estimated = true;  // the job ends inside the page
        at = walk.end;
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    rec.pages = pages;
    return QM_OK;
}

}  // namespace qm::driverless
