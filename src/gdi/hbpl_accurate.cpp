// The HBPL walk: records stepped over by their length bytes, a page start's
// planes by the length it states; pages counted at their end records. The
// page start says whether the page sends colour planes (offset 18), which
// foo2hbpl2 sends only for a page with a dot on one of them; its paper is a
// code at offset 16 (0: the page's own size, its pixels at its resolution).
#include "gdi/hbpl.h"

namespace qm::gdi {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kHeader = 4;
constexpr uint32_t kPageStart = 42;  // the page start's fields read here
constexpr uint32_t kWidth = 0, kHeight = 4, kPlanesLength = 12, kPaper = 16, kColour = 18, kResolution = 20;

bool IsType(const HbplRecord& r, const char (&t)[3]) noexcept { return r.type[0] == t[0] && r.type[1] == t[1]; }

struct Paper {
    uint8_t code;
    double width, length;
};
// foo2hbpl2's paper codes, as hbpldecode names them.
constexpr Paper kPapers[] = {
    {1, 8.27, 11.69}, {2, 7.17, 10.12}, {3, 5.83, 8.27},  {4, 8.5, 11.0},   {5, 7.25, 10.5}, {6, 8.5, 13.0},
    {7, 8.5, 14.0},   {9, 4.125, 9.5},  {10, 3.875, 7.5}, {11, 6.38, 9.02}, {12, 4.33, 8.66},
};

}  // namespace

HbplRead ReadHbplRecord(Bytes b, uint32_t at, HbplRecord& r) noexcept {
    r = HbplRecord{};
    if (!b.has(at, kHeader)) return at < b.size && b[at] != kEsc ? HbplRead::Invalid : HbplRead::Cut;
    if (b[at] != kEsc) return HbplRead::Invalid;
    r.type[0] = char(b[at + 1]);
    r.type[1] = char(b[at + 2]);
    if (IsType(r, "%-")) {
        r.end = true;  // the job's end: nothing after it is read
        return HbplRead::Ok;
    }
    if (!IsType(r, "JP") && !IsType(r, "DM") && !IsType(r, "PS") && !IsType(r, "PE")) return HbplRead::Invalid;
    r.body = at + kHeader;
    const uint32_t length = b[at + 3];
    if (length > b.left(r.body)) return HbplRead::Cut;
    uint64_t next = uint64_t{r.body} + length;
    if (IsType(r, "PS")) {
        if (length < kPageStart) return HbplRead::Invalid;
        next += b.le32(r.body + kPlanesLength);
    }
    if (next > b.size) return HbplRead::Cut;
    r.next = uint32_t(next);
    return HbplRead::Ok;
}

int32_t CountHbpl(Bytes job, accurate::Result& out) {
    PjlSettings pjl;
    char ejl[32];
    const accurate::BidInput in = accurate::Unwrap(job, pjl, ejl);
    if (in.pjlLanguage != "HBPL") return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0;
    bool inPage = false, ended = false;
    accurate::Page page;
    for (uint32_t at = in.body;;) {
        HbplRecord r;
        if (ReadHbplRecord(job, at, r) != HbplRead::Ok) break;  // the job's end reads as a cut record
        if (r.end) {
            ended = true;
            break;
        }
        if (IsType(r, "PS")) {
            inPage = true;
            page = accurate::Page{};
            page.color = job[r.body + kColour] ? QM_PAGE_COLOR : QM_PAGE_MONO;
            const uint8_t code = job[r.body + kPaper];
            const uint32_t res = job.le16(r.body + kResolution);
            for (const Paper& p : kPapers) {
                if (p.code == code) page.paperWidth = p.width, page.paperLength = p.length;
            }
            if (code == 0 && res > 0) {
                page.paperWidth = double(job.le32(r.body + kWidth)) / res;
                page.paperLength = double(job.le32(r.body + kHeight)) / res;
            }
        } else if (IsType(r, "PE") && inPage) {
            inPage = false;
            if (++pages == 1) out.rec.paperWidth = page.paperWidth, out.rec.paperLength = page.paperLength;
            out.pages.Add(page);
        }
        at = r.next;
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.estimated = !ended;
    accurate::ApplyHeader(pjl, out);  // copies and duplex are PJL settings in this stream
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccurateHBPL(Bytes job, Result& out) { return gdi::CountHbpl(job, out); }
}  // namespace qm::accurate
