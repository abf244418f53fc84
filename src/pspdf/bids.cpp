// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include <algorithm>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

bool IsDigit(int c) noexcept { return c >= '0' && c <= '9'; }
bool IsWhite(int c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0; }

uint32_t SkipWhite(Bytes b, uint32_t i) noexcept {
    while (b.has(i) && IsWhite(b[i])) ++i;
    return i;
}

// Index past the line at i (past its CR, LF or CR LF).
uint32_t PastLine(Bytes b, uint32_t i) noexcept {
    while (b.has(i) && b[i] != '\r' && b[i] != '\n') ++i;
    if (b.at(i) == '\r') ++i;
    if (b.at(i) == '\n') ++i;
    return i;
}

uint32_t SkipDigits(Bytes b, uint32_t i) noexcept {
    while (IsDigit(b.at(i))) ++i;
    return i;
}

// Text as PostScript is written: printable characters (8-bit ones stand in
// titles and strings) and white space. Binary data may come later in a job,
// not among its first lines.
bool IsPsText(int c) noexcept {
    return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

}  // namespace

// PostScript: "%!" at the start of the job (or where a DOS EPS header
// points), followed by lines of text. The first lines are read; binary bytes
// among them mean the "%!" was a coincidence.
int BidPOSTSCRIPT(const BidInput& in) noexcept {
    Bytes b = Body(in);
    if (b.matches(0, "\xC5\xD0\xD3\xC6") && b.has(0, 12)) {
        const uint32_t at = b.le32(4);
        if (at < 12 || !b.has(at, 2)) return kNoBid;
        b = Bytes(b.data + at, b.size - at);
    }
    if (!b.matches(0, "%!")) return kNoBid;
    const uint32_t window = std::min<uint32_t>(b.size, 512);
    for (uint32_t i = 0; i < window; ++i) {
        if (!IsPsText(b[i])) return kNoBid;
    }
    return Parsed(Declares(in, "POSTSCRIPT") || Declares(in, "PS"));
}

// How far into the job PDF readers look for the header: spoolers and mail
// gateways leave a few lines in front of it.
constexpr uint32_t kPdfHeaderWindow = 1024;

// Where the "%PDF-" header with its version starts within the header
// window, or b.size when it is not there.
uint32_t FindPdfHeader(Bytes b) noexcept {
    const uint32_t window = std::min(b.size, kPdfHeaderWindow);
    for (uint32_t i = b.find(0, '%'); i < window; i = b.find(i + 1, '%')) {
        if (b.matches(i, "%PDF-") && IsDigit(b.at(i + 5)) && b.at(i + 6) == '.' && IsDigit(b.at(i + 7))) return i;
    }
    return b.size;
}

// PDF: the "%PDF-" header with its version (at the start, or after a few
// lines of something else), comment lines, then the first indirect object
// "N G obj".
int BidPDF(const BidInput& in) noexcept {
    const Bytes body = Body(in);
    const uint32_t header = FindPdfHeader(body);
    if (header >= body.size) return kNoBid;
    const Bytes b(body.data + header, body.size - header);
    uint32_t i = PastLine(b, 0);
    for (int lines = 0; lines < 16; ++lines) {
        i = SkipWhite(b, i);
        if (b.at(i) != '%') break;
        i = PastLine(b, i);
    }
    const uint32_t number = SkipDigits(b, i);
    if (number == i || !IsWhite(b.at(number))) return kNoBid;
    const uint32_t gen = SkipWhite(b, number);
    const uint32_t genEnd = SkipDigits(b, gen);
    if (genEnd == gen || !IsWhite(b.at(genEnd))) return kNoBid;
    return b.matches(SkipWhite(b, genEnd), "obj") ? Parsed(Declares(in, "PDF")) : kNoBid;
}

}  // namespace qm::accurate
