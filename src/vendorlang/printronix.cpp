// Printronix graphics: pages are 0xD4 0xEF 0xF2 markers. While the copies
// read so far stay below 2, the copies field after a marker is read: a
// prefix ending in 0x91, digits stored exclusive-or 0xAA, then 0xA7.
#include "api/scanners.h"

namespace qm {
namespace {

constexpr uint8_t kPageMarker[] = {0xD4, 0xEF, 0xF2};
constexpr uint8_t kPrefixEnd = 0x91;
constexpr uint8_t kTerminator = 0xA7;
constexpr uint8_t kDigitMask = 0xAA;
constexpr uint32_t kPrefixEndOffset = 16;  // from the marker's first byte

// Reads the copies field of the marker at p into `copies`; returns the index
// of its terminator, or the end of the data when it has none.
uint32_t ReadCopiesField(const Bytes& job, uint32_t p, uint32_t& copies) {
    uint32_t i = SkipBy(job, p, kPrefixEndOffset + 1);
    if (job.at(p + kPrefixEndOffset) != kPrefixEnd) {
        // Pass over the rest of the prefix up to and including its 0x91,
        // unless the terminator comes first.
        while (i < job.size && job[i] != kPrefixEnd && job[i] != kTerminator) ++i;
        if (i < job.size && job[i] == kPrefixEnd) ++i;
    }
    copies = 0;
    for (; i < job.size && job[i] != kTerminator; ++i) copies = copies * 10u + ((job[i] ^ kDigitMask) - 0x30u);
    return i;
}

}  // namespace

int32_t ScanPrintronixGL(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0, copies = 1;
    for (uint32_t i = job.find(start, kPageMarker[0]); i < job.size; i = job.find(i + 1, kPageMarker[0])) {
        if (!job.matches(i, kPageMarker, sizeof kPageMarker)) continue;
        ++pages;
        if (copies < 2) {
            i = ReadCopiesField(job, i, copies);
            if (i >= job.size) break;
        }
    }
    rec.pages = pages;
    rec.copies = copies;
    return QM_OK;
}

}  // namespace qm
