// Canon IPDL: copies and colour sit at fixed offsets of the job header; pages
// are 0x0F "A" "U" markers; the last paper header gives the size.
#include "api/scanners.h"
#include "pcl/leadbytes.h"

namespace qm {
namespace {

constexpr uint32_t kCopiesOffset = 19;
constexpr uint32_t kColourOffset = 59;
constexpr uint8_t kColourJob = 0x0F;

constexpr uint8_t kPageMarker[] = {0x0F, 'A', 'U'};

// Paper header: 0x01 "A" 0x00, one free byte, 0x00 0x00 0x02 "@" 0x00 0x03,
// then width and length as big-endian 16-bit values.
constexpr uint8_t kPaperHead[] = {0x01, 'A', 0x00};
constexpr uint8_t kPaperTail[] = {0x00, 0x00, 0x02, '@', 0x00, 0x03};
constexpr uint32_t kPaperTailOffset = 4, kPaperWidth = 10, kPaperLength = 12, kPaperHeaderSize = 14;

double PaperInches(uint16_t value) { return (value + 422) / 614.0; }

// Both a page marker and a paper header have "A" after their first byte.
constexpr LeadSet<0, 2> kIpdlStarts{{}, {Pair(kPageMarker[0], "A"), Pair(kPaperHead[0], "A")}};

// nextLead(job, i) gives the next byte at or after i that may start something.
template <class NextLead>
int32_t ScanIpdlWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    uint32_t pages = 0;
    double width = 0.0, length = 0.0;

    for (uint32_t i = nextLead(job, start); i < job.size; i = nextLead(job, i + 1)) {
        if (job.matches(i, kPageMarker, sizeof kPageMarker)) {
            ++pages;
            // The byte right after the "U" is not looked at.
            i = SkipBy(job, i, sizeof kPageMarker);
            if (i >= job.size) break;
        } else if (job.has(i, kPaperHeaderSize) && job.matches(i, kPaperHead, sizeof kPaperHead) &&
                   job.matches(i + kPaperTailOffset, kPaperTail, sizeof kPaperTail)) {
            width = PaperInches(job.be16(i + kPaperWidth));
            length = PaperInches(job.be16(i + kPaperLength));
        }
    }

    // Header bytes past the end of a short file read as 0.
    const int copies = job.at(kCopiesOffset);
    rec.pages = pages;
    rec.copies = copies < 0 ? 0u : static_cast<uint32_t>(copies);
    rec.color = job.at(kColourOffset) == kColourJob ? 1 : 0;
    rec.paperWidth = width;
    rec.paperLength = length;
    return QM_OK;
}

}  // namespace

int32_t ScanIPDL(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanIpdlWith(job, start, rec, [](const Bytes& j, uint32_t from) { return FindLead(j, from, kIpdlStarts); });
}

// Every byte looked at, as the lead search must agree with.
int32_t ScanIPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanIpdlWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
