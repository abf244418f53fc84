// HIPERC jobs: a PJL header with the job settings, then raster records. Each
// page record opens with 00 00 00 34 and carries 03 thirteen bytes on. Jobs
// are colour unless the monochrome-speed setting asks for FASTMONO.
#include <algorithm>

#include "api/scanners.h"
#include "pcl/leadbytes.h"
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

// A page record's last two bytes, 00 34 (runs of NUL bytes and 0x34 alone
// are common in raster data), and the "@P" that every PJL key opens with.
constexpr LeadSet<0, 1> kRecordTail{{}, {Pair(0x00, "\x34")}};
constexpr LeadSet<0, 1> kPjlOpening{{}, {Pair('@', "P")}};

// The first index at or after `from` that may start a page record: its 00 34
// lies at or after from + 2. The size when there is none.
uint32_t NextPageCandidate(const Bytes& job, uint32_t from) {
    const uint64_t tail = uint64_t{from} + 2;
    if (tail >= job.size) return job.size;
    const uint32_t p = FindLead(job, static_cast<uint32_t>(tail), kRecordTail);
    return p < job.size ? p - 2 : job.size;
}

uint32_t NextPjl(const Bytes& job, uint32_t from) { return FindLead(job, from, kPjlOpening); }

// Only PJL lines and page records start anything: jump between them.
// candidate(job, i) and pjl(job, i) give the next index at or after i that
// may start one.
template <class Candidate, class Pjl>
int32_t ScanHipercWith(Bytes job, PageCountResult& rec, Candidate candidate, Pjl pjlAt) {
    uint32_t pages = 0;
    PjlAttributes pjl;
    uint32_t nextRecord = candidate(job, 0);
    uint32_t nextAt = pjlAt(job, 0);
    uint32_t i = 0;
    for (;;) {
        if (nextRecord < i) nextRecord = candidate(job, i);
        if (nextAt < i) nextAt = pjlAt(job, i);
        i = std::min(nextRecord, nextAt);
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

}  // namespace

int32_t ScanHIPERC(Bytes job, uint32_t, PageCountResult& rec) {
    return ScanHipercWith(job, rec, NextPageCandidate, NextPjl);
}

// Every index tried as a record and as an "@", as the searches must agree with.
int32_t ScanHIPERCEveryByte(Bytes job, uint32_t, PageCountResult& rec) {
    const auto every = [](const Bytes&, uint32_t from) { return from; };
    return ScanHipercWith(job, rec, every, every);
}

}  // namespace qm
