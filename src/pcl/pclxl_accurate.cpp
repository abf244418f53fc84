// PCL XL page by page. The stream is read token by token in its binding's
// byte order: data values, the attribute identifiers that name them, the
// operators that take them, and embedded data by its stated length. A page
// prints colour when it paints with a non-neutral brush or pen (RGB values
// that differ, a used palette entry that is not grey, a raster pattern with
// colour pixels) or draws an image with a non-neutral pixel. A colour space
// alone proves nothing: a driver that sends black text as RGB raster prints
// mono pages.
#include "pcl/pclxl_accurate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "pcl/jpeg_accurate.h"
#include "pcl/pclxl_media.h"
#include "pcl/raster_accurate.h"

namespace qm::pclxlaccurate {
namespace {

using accurate::Page;

// What a brush, a pen, an image or a page puts on paper; a later value wins
// over an earlier one in Combine.
enum class Ink : uint8_t { None, Neutral, Unknown, Colour };
Ink Combine(Ink a, Ink b) noexcept { return std::max(a, b); }

// Operators.
constexpr uint8_t kBeginPage = 0x43, kEndPage = 0x44, kVendorUnique = 0x46, kExecStream = 0x5E, kPopGs = 0x60,
                  kPushGs = 0x61, kSetBrushSource = 0x63, kSetColorSpace = 0x6A, kSetPenSource = 0x79, kText = 0xA8,
                  kBeginImage = 0xB0, kReadImage = 0xB1, kEndImage = 0xB2, kBeginRastPattern = 0xB3,
                  kReadRastPattern = 0xB4, kEndRastPattern = 0xB5, kScanLineRel = 0xB9;
// Operators that paint a path with the brush and stroke it with the pen:
// PaintPath, Chord, Ellipse, Pie, Rectangle, RoundRectangle.
constexpr std::array<bool, 256> kPaints = [] {
    std::array<bool, 256> t{};
    for (uint8_t op : {0x86, 0x96, 0x98, 0x9E, 0xA0, 0xA2}) t[op] = true;
    return t;
}();

// Operators that read no attribute and change no state: what they paint
// is all the walk takes from them.
constexpr std::array<bool, 256> kQuietOperators = [] {
    std::array<bool, 256> t{};
    for (uint32_t op = 0x41; op <= 0xBF; ++op) t[op] = true;
    for (uint8_t op : {kBeginPage, kEndPage, kVendorUnique, kExecStream, kPopGs, kPushGs, kSetBrushSource,
                       kSetColorSpace, kSetPenSource, kBeginImage, kReadImage, kEndImage, kBeginRastPattern,
                       kReadRastPattern, kEndRastPattern})
        t[op] = false;
    return t;
}();

// Attributes.
constexpr uint16_t kPaletteDepth = 2, kColorSpace = 3, kNullBrush = 4, kNullPen = 5, kPaletteData = 6,
                   kPatternSelectId = 8, kGrayLevel = 9, kRgbColor = 11, kPrimaryArray = 14, kMediaSize = 37,
                   kCustomMediaSize = 47, kCustomMediaSizeUnits = 48, kColorDepth = 98, kBlockHeight = 99,
                   kColorMapping = 100, kCompressMode = 101, kPatternDefineId = 105,
                   kSourceWidth = 108, kPadBytesMultiple = 110, kVuDataLength = 146;
constexpr uint32_t kAttributes = 256;  // identifiers past this are not read

// Enumerations.
constexpr int kGray = 1, kRgb = 2, kSrgb = 6;
constexpr int kIndexedPixel = 1;
constexpr int kNoCompression = 0, kRle = 1, kJpeg = 2, kDeltaRow = 3;
constexpr int k8BitPalette = 2;

constexpr uint32_t kMaxRowBytes = 1u << 18;  // an image row longer than this is not decoded
constexpr uint32_t kMaxDepth = 32;           // graphics states pushed
constexpr uint32_t kPatterns = 64;           // raster patterns remembered
constexpr int kJpegSlack = 8;

// A data value: its type tag, where its elements start and how many there are.
struct Value {
    uint8_t type = 0;
    uint32_t at = 0;
    uint32_t count = 0;
};

constexpr uint32_t ElementBytes(uint8_t type) noexcept {
    switch (type & 0x07) {
        case 0: return 1;
        case 1: case 3: return 2;
        default: return 4;
    }
}

bool IsValueTag(uint8_t b) noexcept {
    return (b >= 0xC0 && b <= 0xC5) || (b >= 0xC8 && b <= 0xCD) || (b >= 0xD0 && b <= 0xD5) || (b >= 0xE0 && b <= 0xE5);
}

// The whole length of the tokens whose length their first byte tells:
// scalar, xy and box values, attribute identifiers, white space. 0 for the
// others (arrays, embedded data, operators, bytes that are no token).
constexpr std::array<uint8_t, 256> kTokenLengths = [] {
    std::array<uint8_t, 256> t{};
    for (uint32_t b : {0x00u, 0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u}) t[b] = 1;
    for (uint32_t k = 0; k <= 5; ++k) {
        t[0xC0 + k] = static_cast<uint8_t>(1 + ElementBytes(static_cast<uint8_t>(k)));
        t[0xD0 + k] = static_cast<uint8_t>(1 + 2 * ElementBytes(static_cast<uint8_t>(k)));
        t[0xE0 + k] = static_cast<uint8_t>(1 + 4 * ElementBytes(static_cast<uint8_t>(k)));
    }
    t[0xF8] = 2;
    t[0xF9] = 3;
    return t;
}();

struct GraphicsState {
    int space = kGray;
    Value palette;  // none when count is 0
    Ink brush = Ink::Neutral;
    Ink pen = Ink::Neutral;
};

struct Pattern {
    int32_t id = 0;
    Ink ink = Ink::None;
};

// The image or raster pattern being read.
struct Image {
    bool open = false;
    bool decode = false;
    bool indexed = false;
    bool pattern = false;
    int32_t patternId = 0;
    uint32_t width = 0, bits = 8, components = 1;
    uint32_t rowBytes = 0;
    Ink ink = Ink::Neutral;
    std::array<bool, 256> colourIndex{};  // palette entries that are not grey
    std::vector<uint8_t> seed;            // DeltaRow's previous row
    // The block the next embedded data belongs to.
    bool block = false;
    uint32_t blockHeight = 0, compression = 0, pad = 4;
};

class Walk {
public:
    Walk(Bytes job, accurate::PageLog& log) : job_(job), log_(log) {}

    // The attributes before an operator are read only when the operator
    // acts on them: most operators (cursor moves, text, paths) need none,
    // so their values are only stepped over.
    void Run() {
        uint32_t i = StreamStart(0);
        uint32_t list = i;  // where the current attribute list starts
        const uint8_t* const d = job_.data;
        const uint32_t n = job_.size;
        while (i < n) {
            if (n - i >= 16) {
                // A value, the attribute identifier that names it (F8 and
                // one byte) and the operator that takes it, when that
                // operator needs no attribute (a cursor move, a text run):
                // the most common sequence, stepped over in one go.
                uint32_t length = kTokenLengths[d[i]];
                if (length == 0 && d[i] >= 0xC8 && d[i] <= 0xCD && (d[i + 1] == 0xC0 || d[i + 1] == 0xC1)) {
                    const bool wide = d[i + 1] == 0xC1;
                    const uint32_t count = wide ? Number16(i + 2) : d[i + 2];
                    length = (wide ? 4 : 3) + count * ElementBytes(d[i]);  // an array
                }
                if (length != 0 && length <= n - i - 3 && d[i + length] == 0xF8) {
                    const uint8_t op = d[i + length + 2];
                    if (kQuietOperators[op]) {
                        Quiet(op);
                        i = list = i + length + 3;
                    } else {
                        i += length + 2;
                    }
                    continue;
                }
            }
            const uint8_t b = d[i];
            if (const uint32_t length = kTokenLengths[b]; length != 0) {
                i = length < n - i ? i + length : n;
            } else if (IsValueTag(b)) {
                i = ReadValue(i, false);
            } else if (b >= 0x41 && b <= 0xBF) {
                if (NeedsAttributes(b)) ReadAttributes(list, i);
                i = OnOperator(i);
                list = i;
            } else if (b == 0xFA || b == 0xFB) {
                const uint32_t width = b == 0xFA ? 4 : 1;
                if (!job_.has(i + 1, width)) return;
                const uint32_t length = width == 4 ? Number32(i + 1) : job_[i + 1];
                const uint32_t at = i + 1 + width;
                if (length > job_.left(at)) return;  // data cut short: the page is not known
                OnData(Bytes(job_.data + at, length));
                i = list = at + length;
            } else if (b == 0x1B) {
                i = list = StreamStart(i);  // a UEL ends the stream; another may follow
            } else {
                return;  // not PCL XL: the walk has lost its place
            }
        }
    }

private:
    // -- The stream's tokens --

    uint32_t Number16(uint32_t i) const noexcept { return big_ ? job_.be16(i) : job_.le16(i); }
    uint32_t Number32(uint32_t i) const noexcept { return big_ ? job_.be32(i) : job_.le32(i); }

    // After a UEL, PJL lines and blanks, the stream header: "(" for big-endian
    // data, ")" for little-endian, then " HP-PCL XL" and the rest of its line.
    uint32_t StreamStart(uint32_t i) noexcept {
        for (;;) {
            while (i < job_.size && (job_[i] == 0 || job_[i] == 0x04 || job_[i] == ' ' || job_[i] == '\t' ||
                                     job_[i] == '\r' || job_[i] == '\n' || job_[i] == '\f'))
                ++i;
            if (job_.matches(i, "\x1b%-12345X")) {
                i += 9;
            } else if (job_.matchesNoCase(i, "@PJL")) {
                i = SkipBy(job_, job_.find(i, '\n'), 1);
            } else if ((job_.at(i) == '(' || job_.at(i) == ')') && job_.matches(i + 1, " HP-PCL XL")) {
                big_ = job_[i] == '(';
                sawBig_ = sawBig_ || big_;
                return SkipBy(job_, job_.find(i, '\n'), 1);
            } else {
                return job_.size;
            }
        }
    }

    // The value whose tag is at i, kept as the pending value when `keep`;
    // returns the index after it (the end of the job when it is cut short).
    uint32_t ReadValue(uint32_t i, bool keep) noexcept {
        const uint8_t type = job_[i];
        uint32_t at = i + 1, count = 1;
        if (type >= 0xC8 && type <= 0xCD) {
            const int lengthType = job_.at(i + 1);
            if (lengthType == 0xC0) {
                if (!job_.has(i + 2)) return job_.size;
                count = job_[i + 2];
                at = i + 3;
            } else if (lengthType == 0xC1) {
                if (!job_.has(i + 2, 2)) return job_.size;
                count = Number16(i + 2);
                at = i + 4;
            } else if (lengthType == 0xC2) {
                if (!job_.has(i + 2, 4)) return job_.size;
                count = Number32(i + 2);
                at = i + 6;
            } else {
                return job_.size;
            }
        } else if (type >= 0xD0) {
            count = type >= 0xE0 ? 4 : 2;
        }
        const uint64_t bytes = uint64_t{count} * ElementBytes(type);
        if (bytes > job_.left(at)) return job_.size;
        if (keep) {
            value_ = {type, at, count};
            pending_ = true;
        }
        return at + static_cast<uint32_t>(bytes);
    }

    bool NeedsAttributes(uint8_t op) const noexcept {
        switch (op) {
            case kBeginPage: case kSetColorSpace: case kSetBrushSource: case kSetPenSource: case kBeginImage:
            case kBeginRastPattern: case kVendorUnique:
                return true;
            case kReadImage: case kReadRastPattern:
                return image_.open && image_.decode;
            default:
                return false;
        }
    }

    // Binds the values of [from, to) to their attribute identifiers.
    void ReadAttributes(uint32_t from, uint32_t to) noexcept {
        ++generation_;
        pending_ = false;
        for (uint32_t i = from; i < to;) {
            const uint8_t b = job_[i];
            if (IsValueTag(b)) {
                i = ReadValue(i, true);
            } else if ((b == 0xF8 || b == 0xF9) && job_.has(i + 1, b == 0xF8 ? 1 : 2)) {
                const uint32_t id = b == 0xF8 ? job_[i + 1] : Number16(i + 1);
                if (pending_ && id < kAttributes) {
                    attributes_[id] = value_;
                    set_[id] = generation_;
                }
                pending_ = false;
                i += b == 0xF8 ? 2 : 3;
            } else {
                ++i;
            }
        }
    }

    bool Has(uint16_t id) const noexcept { return set_[id] == generation_; }
    // Element k of an attribute's value as a number (reals truncated).
    int64_t Element(const Value& v, uint32_t k) const noexcept {
        const uint32_t at = v.at + k * ElementBytes(v.type);
        switch (v.type & 0x07) {
            case 0: return job_[at];
            case 1: return Number16(at);
            case 2: return Number32(at);
            case 3: return static_cast<int16_t>(Number16(at));
            case 4: return static_cast<int32_t>(Number32(at));
            default: {
                const uint32_t raw = Number32(at);
                float f;
                std::memcpy(&f, &raw, sizeof f);
                return f > -2e9f && f < 2e9f ? static_cast<int64_t>(f) : 0;
            }
        }
    }
    // An attribute's first element, or `otherwise` when it is not set.
    int64_t Attribute(uint16_t id, int64_t otherwise) const noexcept {
        return Has(id) && attributes_[id].count > 0 ? Element(attributes_[id], 0) : otherwise;
    }

    // -- Colour --

    // Palette entry `index` of the current colour space: grey unless its
    // three components differ.
    Ink PaletteInk(int64_t index) const noexcept {
        const Value& p = gs_.palette;
        if (gs_.space == kGray) return Ink::Neutral;
        if (index < 0 || uint64_t(index) * 3 + 2 >= p.count) return Ink::Unknown;
        const uint32_t at = p.at + static_cast<uint32_t>(index) * 3;
        return job_[at] == job_[at + 1] && job_[at + 1] == job_[at + 2] ? Ink::Neutral : Ink::Colour;
    }

    // What SetBrushSource or SetPenSource selects.
    Ink SourceInk(uint16_t nullId) const noexcept {
        if (Has(nullId)) return Ink::None;
        if (Has(kRgbColor)) {
            const Value& v = attributes_[kRgbColor];
            if (v.count < 3) return Ink::Unknown;
            const int64_t r = Element(v, 0), g = Element(v, 1), b = Element(v, 2);
            if (v.type == 0xCD) {  // reals from 0 to 1: compare them as they stand
                const uint32_t es = 4;
                const bool same = std::memcmp(job_.data + v.at, job_.data + v.at + es, es) == 0 &&
                                  std::memcmp(job_.data + v.at + es, job_.data + v.at + 2 * es, es) == 0;
                return same ? Ink::Neutral : Ink::Colour;
            }
            return r == g && g == b ? Ink::Neutral : Ink::Colour;
        }
        if (Has(kGrayLevel)) return gs_.palette.count > 0 ? PaletteInk(Attribute(kGrayLevel, 0)) : Ink::Neutral;
        if (Has(kPrimaryArray)) {
            const Value& v = attributes_[kPrimaryArray];
            if (v.count == 1) return gs_.palette.count > 0 ? PaletteInk(Element(v, 0)) : Ink::Neutral;
            if (v.count < 3) return Ink::Unknown;
            return Element(v, 0) == Element(v, 1) && Element(v, 1) == Element(v, 2) ? Ink::Neutral : Ink::Colour;
        }
        if (Has(kPatternSelectId)) {
            const int64_t id = Attribute(kPatternSelectId, 0);
            for (const Pattern& p : patterns_)
                if (p.ink != Ink::None && p.id == id) return p.ink;
            return Ink::Unknown;
        }
        return Ink::Unknown;
    }

    void Paint(Ink a, Ink b = Ink::None) noexcept {
        if (inPage_) page_ = Combine(page_, Combine(a, b));
    }

    // -- Pages --

    void BeginPage() noexcept {
        gs_ = GraphicsState{};
        depth_ = 0;
        inPage_ = true;
        page_ = Ink::None;
        paper_ = Page{};
        if (Has(kMediaSize)) {
            const Value& v = attributes_[kMediaSize];
            uint32_t row = kXlMediaOther;
            if (v.type == 0xC0) {
                row = std::min<uint32_t>(job_[v.at], kXlMediaOther);
            } else if (v.type == 0xC8) {
                for (uint32_t r = 0; r < kXlMediaEnumerations; ++r) {
                    const char* name = kXlMedia[r].name;
                    if (name != nullptr && v.count == std::strlen(name) && job_.matches(v.at, name)) row = r;
                }
            }
            paper_.paperWidth = kXlMedia[row].b;
            paper_.paperLength = kXlMedia[row].a;
        }
        if (Has(kCustomMediaSize) && attributes_[kCustomMediaSize].count == 2) {
            const Value& v = attributes_[kCustomMediaSize];
            const double units[] = {1.0, 25.4, 254.0};
            const int64_t u = Attribute(kCustomMediaSizeUnits, 0);
            const double per = u >= 0 && u <= 2 ? units[u] : 1.0;
            const double x = static_cast<double>(Element(v, 0)) / per, y = static_cast<double>(Element(v, 1)) / per;
            paper_.paperWidth = std::min(x, y);
            paper_.paperLength = std::max(x, y);
        }
    }

    void EndPage() {
        Page p = paper_;
        p.color = page_ == Ink::Colour ? QM_PAGE_COLOR : page_ == Ink::Unknown ? QM_PAGE_COLOR_UNKNOWN : QM_PAGE_MONO;
        log_.Add(p);
        inPage_ = false;
    }

    // -- Images and raster patterns --

    void BeginImage(bool pattern) {
        image_.open = true;
        image_.pattern = pattern;
        image_.patternId = static_cast<int32_t>(Attribute(kPatternDefineId, 0));
        image_.indexed = Attribute(kColorMapping, 0) == kIndexedPixel;
        const int64_t depth = Attribute(kColorDepth, 2);
        image_.bits = depth == 0 ? 1 : depth == 1 ? 4 : 8;
        image_.width = static_cast<uint32_t>(std::max<int64_t>(Attribute(kSourceWidth, 0), 0));
        image_.components = !image_.indexed && gs_.space != kGray ? 3 : 1;
        image_.rowBytes = static_cast<uint32_t>(std::min<uint64_t>(
            (uint64_t{image_.width} * image_.bits * image_.components + 7) / 8, kMaxRowBytes + 1));
        image_.ink = Ink::Neutral;
        image_.decode = false;
        image_.block = false;
        image_.seed.assign(image_.rowBytes <= kMaxRowBytes ? image_.rowBytes : 0, 0);
        if (image_.indexed) {
            bool any = false;
            for (uint32_t k = 0; k < 256; ++k) {
                const Ink e = k < (1u << image_.bits) ? PaletteInk(k) : Ink::Neutral;
                image_.colourIndex[k] = e != Ink::Neutral;
                any = any || image_.colourIndex[k];
            }
            image_.decode = any;
        } else {
            image_.decode = gs_.space == kRgb || gs_.space == kSrgb;
            if (gs_.space != kGray && !image_.decode) image_.ink = Ink::Unknown;
        }
        if (image_.decode && (image_.rowBytes == 0 || image_.rowBytes > kMaxRowBytes)) {
            image_.decode = false;
            image_.ink = Ink::Unknown;
        }
    }

    void ReadBlock() noexcept {
        image_.block = image_.open && image_.decode;  // its attributes were read only then
        if (!image_.block) return;
        image_.blockHeight = static_cast<uint32_t>(std::max<int64_t>(Attribute(kBlockHeight, 0), 0));
        image_.compression = static_cast<uint32_t>(Attribute(kCompressMode, kNoCompression));
        const int64_t pad = Attribute(kPadBytesMultiple, 4);
        image_.pad = pad >= 1 && pad <= 4 ? static_cast<uint32_t>(pad) : 4;
    }

    // Does a decoded row hold a pixel that is not grey?
    bool RowColour(const uint8_t* row) const noexcept {
        const Image& m = image_;
        if (m.bits == 8 && m.components == 3) return !pclraster::RgbNeutral(row, m.width);
        const uint32_t mask = (1u << m.bits) - 1;
        const auto sample = [&](uint32_t k) {
            const uint32_t bit = k * m.bits;
            return (row[bit >> 3] >> (8 - m.bits - (bit & 7))) & mask;
        };
        for (uint32_t x = 0; x < m.width; ++x) {
            if (m.indexed) {
                if (m.colourIndex[sample(x)]) return true;
            } else {
                const uint32_t r = sample(3 * x), g = sample(3 * x + 1), b = sample(3 * x + 2);
                if (r != g || g != b) return true;
            }
        }
        return false;
    }

    void DecodeBlock(Bytes data) {
        Image& m = image_;
        m.block = false;
        // An image on a page already in colour changes nothing; a pattern may
        // still be used on another page.
        if (!m.decode || m.ink == Ink::Colour || (!m.pattern && page_ == Ink::Colour)) return;
        const uint32_t padded = (m.rowBytes + m.pad - 1) / m.pad * m.pad;
        bool colour = false;
        if (m.compression == kNoCompression) {
            for (uint32_t r = 0; r < m.blockHeight && !colour && data.has(r * padded, m.rowBytes); ++r)
                colour = RowColour(data.data + r * padded);
        } else if (m.compression == kRle) {
            row_.resize(padded);
            pclraster::PackBitsStream in{data};
            for (uint32_t r = 0; r < m.blockHeight && !colour && in.Next(row_); ++r) colour = RowColour(row_.data());
        } else if (m.compression == kDeltaRow) {
            // Each row: its byte count (low byte first), then the commands
            // that change the previous row; a count of 0 repeats it.
            uint32_t k = 0;
            for (uint32_t r = 0; r < m.blockHeight && !colour && data.has(k, 2); ++r) {
                const uint32_t n = data.le16(k);
                k += 2;
                const uint32_t take = std::min(n, data.left(k));
                pclraster::DeltaRow(Bytes(data.data + k, take), m.seed);
                k += take;
                colour = RowColour(m.seed.data());
            }
        } else if (m.compression == kJpeg) {
            const pclraster::JpegColour c = pclraster::ColourOfJpeg(data, kJpegSlack);
            if (c == pclraster::JpegColour::Unknown) m.ink = Combine(m.ink, Ink::Unknown);
            colour = c == pclraster::JpegColour::Colour;
        } else {
            m.ink = Combine(m.ink, Ink::Unknown);
        }
        if (colour) m.ink = Ink::Colour;
    }

    void EndImage() noexcept {
        if (!image_.open) return;
        image_.open = false;
        if (!image_.pattern) {
            Paint(image_.ink);
            return;
        }
        Pattern* slot = &patterns_[nextPattern_];
        for (Pattern& p : patterns_)
            if (p.ink != Ink::None && p.id == image_.patternId) slot = &p;
        if (slot == &patterns_[nextPattern_]) nextPattern_ = (nextPattern_ + 1) % kPatterns;
        *slot = {image_.patternId, image_.ink};
    }

    void OnData(Bytes data) {
        if (image_.block) DecodeBlock(data);
    }

    void Quiet(uint8_t op) noexcept {
        if (op == kText || op == kScanLineRel) Paint(gs_.brush);
        else if (kPaints[op]) Paint(gs_.brush, gs_.pen);
        image_.block = false;
    }

    uint32_t OnOperator(uint32_t i) {
        const uint8_t op = job_[i];
        uint32_t next = i + 1;
        switch (op) {
            case kBeginPage: BeginPage(); break;
            case kEndPage: EndPage(); break;
            case kPushGs:
                if (depth_ < kMaxDepth) stack_[depth_++] = gs_;
                break;
            case kPopGs:
                if (depth_ > 0) gs_ = stack_[--depth_];
                break;
            case kSetColorSpace: {
                const int64_t space = Attribute(kColorSpace, gs_.space);
                gs_.space = space == kSrgb ? kRgb : static_cast<int>(space);
                gs_.palette = {};
                if (Has(kPaletteData) && attributes_[kPaletteData].type == 0xC8 &&
                    Attribute(kPaletteDepth, k8BitPalette) == k8BitPalette)
                    gs_.palette = attributes_[kPaletteData];
                break;
            }
            case kSetBrushSource: gs_.brush = SourceInk(kNullBrush); break;
            case kSetPenSource: gs_.pen = SourceInk(kNullPen); break;
            case kText:
            case kScanLineRel: Paint(gs_.brush); break;
            case kBeginImage: BeginImage(false); break;
            case kBeginRastPattern: BeginImage(true); break;
            case kReadImage:
            case kReadRastPattern: ReadBlock(); break;
            case kEndImage:
            case kEndRastPattern: EndImage(); break;
            case kExecStream: Paint(Ink::Unknown); break;  // a stored stream's drawing is not followed
            case kVendorUnique:
                if (Has(kVuDataLength)) next = SkipBy(job_, i, uint64_t(Attribute(kVuDataLength, 0)) + 1);
                break;
            default:
                if (kPaints[op]) Paint(gs_.brush, gs_.pen);
                break;
        }
        if (op != kReadImage && op != kReadRastPattern) image_.block = false;
        return next;
    }

    Bytes job_;
    accurate::PageLog& log_;
    bool big_ = false;
    bool sawBig_ = false;  // any stream of the job big-endian
    // The attributes given since the last operator.
    std::array<Value, kAttributes> attributes_{};
    std::array<uint32_t, kAttributes> set_{};
    uint32_t generation_ = 1;
    Value value_;
    bool pending_ = false;
    // The graphics state and its saved copies.
    GraphicsState gs_;
    std::array<GraphicsState, kMaxDepth> stack_{};
    uint32_t depth_ = 0;
    // The page.
    bool inPage_ = false;
    Ink page_ = Ink::None;
    Page paper_;
    Image image_;
    std::array<Pattern, kPatterns> patterns_{};
    uint32_t nextPattern_ = 0;
    std::vector<uint8_t> row_;

public:
    bool SawBigEndian() const noexcept { return sawBig_; }
};

}  // namespace

bool LogPages(Bytes job, accurate::PageLog& log) {
    auto walk = std::make_unique<Walk>(job, log);
    walk->Run();
    return walk->SawBigEndian();
}

}  // namespace qm::pclxlaccurate
