// The DDST walk: PJL lines one by one, each image's data stepped over by the
// length its IMAGELEN line states. A page is counted at its PAGESTATUS=END
// when it sent its plane (a first piece that opens with a JBIG header); its
// copies are the COPIES line in force, its paper the PAPER line's name
// (foo2ddst's names). Every page is black and white: the stream has one
// plane. A job with anything else between its lines, a page without its
// plane, or pages inside pages, is read up to there.
#include "gdi/ddst.h"

#include "pcl/pjl.h"

namespace qm::gdi {
namespace {

constexpr uint32_t kBihSize = 20;
constexpr uint64_t kMaxCopies = 9999;

bool Blank(int c) noexcept { return c == ' ' || c == '\t'; }

struct Paper {
    std::string_view name;
    double width, length;
};
// foo2ddst's paper names (its -p codes 1 to 12).
constexpr Paper kPapers[] = {
    {"LETTER", 8.5, 11.0},       {"LEGAL", 8.5, 14.0},         {"EXECUTIVE", 7.25, 10.5},
    {"INVOICE", 5.5, 8.5},       {"A4", 8.27, 11.69},          {"A5", 5.83, 8.27},
    {"A6", 4.13, 5.83},          {"JISB5", 7.17, 10.12},       {"JISB6", 5.04, 7.17},
    {"16K_197X273", 7.76, 10.75}, {"16K_184X260", 7.24, 10.24}, {"16K_195X270", 7.68, 10.63},
};

bool SameNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && Bytes(a).matchesNoCase(0, b);
}

// The words of a line after "@PJL": `at` past the blanks, then past the word.
std::string_view Word(Bytes b, uint32_t& at, uint32_t end, bool toEquals) noexcept {
    while (at < end && Blank(b[at])) ++at;
    const uint32_t start = at;
    while (at < end && !Blank(b[at]) && b[at] != '\r' && !(toEquals && b[at] == '=')) ++at;
    return std::string_view(reinterpret_cast<const char*>(b.data) + start, at - start);
}

uint64_t Number(std::string_view s, bool& ok) noexcept {
    uint64_t v = 0;
    ok = !s.empty() && s.size() <= 10;
    for (char c : s) {
        if (c < '0' || c > '9') ok = false;
        v = v * 10 + uint64_t(c - '0');
    }
    return ok ? v : 0;
}

}  // namespace

bool IsDdstBih(Bytes b, uint32_t at) noexcept {
    // DL 0, D, one plane, a zero byte; XD, YD, L0 (big-endian); MX, MY,
    // order and options (no bits above those JBIG defines).
    return b.has(at, kBihSize) && b[at] == 0 && b[at + 2] == 1 && b[at + 3] == 0 && b.be32(at + 4) > 0 &&
           b.be32(at + 12) > 0 && (b[at + 18] & 0xF0) == 0 && (b[at + 19] & 0x80) == 0;
}

DdstRead ReadDdstLine(Bytes b, uint32_t at, DdstLine& line) noexcept {
    line = DdstLine{};
    if (!b.has(at, 4)) return b.matches(at, std::string_view("@PJL").substr(0, b.left(at))) ? DdstRead::Cut
                                                                                              : DdstRead::Invalid;
    if (!b.matches(at, "@PJL")) return DdstRead::Invalid;
    const uint32_t lf = b.find(at, '\n');
    if (lf == b.size) return b.left(at) < kPjlLongestLine ? DdstRead::Cut : DdstRead::Invalid;
    if (lf - at > kPjlLongestLine) return DdstRead::Invalid;
    line.next = lf + 1;
    uint32_t i = at + 4;
    if (i < lf && !Blank(b[i]) && b[i] != '\r') return DdstRead::Invalid;  // "@PJLX" is no PJL line
    const std::string_view command = Word(b, i, lf, false);
    if (SameNoCase(command, "EOJ")) {
        line.kind = DdstKind::EndOfJob;
        return DdstRead::Ok;
    }
    if (!SameNoCase(command, "SET")) return DdstRead::Ok;
    const std::string_view key = Word(b, i, lf, true);
    while (i < lf && Blank(b[i])) ++i;
    if (i >= lf || b[i] != '=') return DdstRead::Ok;
    ++i;
    const std::string_view value = Word(b, i, lf, false);
    bool ok = false;
    if (SameNoCase(key, "PAGESTATUS")) {
        line.kind = SameNoCase(value, "START") ? DdstKind::PageStart
                    : SameNoCase(value, "END") ? DdstKind::PageEnd
                                               : DdstKind::Other;
    } else if (SameNoCase(key, "PAPER")) {
        line.kind = DdstKind::Paper;
        line.paper = value;
    } else if (SameNoCase(key, "COPIES")) {
        line.value = Number(value, ok);
        if (!ok) return DdstRead::Invalid;
        line.kind = DdstKind::Copies;
    } else if (SameNoCase(key, "IMAGELEN")) {
        line.value = Number(value, ok);
        if (!ok) return DdstRead::Invalid;
        line.kind = DdstKind::Image;
        line.data = line.next;
        line.dataCut = line.value > b.left(line.data);
        line.next = line.dataCut ? b.size : line.data + uint32_t(line.value);
    }
    return DdstRead::Ok;
}

int32_t CountDdst(Bytes job, accurate::Result& out) {
    bool uel = false;
    uint32_t at = SkipWrapperBytes(job, 0, uel);
    // The pages once each, and as often as each prints: the first is the log
    // when every page has the same copies, the second otherwise.
    accurate::PageLog once, printed;
    uint64_t sides = 0;
    uint32_t firstCopies = 0;
    double firstWidth = 0.0, firstLength = 0.0;
    accurate::Page page;
    page.color = QM_PAGE_MONO;
    uint32_t copies = 1, images = 0;
    bool inPage = false, ended = false, sameCopies = true;
    while (at < job.size) {
        DdstLine line;
        if (ReadDdstLine(job, at, line) != DdstRead::Ok) break;
        if (line.kind == DdstKind::EndOfJob) {
            ended = true;
            break;
        }
        if (line.kind == DdstKind::PageStart) {
            if (inPage) break;
            inPage = true;
            images = 0;
        } else if (line.kind == DdstKind::Image) {
            if (!inPage || line.dataCut || (images == 0 && !IsDdstBih(job, line.data))) break;
            ++images;
        } else if (line.kind == DdstKind::PageEnd) {
            if (!inPage || images == 0) break;
            inPage = false;
            if (once.Empty()) {
                firstCopies = copies;
                firstWidth = page.paperWidth, firstLength = page.paperLength;
            }
            sameCopies = sameCopies && copies == firstCopies;
            once.Add(page);
            printed.Add(page, copies);
            sides += copies;
        } else if (line.kind == DdstKind::Copies) {
            copies = line.value >= 1 && line.value <= kMaxCopies ? uint32_t(line.value) : 1;
        } else if (line.kind == DdstKind::Paper) {
            page.paperWidth = page.paperLength = 0.0;
            for (const Paper& p : kPapers) {
                if (SameNoCase(line.paper, p.name)) page.paperWidth = p.width, page.paperLength = p.length;
            }
        }
        at = line.next;
    }
    if (once.Empty()) return QM_E_NOT_UNDERSTOOD;
    // Copies the same on every page are the job's; otherwise each page is
    // counted as often as it prints.
    if (!sameCopies && sides > UINT32_MAX) return QM_E_NOT_UNDERSTOOD;
    out.pages = sameCopies ? once : printed;
    out.rec.pages = out.pages.Pages();
    out.rec.copies = sameCopies ? firstCopies : 1;
    out.rec.duplex = 0;
    out.rec.paperWidth = firstWidth;
    out.rec.paperLength = firstLength;
    out.estimated = !ended;
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccurateDDST(Bytes job, Result& out) { return gdi::CountDdst(job, out); }
}  // namespace qm::accurate
