// The CaPSL walk: item by item, data stepped over by the lengths the
// sequences state. A page is ejected by a form feed, or by a reset (ESC <,
// ESC c) or the job's end, when something was put on it: a glyph of text, a
// raster block or bytes printed as they stand. A form feed on a page where
// nothing was put ejects nothing: cjet sends one for every PCL "eject page"
// as well as for PCL's form feed, so each page after the first comes with a
// second form feed, before anything is drawn. Copies are CSI # v, the paper
// CSI # p (cjet's codes; a landscape code is the portrait one plus 1), both
// the printer's until a reset. The printers print black and white.
#include "vendorlang/capsl.h"

namespace qm::vendor {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kCsi8 = 0x9B;   // CSI as one byte
constexpr uint8_t kDcs8 = 0x90;   // DCS as one byte
constexpr uint32_t kMaxParameterBytes = 256;
constexpr uint32_t kMaxIntermediates = 4;
constexpr uint32_t kMaxStringBytes = 64 * 1024;
constexpr uint64_t kMaxCopies = 9999;

bool Parameter(int c) noexcept { return c >= 0x30 && c <= 0x3F; }
bool Intermediate(int c) noexcept { return c >= 0x20 && c <= 0x2F; }
bool Final(int c) noexcept { return c >= 0x40 && c <= 0x7E; }
bool Graphic(int c) noexcept { return (c >= 0x20 && c <= 0x7E) || c >= 0xA0; }

struct Paper {
    uint64_t code;
    double width, length;
};
// cjet's page size codes, portrait.
constexpr Paper kPapers[] = {{14, 8.27, 11.69}, {30, 8.5, 11.0}, {32, 8.5, 14.0}, {40, 7.25, 10.5}};

bool Is(const CapslItem& it, uint8_t intermediate, uint8_t final) noexcept {
    return it.kind == CapslKind::Sequence && !it.privateParameters && it.final == final &&
           (intermediate == 0 ? it.intermediates == 0 : it.intermediates == 1 && it.intermediate == intermediate);
}

// A control string from `at` (its body) to ST (ESC \ or 0x9C).
CapslRead ReadString(Bytes b, uint32_t at, CapslItem& item) noexcept {
    for (uint32_t i = at; i < b.size; ++i) {
        if (i - at > kMaxStringBytes) return CapslRead::Invalid;
        if (b[i] == 0x9C) {
            item.next = i + 1;
            return CapslRead::Ok;
        }
        if (b[i] == kEsc) {
            if (!b.has(i + 1)) return CapslRead::Cut;
            if (b[i + 1] != '\\') return CapslRead::Invalid;
            item.next = i + 2;
            return CapslRead::Ok;
        }
    }
    return CapslRead::Cut;
}

// A control sequence from `at` (just past its CSI).
CapslRead ReadSequence(Bytes b, uint32_t at, CapslItem& item) noexcept {
    item.kind = CapslKind::Sequence;
    uint32_t i = at;
    item.privateParameters = b.at(i) >= 0x3C && b.at(i) <= 0x3F;
    bool first = true;
    for (; Parameter(b.at(i)); ++i) {
        if (i - at >= kMaxParameterBytes) return CapslRead::Invalid;
        const uint8_t c = b[i];
        if (c == ';') first = false;
        if (first && c >= '0' && c <= '9' && item.value < (uint64_t{1} << 40)) item.value = item.value * 10 + (c - '0');
    }
    for (; Intermediate(b.at(i)); ++i) {
        if (++item.intermediates > kMaxIntermediates) return CapslRead::Invalid;
        if (item.intermediate == 0) item.intermediate = b[i];
    }
    if (!b.has(i)) return CapslRead::Cut;
    if (!Final(b[i])) return CapslRead::Invalid;
    item.final = b[i++];
    // Raster blocks, bytes printed as they stand and downloaded characters
    // carry as many bytes as their first parameter states.
    if (Is(item, '.', 'r') || Is(item, '.', 'v') || Is(item, '.', 'q')) {
        if (item.value > b.left(i)) return CapslRead::Cut;
        item.marks = item.final != 'q' && item.value > 0;
        i += uint32_t(item.value);
    }
    item.next = i;
    return CapslRead::Ok;
}

}  // namespace

CapslRead ReadCapslItem(Bytes b, uint32_t at, CapslItem& item) noexcept {
    item = CapslItem{};
    if (!b.has(at)) return CapslRead::Cut;
    const uint8_t c = b[at];
    if (c == kCsi8) return ReadSequence(b, at + 1, item);
    if (c == kDcs8) {
        item.kind = CapslKind::String;
        return ReadString(b, at + 1, item);
    }
    if (c == kEsc) {
        uint32_t i = at + 1;
        if (!b.has(i)) return CapslRead::Cut;
        if (b[i] == '[') return ReadSequence(b, i + 1, item);
        if (b[i] == 'P' || b[i] == 'X' || b[i] == ']' || b[i] == '^' || b[i] == '_') {
            item.kind = CapslKind::String;
            return ReadString(b, i + 1, item);
        }
        item.kind = CapslKind::Escape;
        for (; Intermediate(b.at(i)); ++i) {
            if (++item.intermediates > kMaxIntermediates) return CapslRead::Invalid;
            if (item.intermediate == 0) item.intermediate = b[i];
        }
        if (!b.has(i)) return CapslRead::Cut;
        if (b[i] < 0x30 || b[i] > 0x7E) return CapslRead::Invalid;
        item.final = b[i];
        item.next = i + 1;
        return CapslRead::Ok;
    }
    if (!Graphic(c)) {
        item.kind = CapslKind::Control;
        item.final = c;
        item.next = at + 1;
        return CapslRead::Ok;
    }
    uint32_t i = at;
    for (; i < b.size && Graphic(b[i]); ++i) item.marks = item.marks || b[i] != ' ';
    item.next = i;
    return CapslRead::Ok;
}

int32_t CountCapsl(Bytes job, accurate::Result& out) {
    char pjl[32], ejl[32];
    const accurate::BidInput in = accurate::Unwrap(job, pjl, ejl);
    uint64_t sides = 0;
    uint32_t copies = 1, firstCopies = 0;
    bool marked = false, sameCopies = true, clean = true;
    accurate::Page page, first;
    page.color = QM_PAGE_MONO;
    // The pages once each, and as often as each prints: the first is the log
    // when every page has the same copies, the second otherwise.
    accurate::PageLog once, printed;
    const auto eject = [&] {
        if (once.Empty()) firstCopies = copies, first = page;
        sameCopies = sameCopies && copies == firstCopies;
        once.Add(page);
        printed.Add(page, copies);
        sides += copies;
        marked = false;
    };
    uint32_t at = in.body;
    while (at < job.size) {
        CapslItem it;
        if (ReadCapslItem(job, at, it) != CapslRead::Ok) {
            clean = false;
            break;
        }
        at = it.next;
        marked = marked || it.marks;
        if (it.kind == CapslKind::Control && it.final == kFormFeed) {
            if (marked) eject();
        } else if (it.kind == CapslKind::Escape && it.intermediates == 0 && (it.final == '<' || it.final == 'c')) {
            if (marked) eject();
            copies = 1;
            page.paperWidth = page.paperLength = 0.0;
        } else if (Is(it, 0, 'v')) {
            copies = it.value >= 1 && it.value <= kMaxCopies ? uint32_t(it.value) : 1;
        } else if (Is(it, 0, 'p')) {
            page.paperWidth = page.paperLength = 0.0;
            for (const Paper& p : kPapers) {
                if (p.code == it.value || p.code + 1 == it.value) page.paperWidth = p.width, page.paperLength = p.length;
            }
        }
    }
    // What was put on the last page is printed when the job ends.
    const bool leftOver = marked;
    if (marked) eject();
    if (once.Empty()) return QM_E_NOT_UNDERSTOOD;
    if (!sameCopies && sides > UINT32_MAX) return QM_E_NOT_UNDERSTOOD;
    out.pages = sameCopies ? once : printed;
    out.rec.pages = out.pages.Pages();
    out.rec.copies = sameCopies ? firstCopies : 1;
    out.rec.duplex = 0;
    out.rec.paperWidth = first.paperWidth;
    out.rec.paperLength = first.paperLength;
    out.estimated = !clean || leftOver;
    return QM_OK;
}

}  // namespace qm::vendor

namespace qm::accurate {
int32_t AccurateCAPSL(Bytes job, Result& out) { return vendor::CountCapsl(job, out); }
}  // namespace qm::accurate
