// The SP 1000S/1100S walk: records stepped over by their lengths, a page
// counted at its end record, copies and paper from its start record. The
// printer prints black only.
//
// A page start's data: the input tray (its two high bytes; the low two are
// the record's spare bytes), 0x0404, 0, the printable width and height in
// dots at 600 dpi, the paper's index, the media type, the copies, 0 and the
// toner saver flag.
#include <algorithm>

#include "gdi/saggdi.h"

namespace qm::gdi {
namespace {

constexpr uint32_t kRecordHeader = 6;  // type, length, two spare bytes
constexpr uint32_t kPaperAt = 10, kCopiesAt = 12;  // in a page start's data

// Data length of each record type; blocks carry their own.
constexpr int kBlockLength = -1;
int DataLength(uint16_t type) noexcept {
    switch (static_cast<SagRecord>(type)) {
        case SagRecord::StartDoc: return 2;
        case SagRecord::StartPage: return 15;
        case SagRecord::Block: return kBlockLength;
        case SagRecord::EndPage: case SagRecord::EndDoc: return 0;
    }
    return -2;
}

struct SagPaper {
    uint8_t index;
    double width, length;  // inches
};
// The driver's paper indices (B5 and B6 are JIS: their printable areas are
// JIS sizes less the margins).
constexpr SagPaper kPapers[] = {
    {0x00, 8.27, 11.69}, {0x01, 8.5, 11.0}, {0x02, 8.5, 14.0},  {0x04, 5.83, 8.27},
    {0x05, 7.17, 10.12}, {0x08, 3.875, 7.5}, {0x0D, 5.04, 7.17}, {0x0E, 4.13, 5.83},
};

}  // namespace

SagRead ReadSagRecord(Bytes b, uint32_t at, SagStep& s) noexcept {
    if (!b.has(at, kRecordHeader)) return SagRead::Cut;
    s.type = b.le16(at);
    const uint32_t length = b.le16(at + 2);
    const int want = DataLength(s.type);
    if (want == -2 || (want >= 0 && length != uint32_t(want))) return SagRead::Invalid;
    s.data = at + kRecordHeader;
    if (length > b.left(s.data)) return SagRead::Cut;
    s.next = s.data + length;
    return SagRead::Ok;
}

bool IsSagHeader(Bytes b) noexcept {
    return b.matches(0, kSagSignature) && b.matches(kSagFirstRecord - 2, "\r\n");
}

}  // namespace qm::gdi

namespace qm::accurate {

int32_t AccurateRicohGDI(Bytes job, Result& out) {
    char pjl[32], ejl[32];
    const uint32_t body = Unwrap(job, pjl, ejl).body;
    const Bytes b(job.data + body, job.left(body));
    if (!gdi::IsSagHeader(b)) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0, copies = 0, pageCopies = 0;
    uint64_t printed = 0;
    bool mixed = false, inPage = false, started = false, ended = false;
    Page page{QM_PAGE_MONO, QM_SIDE_NONE, 0, 0};
    gdi::SagStep s;
    for (uint32_t at = gdi::kSagFirstRecord; !ended;) {
        const gdi::SagRead r = gdi::ReadSagRecord(b, at, s);
        if (r == gdi::SagRead::Cut) break;
        if (r == gdi::SagRead::Invalid) return QM_E_NOT_UNDERSTOOD;
        switch (static_cast<gdi::SagRecord>(s.type)) {
            case gdi::SagRecord::StartDoc:
                if (started) return QM_E_NOT_UNDERSTOOD;
                started = true;
                break;
            case gdi::SagRecord::StartPage: {
                if (!started || inPage) return QM_E_NOT_UNDERSTOOD;
                inPage = true;
                pageCopies = std::max<uint32_t>(b[s.data + gdi::kCopiesAt], 1);
                const uint8_t index = b[s.data + gdi::kPaperAt];
                page.paperWidth = page.paperLength = 0;
                for (const gdi::SagPaper& p : gdi::kPapers) {
                    if (p.index == index) page.paperWidth = p.width, page.paperLength = p.length;
                }
                break;
            }
            case gdi::SagRecord::Block:
                if (!inPage) return QM_E_NOT_UNDERSTOOD;
                break;
            case gdi::SagRecord::EndPage:
                if (!inPage) return QM_E_NOT_UNDERSTOOD;
                inPage = false;
                ++pages;
                printed += pageCopies;
                mixed = mixed || (copies != 0 && copies != pageCopies);
                copies = pageCopies;
                out.pages.Add(page);
                if (pages == 1) out.rec.paperWidth = page.paperWidth, out.rec.paperLength = page.paperLength;
                break;
            case gdi::SagRecord::EndDoc:
                if (inPage) return QM_E_NOT_UNDERSTOOD;
                ended = true;
                break;
        }
        at = s.next;
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    if (mixed) {
        // Pages of different copies: each sheet as printed, one copy. The
        // log is of one copy's pages, so it gives way to the record.
        out.pages.Clear();
        out.rec.pages = static_cast<uint32_t>(std::min<uint64_t>(printed, UINT32_MAX));
        out.rec.copies = 1;
    } else {
        out.rec.pages = pages;
        out.rec.copies = copies;
    }
    out.estimated = !ended;
    return QM_OK;
}

}  // namespace qm::accurate
