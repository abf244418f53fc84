// The LAVAFLOW walk: commands read one by one, data stepped over by its
// stated length; a page is ESC*r1A ... ESC*rC, counted at its end, its
// planes JBIG coded (ESC*b1234M set before it; a page without is not
// LAVAFLOW's, and the job is not understood). Each
// plane a page sends is followed by its dot count (ESC*x#K black, #C cyan,
// #M magenta, #Y yellow): a page is colour when a colour plane has a dot,
// mono when it sends black alone (ESC*r#U: one plane) or colour planes
// without a dot, unknown when it sends colour planes without their counts.
#include "gdi/lava.h"

#include "hostbased/hostbased_accurate.h"

namespace qm::gdi {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kMaxDigits = 10;

bool Upper(int c) noexcept { return c >= 'A' && c <= 'Z'; }
bool Digit(int c) noexcept { return c >= '0' && c <= '9'; }
bool CarriesData(const LavaCommand& c) noexcept {
    return (c.intro == '*' && c.group == 'g' && c.terminator == 'W') ||
           (c.intro == '*' && c.group == 'b' && (c.terminator == 'V' || c.terminator == 'W'));
}
bool Is(const LavaCommand& c, char intro, char group, char terminator) noexcept {
    return c.intro == intro && c.group == group && c.terminator == terminator;
}

struct Paper {
    int64_t code;
    double width, length;
};
// foo2lava's paper codes (-p), as lavadecode names them.
constexpr Paper kPapers[] = {
    {1, 7.25, 10.5},   {2, 8.5, 11.0},    {3, 8.5, 14.0},   {25, 5.83, 8.27},   {26, 8.27, 11.69},
    {45, 7.17, 10.12}, {65, 6.93, 9.84},  {80, 3.875, 7.5}, {81, 4.125, 9.5},   {90, 4.33, 8.66},
    {91, 6.38, 9.02},  {92, 4.49, 6.38},  {835, 4.0, 6.0},  {837, 3.94, 5.91},
};
constexpr int64_t kCustomPaper = 101;  // sized by ESC&f#F and ESC&f#G in 1/720 inch

struct Walk {
    uint32_t pages = 0, planes = 1;
    int64_t copies = 0, paperCode = 0, customWidth = 0, customLength = 0;
    bool duplex = false, inPage = false, colourDot = false, countsSeen = false, jbig = false, foreign = false;
    accurate::Result* out = nullptr;

    void Paper(double& w, double& l) const noexcept {
        w = l = 0.0;
        if (paperCode == kCustomPaper && customWidth > 0 && customLength > 0) {
            w = double(customWidth) / 720.0;
            l = double(customLength) / 720.0;
        }
        for (const auto& p : kPapers) {
            if (p.code == paperCode) w = p.width, l = p.length;
        }
    }
    void EndPage() {
        if (!inPage) return;
        inPage = false;
        ++pages;
        accurate::Page p;
        p.color = colourDot ? QM_PAGE_COLOR : planes == 1 || countsSeen ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
        Paper(p.paperWidth, p.paperLength);
        out->pages.Add(p);
        if (pages == 1) out->rec.paperWidth = p.paperWidth, out->rec.paperLength = p.paperLength;
    }
    void On(const LavaCommand& c) {
        if (IsJbigMode(c)) {
            jbig = true;
        } else if (Is(c, '*', 'r', 'A')) {
            foreign = foreign || !jbig;  // raster of another compression: not this stream
            inPage = true;
            colourDot = countsSeen = false;
        } else if (Is(c, '*', 'r', 'C')) {
            EndPage();
        } else if (Is(c, '*', 'r', 'U')) {
            planes = uint32_t(c.value & 7);  // the driver adds 1000s to the plane count
        } else if (Is(c, '&', 'l', 'X')) {
            copies = c.value;
        } else if (Is(c, '&', 'l', 'S')) {
            duplex = c.value != 0;
        } else if (Is(c, '&', 'l', 'A')) {
            paperCode = c.value;
        } else if (Is(c, '&', 'f', 'F')) {
            customWidth = c.value;
        } else if (Is(c, '&', 'f', 'G')) {
            customLength = c.value;
        } else if (c.intro == '*' && c.group == 'x') {
            if (c.terminator == 'C' || c.terminator == 'M' || c.terminator == 'Y') {
                countsSeen = true;
                colourDot = colourDot || c.value > 0;
            }
        }
    }
};

}  // namespace

LavaRead ReadLavaCommand(Bytes b, uint32_t at, LavaCommand& c) noexcept {
    c = LavaCommand{};
    if (!b.has(at, 2)) return b.at(at) == kEsc || at >= b.size ? LavaRead::Cut : LavaRead::Invalid;
    if (b[at] != kEsc) return LavaRead::Invalid;
    if (Upper(b[at + 1])) {
        c.terminator = char(b[at + 1]);
        c.next = at + 2;
        return LavaRead::Ok;
    }
    c.intro = char(b[at + 1]);
    if (c.intro < '!' || c.intro > '/') return LavaRead::Invalid;  // PCL's parameterised intros
    uint32_t i = at + 2;
    if (!b.has(i)) return LavaRead::Cut;
    c.group = char(b[i++]);
    bool negative = false;
    if (b.at(i) == '-' || b.at(i) == '+') negative = b[i++] == '-';
    uint32_t digits = 0;
    for (; Digit(b.at(i)); ++i) {
        if (++digits > kMaxDigits) return LavaRead::Invalid;
        c.value = c.value * 10 + (b[i] - '0');
    }
    if (!b.has(i)) return LavaRead::Cut;
    if (!Upper(b[i])) return LavaRead::Invalid;  // no chained commands in this stream
    if (negative) c.value = -c.value;
    c.terminator = char(b[i++]);
    if (CarriesData(c)) {
        if (c.value < 0) return LavaRead::Invalid;
        if (uint64_t(c.value) > b.left(i)) return LavaRead::Cut;
        i += uint32_t(c.value);
    }
    c.next = i;
    return LavaRead::Ok;
}

int32_t CountLava(Bytes job, accurate::Result& out) {
    char pjl[32], ejl[32];
    const accurate::BidInput in = accurate::Unwrap(job, pjl, ejl);
    if (in.pjlLanguage != "LAVAFLOW") return QM_E_NOT_UNDERSTOOD;
    Walk w;
    w.out = &out;
    bool ended = false;
    for (uint32_t at = in.body; at < job.size;) {
        LavaCommand c;
        if (ReadLavaCommand(job, at, c) != LavaRead::Ok) break;
        if (c.intro == '%' && c.group == '-' && c.value == 12345 && c.terminator == 'X') {
            ended = true;  // the UEL closes the job
            break;
        }
        w.On(c);
        at = c.next;
    }
    if (w.pages == 0 || w.foreign) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = w.pages;
    out.rec.copies = w.copies > 0 && w.copies < 0x10000 ? uint32_t(w.copies) : 0;
    out.rec.duplex = w.duplex;
    out.estimated = !ended;
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccurateLAVAFLOW(Bytes job, Result& out) { return gdi::CountLava(job, out); }
}  // namespace qm::accurate
