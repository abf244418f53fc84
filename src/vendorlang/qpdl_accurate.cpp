// QPDL jobs as foo2qpdl and splix write them: a PJL header, then per page a
// 17-byte page header (copies, paper code, page size at 300 dpi, duplex),
// band records that state their length, and a 3-byte page end. The walk steps
// from record to record and never looks inside a band, so band data cannot
// pose as a record. Colour comes from the planes the bands belong to.
#include "pcl/pjl.h"
#include "vendorlang/vendor_accurate.h"

namespace qm::accurate {
namespace {

enum QpdlRecord : uint8_t {
    kPageHeader = 0x00,
    kPageEnd = 0x01,
    kBand = 0x0C,
    kPageExtra = 0x13,  // after the page header, on some models
    kBandHeader = 0x14,
    kDocumentEnd = 0x09,
};

constexpr uint32_t kPageHeaderSize = 17;
constexpr uint32_t kHeaderCopies = 2, kHeaderPaper = 4, kHeaderWidth = 5, kHeaderLength = 7;
constexpr uint32_t kHeaderDuplex = 11, kHeaderManualDuplex = 12;
constexpr double kHeaderDotsPerInch = 300.0;

constexpr uint32_t kBandFixed = 12;  // 0x0C, stripe, width, height, plane, compression, length
constexpr uint32_t kBandPlane = 6;
constexpr uint32_t kBandLength = 8;  // big-endian count of the bytes after the fixed part
constexpr uint8_t kBlackPlane = 4;   // 1, 2, 3 are cyan, magenta, yellow

constexpr uint32_t kPageEndSize = 3;
constexpr uint32_t kPageExtraSize = 15;
constexpr uint32_t kBandHeaderSize = 25;   // 0x14, 20 bytes of image header, 4 more
constexpr uint32_t kBandHeaderEndSize = 8; // 0x14 0x10 and six bytes: the colour page's closing record

struct QpdlPaper {
    uint8_t code;
    double width, length;
};
constexpr QpdlPaper kPapers[] = {
    {0, 8.5, 11.0},    {1, 8.5, 14.0},    {2, 8.27, 11.69}, {3, 7.25, 10.5},  {5, 11.69, 16.54}, {6, 4.125, 9.5},
    {7, 3.875, 7.5},   {8, 6.38, 9.02},   {9, 4.33, 8.66},  {11, 7.17, 10.12}, {12, 6.93, 9.84},
    {16, 5.83, 8.27},  {17, 4.13, 5.83},  {23, 4.49, 6.38}, {24, 8.27, 13.0},
};

// The paper a page header names: its code, or for a code of no table row
// the page size it states.
void PaperOf(const Bytes& job, uint32_t at, double& width, double& length) {
    const uint8_t code = job[at + kHeaderPaper];
    for (const QpdlPaper& p : kPapers) {
        if (p.code == code) {
            width = p.width;
            length = p.length;
            return;
        }
    }
    width = job.be16(at + kHeaderWidth) / kHeaderDotsPerInch;
    length = job.be16(at + kHeaderLength) / kHeaderDotsPerInch;
}

}  // namespace

int32_t CountQpdl(Bytes job, Result& out) {
    PjlSettings pjl;
    const uint32_t body = ReadPjlHeader(job, 0, pjl);
    if (!pjl.entered) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0, copies = 0;
    bool duplex = pjl.duplex == PjlDuplex::On, pageColour = false, broken = false;
    bool inPage = false, paperKnown = false;
    double width = 0.0, length = 0.0, pageWidth = 0.0, pageLength = 0.0;
    uint32_t at = body;
    while (at < job.size && !job.matches(at, "\x1b%-12345X")) {  // the UEL closes the records
        uint64_t step = 0;
        switch (job[at]) {
            case kPageHeader:
                if (!job.has(at, kPageHeaderSize)) break;
                inPage = true;
                pageColour = false;
                if (copies == 0) copies = job.be16(at + kHeaderCopies);
                // Where PJL states the sides it decides: splix marks one-sided
                // pages with the duplex byte too (and says DUPLEX=OFF).
                if (pjl.duplex == PjlDuplex::Unstated &&
                    (job[at + kHeaderDuplex] != 0 || job[at + kHeaderManualDuplex] != 0))
                    duplex = true;
                PaperOf(job, at, pageWidth, pageLength);
                if (!paperKnown) {  // the job's paper: its first page's
                    paperKnown = true;
                    width = pageWidth;
                    length = pageLength;
                }
                step = kPageHeaderSize;
                break;
            case kBand: {
                // Colour printers' bands name their plane (1 to 4) before the
                // compression code; splix leaves it out for monochrome
                // printers, whose bands are a byte shorter.
                if (!inPage || !job.has(at, kBandFixed - 1)) break;
                const uint8_t plane = job[at + kBandPlane];
                const bool named = plane >= 1 && plane <= kBlackPlane;
                if (named && plane < kBlackPlane) pageColour = true;
                const uint32_t length = named ? kBandLength : kBandLength - 1;
                if (!job.has(at + length, 4)) break;
                step = uint64_t{length} + 4 + job.be32(at + length);
                break;
            }
            case kPageEnd:
                if (!inPage) break;
                ++pages;
                LogPage(out, pageColour, pageWidth, pageLength);
                inPage = false;
                step = kPageEndSize;
                break;
            case kDocumentEnd:
                step = 1;
                break;
            case kPageExtra:
                step = kPageExtraSize;
                break;
            case kBandHeader:
                step = job.at(at + 1) == 0x10 ? kBandHeaderEndSize : kBandHeaderSize;
                break;
            default:
                break;
        }
        if (step == 0 || step > job.left(at)) {
            broken = true;
            break;
        }
        at += static_cast<uint32_t>(step);
    }
    // Jobs of other QPDL writers (monochrome models whose bands are framed
    // otherwise) do not parse as these records: their export's record, with
    // the duplex of the PJL header, or marked unknown when it states none.
    if (pages == 0) {
        if (!broken) return QM_E_NOT_UNDERSTOOD;
        const int32_t code = PassMarked("QPDL", job, out, pjl.duplex == PjlDuplex::Unstated ? QM_FIELD_DUPLEX : 0);
        out.rec.duplex = pjl.duplex == PjlDuplex::On;
        out.estimated = true;
        return code;
    }
    out.rec.pages = pages;
    out.rec.copies = copies != 0 ? copies : pjl.Copies();
    out.rec.duplex = duplex;
    out.rec.paperWidth = width;
    out.rec.paperLength = length;
    out.estimated = broken;
    return QM_OK;
}

}  // namespace qm::accurate
