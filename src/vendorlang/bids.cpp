// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include <algorithm>

#include "accurate/accurate.h"
#include "vendorlang/capsl.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kGs = 0x1D;

bool IsLower(int c) noexcept { return c >= 'a' && c <= 'z'; }
bool IsUpper(int c) noexcept { return c >= 'A' && c <= 'Z'; }
bool IsDigit(int c) noexcept { return c >= '0' && c <= '9'; }

// One ESC/Page command at i (a GS): parameters of digits, ";", "." and "-",
// up to four lower-case letters of the name and a final upper-case letter
// or "{". Returns the index after it, or 0 when no command stands there.
uint32_t GsCommand(Bytes b, uint32_t i) noexcept {
    uint32_t k = i + 1;
    for (int n = 0; n < 64 && (IsDigit(b.at(k)) || b.at(k) == ';' || b.at(k) == '.' || b.at(k) == '-'); ++n) ++k;
    for (int n = 0; n < 4 && IsLower(b.at(k)); ++n) ++k;
    const int final = b.at(k);
    return IsUpper(final) || final == '{' ? k + 1 : 0;
}

// An EJL block inside the stream ("ESC 1 @EJL" lines up to the one that
// enters the language): the index after it, or i when none starts at i.
uint32_t SkipEjl(Bytes b, uint32_t i) noexcept {
    if (!b.matches(i, "\x1b\x01@EJL")) return i;
    for (uint32_t line = i; line < b.size;) {
        const uint32_t lf = b.find(line, '\n');
        const bool enters = b.matches(line, "@EJL EN");
        line = lf < b.size ? lf + 1 : b.size;
        if (enters) return line;
    }
    return b.size;
}

bool NamesEscPage(std::string_view name) noexcept {
    return name.substr(0, 8) == "ESC/PAGE" || name.substr(0, 7) == "ESCPAGE";
}

}  // namespace

// ESC/Page: GS commands one after another, between which only a form feed,
// the data of an image command or an EJL block may stand. A few bytes of
// mode setting may precede the first.
int BidESC_PAGE(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t i = b.find(0, kGs);
    if (i > 16) return kNoBid;
    int n = 0;
    while (n < 6 && i < b.size) {
        if (b[i] == 0x0C) {
            ++i;
            continue;
        }
        const uint32_t after = SkipEjl(b, i);
        if (after != i) {
            i = after;
            continue;
        }
        if (b[i] != kGs) return kNoBid;
        const uint32_t next = GsCommand(b, i);
        if (next == 0) return kNoBid;
        ++n;
        if (b.at(next - 1) == '{') break;  // image data follows
        i = next;
    }
    const bool enough = n >= 4 || (n >= 1 && i >= b.size && WholeJob(in));
    return enough ? Parsed(NamesEscPage(in.pjlLanguage) || NamesEscPage(in.ejlLanguage)) : kNoBid;
}

// RPCS follows its PJL header with a page record: "%", 0 0 0, a byte, "#",
// or "%", 0, 3, "#".
int BidRPCS(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    const bool record = b.matches(0, std::string_view("%\0\0\0", 4)) ? b.at(5) == '#'
                                                                      : b.matches(0, std::string_view("%\0\x03#", 4));
    return in.pjl && record ? Parsed(Declares(in, "RPCS")) : kNoBid;
}

// QPDL follows its PJL header with a page header: 0x00 0x06, copies, paper,
// and at offset 17 the first record: a band (0x0C), or on foo2qpdl's -z2
// and -z3 models (CLP-315, CLP-610, ML-1670) the page's extra record (0x13).
int BidQPDL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    const bool record = b.at(17) == 0x0C || b.at(17) == 0x13;
    if (!in.pjl || b.at(0) != 0x00 || b.at(1) != 0x06 || !record) return kNoBid;
    return Parsed(Declares(in, "QPDL") || Declares(in, "SPL"));
}

// IPDL: a job header, then a paper header 0x01 "A" 0 ? 0 0 2 "@" 0 3 with a
// width and length of a real sheet ((value + 422) / 614 inches), then page
// markers 0x0F "A" "U".
int BidIPDL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    const uint32_t window = std::min<uint32_t>(b.size, 4096);
    for (uint32_t i = b.find(0, 0x01); i < window; i = b.find(i + 1, 0x01)) {
        if (!b.matches(i + 1, std::string_view("A\0", 2)) || !b.matches(i + 4, std::string_view("\0\0\x02@\0\x03", 6)) ||
            !b.has(i, 14)) {
            continue;
        }
        const uint32_t width = b.be16(i + 10), length = b.be16(i + 12);
        const bool sheet = width >= 806 && width <= 24138 && length >= 806 && length <= 24138;
        if (!sheet) return kNoBid;
        for (uint32_t m = b.find(i + 14, 0x0F); m < i + 14 + 4096 && m < b.size; m = b.find(m + 1, 0x0F)) {
            if (b.matches(m + 1, "AU")) return Parsed(Declares(in, "IPDL"));
        }
        return kNoBid;
    }
    return kNoBid;
}

// Printronix graphics: the page marker 0xD4 0xEF 0xF2 opens the job and is
// followed by a copies field: a prefix ending in 0x91, digits stored as
// exclusive-or with 0xAA, and the terminator 0xA7.
int BidPrintronixGL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, "\xD4\xEF\xF2")) return kNoBid;
    uint32_t k = 3;
    while (k < 64 && b.has(k) && b[k] != 0x91) ++k;
    if (b.at(k) != 0x91) return kNoBid;
    int digits = 0;
    for (++k; b.has(k) && b[k] != 0xA7; ++k) {
        if (!IsDigit(b[k] ^ 0xAA) || ++digits > 5) return kNoBid;
    }
    return digits > 0 && b.at(k) == 0xA7 ? Parsed(false) : kNoBid;
}

// CaPSL: ISO mode and a soft reset (ESC ; ESC <) open the job, then every
// item of the head reads as CaPSL's (sequences well formed, their data by its
// stated length) up to a few of them, or the whole job.
int BidCAPSL(const BidInput& in) noexcept {
    constexpr int kItems = 16;
    const bool declared = Declares(in, "CAPSL");
    const Bytes b = Body(in);
    if (!b.matches(0, "\x1b;\x1b<")) return kNoBid;
    int n = 0;
    uint32_t at = 0;
    for (; n < kItems && at < b.size; ++n) {
        vendor::CapslItem it;
        const vendor::CapslRead r = vendor::ReadCapslItem(b, at, it);
        if (r == vendor::CapslRead::Invalid) return kNoBid;
        if (r == vendor::CapslRead::Cut) break;
        at = it.next;
    }
    return n >= kItems || (WholeJob(in) && at == b.size) ? Parsed(declared) : kBidSignature;
}

}  // namespace qm::accurate
