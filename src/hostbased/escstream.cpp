// Escape-command streams of Oki, TCPL, Panasonic and Canon UFR printers. Each
// counter jumps from ESC to ESC, reads the few commands that mark a page or
// carry copies, colour, duplex or paper, and steps over raster data by its
// length where the stream states one.
#include <charconv>
#include <climits>
#include <cstdint>

#include "api/scanners.h"

namespace qm {
namespace {

constexpr uint8_t kEsc = 0x1B;

// The byte `off` bytes after i, or -1 outside the data (no sum can wrap).
int Peek(const Bytes& job, uint32_t i, uint32_t off) { return job.has(i, off + 1) ? job[i + off] : -1; }

bool IsDigit(int b) { return b >= '0' && b <= '9'; }

// C white space, as the decimal conversions skip it.
bool IsSpace(int b) { return b == ' ' || (b >= '\t' && b <= '\r'); }

// Decimal digits from i, saturated so that a long run stays huge rather than
// wrapping to a small number. `end` is the first byte after the digits.
uint64_t ReadDigits(const Bytes& job, uint32_t i, uint32_t& end) {
    constexpr uint64_t kCap = uint64_t{1} << 40;
    uint64_t value = 0;
    while (i < job.size && IsDigit(job[i])) {
        if (value < kCap) value = value * 10 + (job[i] - '0');
        ++i;
    }
    end = i;
    return value;
}

// ---- Oki

constexpr uint32_t kOkiCopiesOffset = 7;
constexpr uint32_t kOkiSettings = 12;
constexpr uint32_t kOkiRasterLengthOffset = 4;
constexpr uint32_t kOkiRasterHeader = 6;

uint32_t StepOki(const Bytes& job, uint32_t i, uint32_t& pages, uint32_t& copies) {
    const int a = Peek(job, i, 1), b = Peek(job, i, 2);
    if (a == '$' && b == 'B') {
        ++pages;
        return SkipBy(job, i, 3);
    }
    if (a == '&' && b == 'A') {
        const int n = Peek(job, i, kOkiCopiesOffset);
        if (n >= 0) copies = static_cast<uint32_t>(n);
        return SkipBy(job, i, kOkiSettings);
    }
    if (a == '*' && b == 'A') {
        if (!job.has(i, kOkiRasterLengthOffset + 2)) return job.size;  // the block runs past the end
        return SkipBy(job, i, uint64_t{kOkiRasterHeader} + job.le16(i + kOkiRasterLengthOffset));
    }
    if (a == '*' && b == 'B') return SkipBy(job, i, 4);
    return SkipBy(job, i, 2);
}

// ---- TCPL

struct TcplState {
    uint32_t pages = 0;
    uint32_t copies = 0;  // no ESC "E": 0, not 1
    bool colour = false;
    bool duplex = false;
};

constexpr uint32_t kTcplColourOffset = 4;
constexpr uint32_t kTcplFieldsOffset = 6;
constexpr int kTcplHeaderFields = 3;

// "P": page data behind three digit fields and a byte count, each ended by
// one delimiter byte. Returns the index after the data.
uint32_t StepTcplPageData(const Bytes& job, uint32_t i, TcplState& st) {
    if (Peek(job, i, kTcplColourOffset) == '0') st.colour = true;
    if (!job.has(i, kTcplFieldsOffset + 1)) return job.size;
    uint32_t at = i + kTcplFieldsOffset;
    for (int f = 0; f < kTcplHeaderFields; ++f) {
        ReadDigits(job, at, at);
        if (at >= job.size) return job.size;
        ++at;  // the delimiter
    }
    uint32_t end = at;
    const uint64_t count = ReadDigits(job, at, end);
    if (end == at) return SkipBy(job, at, 1);  // no count: pass over its first byte
    if (end >= job.size) return job.size;
    return SkipBy(job, end, uint64_t{1} + count);
}

uint32_t StepTcpl(const Bytes& job, uint32_t i, TcplState& st) {
    switch (Peek(job, i, 1)) {
        case 'B':
            return SkipBy(job, i, 3);
        case 'E': {
            // The copies are read afresh each time; the last one wins.
            if (!job.has(i, 3)) {
                st.copies = 0;  // nothing after the letter: no digits
                return job.size;
            }
            uint32_t end = i + 2;
            const uint64_t copies = ReadDigits(job, i + 2, end);
            st.copies = copies > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(copies);
            return SkipBy(job, end, 1);  // one past the first non-digit
        }
        case 'P':
            return StepTcplPageData(job, i, st);
        case 'T': {
            const int flag = Peek(job, i, 2);
            if (flag >= 0 && flag != '0') st.duplex = true;
            return SkipBy(job, i, 3);
        }
        case 'U':
            ++st.pages;
            return SkipBy(job, i, 2);
        default:
            return SkipBy(job, i, 2);
    }
}

// ---- Panasonic

struct PanasonicPaper {
    uint8_t code;
    float width;
    float length;
};
constexpr PanasonicPaper kPanasonicPapers[] = {
    {2, 8.5f, 11.0f},     // Letter
    {3, 8.5f, 14.0f},     // Legal
    {4, 17.0f, 11.0f},    // Ledger
    {6, 5.5f, 8.5f},      // Statement
    {7, 8.25f, 13.0f},    // Folio
    {8, 8.5f, 13.0f},     // Foolscap
    {19, 11.69f, 16.54f}, // A3
    {20, 8.27f, 11.69f},  // A4
    {36, 9.84f, 13.9f},   // B4
    {149, 5.83f, 8.27f},  // A5
    {165, 6.93f, 9.84f},  // B5
};

constexpr uint8_t kPanasonicSkipPage[] = {kEsc, 0x01, 0x00, 'q'};
constexpr uint32_t kPanasonicLetterOffset = 3;
constexpr uint32_t kPanasonicParamOffset = 4;

struct PanasonicState {
    uint32_t pages = 0;
    uint32_t copies = 0;  // none stated: 0, not 1
    bool duplex = false;
    float width = 0.0f;
    float length = 0.0f;
};

// ESC, a u16 LE length n, a letter and n - 1 parameter bytes. Parameters are
// scanned again as ordinary bytes afterwards.
void ApplyPanasonic(const Bytes& job, uint32_t i, PanasonicState& st) {
    if (!job.has(i, kPanasonicLetterOffset + 1)) return;
    const uint16_t n = job.le16(i + 1);
    const uint8_t letter = job[i + kPanasonicLetterOffset];
    const uint32_t p = i + kPanasonicLetterOffset + 1;  // first parameter, may be the end
    if (n == 1 && letter == 'p') {
        // A page followed at once by "q" is not printed.
        if (!job.matches(p, kPanasonicSkipPage, sizeof kPanasonicSkipPage)) ++st.pages;
    } else if (n == 2 && job.has(i, kPanasonicParamOffset + 1)) {
        const uint8_t param = job[p];
        if (letter == 'k') {
            st.width = st.length = 0.0f;  // an unknown code clears the size
            for (const PanasonicPaper& paper : kPanasonicPapers) {
                if (paper.code == param) {
                    st.width = paper.width;
                    st.length = paper.length;
                }
            }
        } else if (letter == 'u') {
            st.duplex = true;
        } else if (letter == 'o') {
            st.copies = param;
        }
    } else if (n == 3 && letter == 'O' && job.has(i, kPanasonicParamOffset + 2)) {
        st.copies = job.le16(p);
    }
}

// ---- Canon UFR

constexpr char kUfrStartOfPage[] = "[sop";
constexpr uint32_t kUfrLengthTextOffset = 14;
constexpr uint32_t kUfrWidthTextOffset = 27;
constexpr double kUfrMargin = 118.0;
constexpr double kUfrInchPerUnit = 0.0016666666666666668;  // 1/600

// The decimal conversions over the bytes from i, never past the end of the
// data: white space, an optional sign, then digits (and for a real number a
// point and an exponent). A text without a number gives 0.
struct NumberText {
    uint32_t digits;  // first byte after white space and sign
    bool negative;
};

NumberText SkipSpaceAndSign(const Bytes& job, uint32_t i) {
    while (i < job.size && IsSpace(job[i])) ++i;
    bool negative = false;
    if (i < job.size && (job[i] == '+' || job[i] == '-')) {
        negative = job[i] == '-';
        ++i;
    }
    return {i, negative};
}

int64_t ReadInteger(const Bytes& job, uint32_t i) {
    const NumberText t = SkipSpaceAndSign(job, i);
    uint32_t end = t.digits;
    const int64_t magnitude = static_cast<int64_t>(ReadDigits(job, t.digits, end));
    return t.negative ? -magnitude : magnitude;
}

double ReadReal(const Bytes& job, uint32_t i) {
    const NumberText t = SkipSpaceAndSign(job, i);
    const int first = job.at(t.digits);
    if (!IsDigit(first) && first != '.') return 0.0;  // no number (and no "inf" or "nan")
    const char* begin = reinterpret_cast<const char*>(job.data + t.digits);
    const char* end = reinterpret_cast<const char*>(job.data + job.size);
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(begin, end, value, std::chars_format::general);
    if (r.ec != std::errc()) return 0.0;  // no digits, or out of range: no size
    return t.negative ? -value : value;
}

uint32_t StepUfr(const Bytes& job, uint32_t i, PageCountResult& rec, uint32_t& pages) {
    const int next = Peek(job, i, 1);
    if (next == '+') {
        const int64_t n = ReadInteger(job, i + 2);
        // A skip that does not move forward is passed over like an unknown
        // command: the scan resumes at the next byte.
        if (n < 1) return i + 1;
        return SkipBy(job, i, uint64_t{1} + static_cast<uint64_t>(n));
    }
    if (next == '[' && job.matches(i + 1, kUfrStartOfPage)) {
        ++pages;
        const double length = job.has(i, kUfrLengthTextOffset) ? ReadReal(job, i + kUfrLengthTextOffset) : 0.0;
        const double width = job.has(i, kUfrWidthTextOffset) ? ReadReal(job, i + kUfrWidthTextOffset) : 0.0;
        rec.paperLength = (length + kUfrMargin) * kUfrInchPerUnit;
        rec.paperWidth = (width + kUfrMargin) * kUfrInchPerUnit;
    }
    return i + 1;
}

}  // namespace

int32_t ScanOKI(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0, copies = 1;
    for (uint32_t i = job.find(start, kEsc); i < job.size; i = job.find(i, kEsc))
        i = StepOki(job, i, pages, copies);
    rec.pages = pages;
    rec.copies = copies;
    rec.color = 1;  // every Oki job is reported as colour
    return QM_OK;
}

int32_t ScanTCPL(Bytes job, uint32_t start, PageCountResult& rec) {
    TcplState st;
    for (uint32_t i = job.find(start, kEsc); i < job.size; i = job.find(i, kEsc)) i = StepTcpl(job, i, st);
    rec.pages = st.pages;
    rec.copies = st.copies;
    rec.color = st.colour ? 1 : 0;
    rec.duplex = st.duplex ? 1 : 0;
    return QM_OK;
}

int32_t ScanPANASONIC(Bytes job, uint32_t start, PageCountResult& rec) {
    PanasonicState st;
    for (uint32_t i = job.find(start, kEsc); i < job.size; i = job.find(SkipBy(job, i, 2), kEsc))
        ApplyPanasonic(job, i, st);
    rec.pages = st.pages;
    rec.copies = st.copies;
    rec.duplex = st.duplex ? 1 : 0;
    rec.paperWidth = st.width;
    rec.paperLength = st.length;
    return QM_OK;
}

int32_t ScanCanonUFR(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    for (uint32_t i = job.find(start, kEsc); i < job.size; i = job.find(i, kEsc))
        i = StepUfr(job, i, rec, pages);
    rec.pages = pages;
    rec.copies = 0;  // UFR carries no copy count here
    return QM_OK;
}

}  // namespace qm
