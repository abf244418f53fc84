// HIPERC jobs: a PJL header with the job settings, then raster records. Each
// page record opens with 00 00 00 34 and carries 03 thirteen bytes on. Jobs
// are colour unless the monochrome-speed setting asks for FASTMONO.
#include "api/scanners.h"
#include "pcl/pjl.h"

namespace qm {
namespace {

constexpr uint8_t kPageRecord[] = {0x00, 0x00, 0x00, 0x34};
constexpr uint32_t kPageKindAt = 13;
constexpr uint8_t kPageKind = 0x03;
constexpr uint32_t kPageRecordStep = 4;

constexpr const char* kMonochromeLine = "plathorn.dll!GetTotalPageCount_HIPERC: %X Color print!\n";

constexpr PjlKey kHipercKeys[] = {
    kPjlQty,
    kPjlCopies,
    kPjlPaper,
    {"@PJL SET OKIMONOPRINTSPEED", 19, PjlAction::ValueTest, PjlFlag::None, 0,
     {{"FAST", PjlFlag::Monochrome, kMonochromeLine}}},
    kPjlDuplexOn,
    kPjlOther,
};

// Rounds to single precision and widens back. The float is volatile because
// g++ 12 at -O2 merges two such round trips into plain double copies.
double SinglePrecision(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

bool IsPageRecord(const Bytes& job, uint32_t i) {
    return job.matches(i, kPageRecord, sizeof kPageRecord) && job.has(i, kPageKindAt + 1) &&
           job[i + kPageKindAt] == kPageKind;
}

// The first index at or after `from` whose fourth byte is the record's 0x34,
// or the size when there is none.
uint32_t NextPageCandidate(const Bytes& job, uint32_t from) {
    const uint64_t lead = uint64_t{from} + 3;
    if (lead >= job.size) return job.size;
    const uint32_t p = job.find(static_cast<uint32_t>(lead), kPageRecord[3]);
    return p < job.size ? p - 3 : job.size;
}

}  // namespace

int32_t ScanHIPERC(Bytes job, uint32_t, PageCountResult& rec) {
    uint32_t pages = 0;
    PjlAttributes pjl;
    // Only "@" bytes and page records start anything: jump between them. A
    // page record is found by its 0x34, the rarest of its four lead bytes
    // in raster data (runs of NUL bytes are common).
    uint32_t nextRecord = NextPageCandidate(job, 0);
    uint32_t nextAt = job.find(0, '@');
    uint32_t i = 0;
    for (;;) {
        if (nextRecord < i) nextRecord = NextPageCandidate(job, i);
        if (nextAt < i) nextAt = job.find(i, '@');
        i = nextRecord < nextAt ? nextRecord : nextAt;
        if (i >= job.size) break;
        if (i == nextRecord && IsPageRecord(job, i)) {
            ++pages;
            i += kPageRecordStep;
        } else if (job[i] == '@') {
            MatchPjl(job, i, kHipercKeys, pjl);
        }
        ++i;
    }

    uint32_t copies = pjl.quantity != 0 ? static_cast<uint32_t>(pjl.quantity) : 0;
    if (static_cast<uint32_t>(pjl.copies) > copies) copies = static_cast<uint32_t>(pjl.copies);
    rec.pages = pages;
    rec.copies = copies;
    rec.color = pjl.monochrome ? 0 : 1;
    rec.duplex = pjl.duplex ? 1 : 0;
    // Kept in single precision, as the printer's paper settings are.
    rec.paperLength = SinglePrecision(pjl.paperLength);
    rec.paperWidth = SinglePrecision(pjl.paperWidth);
    return QM_OK;
}

}  // namespace qm
