// PostScript jobs: pages, copies, colour, duplex and paper size read from
// document-structuring comments, driver feature keywords, page-device keys and
// a few operators, in one forward pass without interpreting the language.
#include <algorithm>
#include <array>

#include "api/scanners.h"
#include "pcl/leadbytes.h"

namespace qm {
namespace {

// Points to inches, in single precision as the sizes are kept.
constexpr float kPointToInch = 1.0f / 72.0f;

// Which pattern group a byte can start; most bytes start none.
enum Lead : uint8_t { kNoLead, kPercent, kStar, kSlash, kCopies, kBracket, kRotate, kLowerS };

constexpr std::array<uint8_t, 256> MakeLeadTable() {
    std::array<uint8_t, 256> t{};
    t['%'] = kPercent;
    t['*'] = kStar;
    t['/'] = kSlash;
    t['#'] = kCopies;
    t['N'] = kCopies;
    t['n'] = kCopies;
    t['['] = kBracket;
    t['r'] = kRotate;
    t['s'] = kLowerS;
    return t;
}
constexpr std::array<uint8_t, 256> kLead = MakeLeadTable();

// Every pattern goes on with one of a few bytes: a lead byte followed by
// none of its own starts nothing and is not looked at.
constexpr LeadSet<0, 9> kPatternStarts{{},
                                       {Pair('%', "%"), Pair('*', "HXOE"), Pair('/', "PD"), Pair('#', "c"),
                                        Pair('N', "uU"), Pair('n', "uU"), Pair('[', " "), Pair('r', "o"),
                                        Pair('s', "ce")}};

// Targets whose jobs always print in black and white, whatever they say.
constexpr const char* kMonoTargetDevices[] = {
    "(HP LaserJet 4345 mfp PS)",
    "(RICOH Aficio AP3200 PS3)",
    "(Lexmark Optra T612 Laser Printer)",
    "(Lexmark Optra T614 Laser Printer)",
    "(Lexmark Optra T616 Laser Printer)",
    "(RICOH Aficio 2035e PS3)",
};
constexpr const char* kMonoDriverModels[] = {
    "Lexmark T630 PS3",
    "Lexmark T620 PS3",
    "Lexmark T632 PS3",
};

// Binary token of a 16-bit integer, low-order byte first.
constexpr uint8_t kBinaryInt16 = 0x87;
// Decimal digits that count; the rest of a longer run is ignored.
constexpr int kMaxDigits = 9;

struct PsState {
    uint32_t pageComments = 0;
    uint32_t bracketPages = 0;
    uint32_t declaredPages = 0;
    uint32_t passThrough = 0;
    uint32_t copies = 0;
    bool copiesFound = false;
    uint32_t copiesAnchor = 0;  // zero: no copies keyword read a value
    bool colourSeen = false;
    bool greyForced = false;
    bool monoModel = false;
    bool duplex = false;
    bool rotated = false;
    bool landscape = false;
    float boxWidth = 0.0f, boxHeight = 0.0f;
    float sizeWidth = 0.0f, sizeHeight = 0.0f;
};

bool IsDigit(int b) { return b >= '0' && b <= '9'; }

// The number at i: a binary 16-bit token, or the decimal digits there (none
// read as 0; a sign or point ends the run). The position does not move.
int32_t ReadNumber(const Bytes& job, uint32_t i) {
    if (job.at(i) == kBinaryInt16 && job.has(SkipBy(job, i, 1), 2)) return job.le16(i + 1);
    int32_t value = 0;
    for (int k = 0; k < kMaxDigits; ++k, ++i) {
        const int b = job.at(i);
        if (!IsDigit(b)) break;
        value = value * 10 + (b - '0');
    }
    return value;
}

uint32_t SkipDigits(const Bytes& job, uint32_t i) {
    while (IsDigit(job.at(i))) ++i;
    return i;
}

// Blanks are spaces only: tabs and line ends end the run.
uint32_t SkipBlanks(const Bytes& job, uint32_t i) {
    while (job.at(i) == ' ') ++i;
    return i;
}

// Does `lit` end right before i, entirely inside the data?
bool EndsBefore(const Bytes& job, uint32_t i, std::string_view lit) {
    const auto n = static_cast<uint32_t>(lit.size());
    return i >= n && job.matches(i - n, lit);
}

float Inches(int32_t points) { return static_cast<float>(points) * kPointToInch; }

// Each handler is given the pattern's first byte and returns the position of
// the last byte it consumed plus one (i itself when it consumed nothing); the
// scan resumes one byte after that.

uint32_t OnPercent(const Bytes& job, uint32_t i, PsState& s) {
    if (job.at(i + 1) != '%') return i;
    if (job.matches(i, "%%Page:")) {
        ++s.pageComments;
        return i + 7;
    }
    if (job.matches(i, "%%[Page:")) {
        ++s.bracketPages;
        return i + 8;
    }
    if (job.matches(i, "%%Pages:")) {
        const uint32_t p = SkipBlanks(job, i + 8);
        if (job.matches(p, "(atend)")) return p + 7;
        if (IsDigit(job.at(p))) s.declaredPages = static_cast<uint32_t>(ReadNumber(job, p));
        return p;
    }
    if (job.matches(i, "%%ViewingOrientation:")) {
        const uint32_t p = SkipBlanks(job, i + 21);
        if (ReadNumber(job, p) == 0) s.landscape = true;
        return SkipDigits(job, p);
    }
    if (job.matches(i, "%%PageBoundingBox:")) {
        int32_t v[4];
        uint32_t p = i + 18;
        for (int32_t& n : v) {
            p = SkipBlanks(job, p);
            n = ReadNumber(job, p);
            p = SkipDigits(job, p);
        }
        s.boxWidth = Inches(v[2] - v[0]);
        s.boxHeight = Inches(v[3] - v[1]);
        return p;
    }
    if (job.matches(i, "%%DocumentProcessColors")) {
        // Only the first colour named after ": " counts.
        const uint32_t name = SkipBy(job, i, 25);
        if (job.matches(name, "Cyan") || job.matches(name, "Magenta") || job.matches(name, "Yellow"))
            s.colourSeen = true;
        return i;
    }
    if (job.matches(i, "%%BeginDocument: Pscript_Win_PassThrough")) {
        ++s.passThrough;
        return i + 40;
    }
    if (job.matches(i, "%%TargetDevice:")) {
        const uint32_t name = SkipBy(job, i, 16);
        for (const char* device : kMonoTargetDevices) {
            if (job.matches(name, device)) {
                s.monoModel = true;
                break;
            }
        }
        return i + 15;
    }
    if (job.matches(i, "%%LXDrvModelName:")) {
        const uint32_t name = SkipBy(job, i, 18);
        for (const char* model : kMonoDriverModels) {
            if (job.matches(name, model)) {
                s.monoModel = true;
                break;
            }
        }
        return SkipBy(job, i, 34);
    }
    return i;
}

uint32_t OnStar(const Bytes& job, uint32_t i, PsState& s) {
    const int next = job.at(i + 1);
    if (next != 'H' && next != 'X' && next != 'O' && next != 'E') return i;
    if (job.matches(i, "*HPColorAsGray True") || job.matches(i, "*XRXColor BW") ||
        job.matches(i, "*OCColorMode Gray")) {
        s.greyForced = true;
    } else if (job.matches(i, "*EFDuplex Bottom") || job.matches(i, "*EFDuplex Top")) {
        s.duplex = true;
    } else if (job.matches(i, "*EFColorMode GRAY")) {
        s.greyForced = true;
        return i + 17;
    }
    return i;
}

uint32_t OnSlash(const Bytes& job, uint32_t i, PsState& s) {
    const int next = job.at(i + 1);
    if (next != 'P' && next != 'D') return i;
    if (job.matches(i, "/PageSize")) {
        uint32_t p = SkipBlanks(job, i + 9);
        if (job.at(p) != '[') return p;
        ++p;
        s.sizeWidth = Inches(ReadNumber(job, p));
        p = SkipBlanks(job, SkipDigits(job, p));
        s.sizeHeight = Inches(ReadNumber(job, p));
        return SkipDigits(job, p);
    }
    if (job.matches(i, "/Duplex")) {
        const uint32_t p = SkipBlanks(job, i + 7);
        if (job.matchesNoCase(p, "true")) s.duplex = true;
        return p;
    }
    if (job.matches(i, "/ProcessColorModel")) {
        if (!job.matches(SkipBy(job, i, 19), "/DeviceGray")) s.colourSeen = true;
        return i + 18;
    }
    if (job.matches(i, "/DeviceGray dup setcolorspace")) {
        s.greyForced = true;
        return i + 29;
    }
    return i;
}

// The first copies keyword that gives a usable value wins; later ones are
// passed over.
uint32_t OnCopies(const Bytes& job, uint32_t i, PsState& s) {
    if (s.copiesFound) return i;
    uint32_t p;
    if (job[i] == '#') {
        if (!job.matches(i, "#copies")) return i;
        p = i + 7;
    } else {
        if ((job.at(i + 1) | 0x20) != 'u' || !job.matchesNoCase(i, "numcopies")) return i;
        // A query of the printer's setting is not a request.
        if (i >= 7 && job.matchesNoCase(i - 7, "cupsget")) return i;
        p = i + 9;
    }
    if (job.at(p) == '(') {
        ++p;
        if (IsDigit(job.at(p))) {
            s.copies = static_cast<uint32_t>(ReadNumber(job, p));
            s.copiesFound = true;
            return p;
        }
    }
    s.copiesAnchor = p;
    p = SkipBlanks(job, p);
    s.copies = static_cast<uint32_t>(ReadNumber(job, p));
    p = SkipDigits(job, p);
    if (job.at(p) == ' ') {
        ++p;
    } else if (job.matches(p, "\r\n")) {
        p += 2;
    }
    // "-1" right after the value, or a zero, leaves the search open.
    if (!job.matches(p, "-1") && s.copies != 0) s.copiesFound = true;
    return p;
}

uint32_t OnRotate(const Bytes& job, uint32_t i, PsState& s) {
    if (!job.matches(i, "rotate") || i < 3) return i;
    // Operands 90, -90 and 180: "90 " or "80 " right before the operator.
    const int hundreds = job[i - 3];
    if (job[i - 1] == ' ' && job[i - 2] == '0' && (hundreds == '9' || hundreds == '8')) {
        s.rotated = true;
        return SkipBy(job, i, 7);
    }
    return i;
}

uint32_t OnLowerS(const Bytes& job, uint32_t i, PsState& s) {
    const int next = job.at(i + 1);
    if (next != 'c' && next != 'e') return i;
    if (job.matches(i, "scol ")) {
        if (i < 2 || job[i - 1] != ' ' || !IsDigit(job[i - 2])) return i;
        // Black and white operands are not colour.
        const bool grey = EndsBefore(job, i, "0 0 0 1 ") || EndsBefore(job, i, "1 1 1 1 ") ||
                          EndsBefore(job, i, "1 0 ") || EndsBefore(job, i, "0 0 ");
        if (!grey) s.colourSeen = true;
        return i + 5;
    }
    if (job.matches(i, "setABCcs ")) {
        s.colourSeen = true;
        return i + 9;
    }
    return i;
}

uint32_t PageCount(const PsState& s) {
    const uint32_t comments = s.pageComments;
    if (comments > s.declaredPages) {
        // Pages of documents passed through whole are not pages of this job;
        // when nothing else is left, the printer's own page comments count.
        return comments > s.passThrough ? comments - s.passThrough : s.bracketPages;
    }
    return std::max(s.bracketPages, s.declaredPages);
}

// With no usable copies value, the copies are taken from just after the
// nearest feature block opened before the last copies keyword.
void FindCopiesBeforeAnchor(const Bytes& job, PsState& s) {
    if (s.copiesFound || s.copiesAnchor == 0) return;
    for (uint32_t p = s.copiesAnchor; p >= 1; --p) {
        if (job.matches(p, "[{") || job.matches(p, "{\r")) {
            s.copies = static_cast<uint32_t>(ReadNumber(job, SkipBy(job, p, 2)));
            return;
        }
    }
}

// nextLead(job, i) gives the next byte at or after i that may start a pattern.
template <class NextLead>
int32_t ScanPsWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    PsState s;
    for (uint32_t i = start; i < job.size;) {
        // Most bytes start no pattern: jump to the next one that may.
        i = nextLead(job, i);
        if (i == job.size) break;
        uint32_t last = i;
        switch (kLead[job[i]]) {
            case kNoLead: break;
            case kPercent: last = OnPercent(job, i, s); break;
            case kStar: last = OnStar(job, i, s); break;
            case kSlash: last = OnSlash(job, i, s); break;
            case kCopies: last = OnCopies(job, i, s); break;
            case kBracket:
                if (job.matches(i, "[ 0 0 0 ]")) {
                    s.colourSeen = true;
                    last = i + 9;
                }
                break;
            case kRotate: last = OnRotate(job, i, s); break;
            case kLowerS: last = OnLowerS(job, i, s); break;
        }
        // The byte right after a consumed pattern is never examined.
        if (last >= job.size) break;
        i = last + 1;
    }
    FindCopiesBeforeAnchor(job, s);

    float height = s.boxHeight <= s.sizeHeight ? s.sizeHeight : s.boxHeight;
    float width = s.boxWidth <= s.sizeWidth ? s.sizeWidth : s.boxWidth;
    if (s.rotated) {
        height = s.sizeHeight;
        width = s.sizeWidth;
    }
    rec.pages = PageCount(s);
    rec.copies = s.copies;
    rec.color = (s.greyForced || s.monoModel) ? 0 : (s.colourSeen ? 1 : 0);
    rec.duplex = s.duplex ? 1 : 0;
    rec.paperLength = static_cast<double>(s.landscape ? width : height);
    rec.paperWidth = static_cast<double>(s.landscape ? height : width);
    return QM_OK;
}

}  // namespace

int32_t ScanPOSTSCRIPT(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanPsWith(job, start, rec, [](const Bytes& j, uint32_t from) { return FindLead(j, from, kPatternStarts); });
}

// Every byte looked up in the lead table, as the lead search must agree with.
int32_t ScanPOSTSCRIPTEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanPsWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
