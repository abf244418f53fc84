#include "casefile.h"
#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanIPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

TEST(Ipdl, MarkersPaperHeadersAndFixedHeaderOffsets) {
    ExpectRecordCases("IPDL", "vendorlang/cases/ipdl_pages.tsv");
    ExpectRecord("IPDL", "NULs only, through the file", std::string(64, '\0'), {0, 0}, true);
}

// The counter stops only at 0F "A" and 01 "A"; it must count what a look at
// every byte counts.
TEST(IpdlReference, CountsWhatALookAtEveryByteCounts) {
    ExpectSameOnCorpusAndRandom(
        "IPDL", qm::ScanIPDLEveryByte,
        {Bin({0x0F, 'A', 'U'}), Bin({0x0F, 'A'}), Bin({0x0F}), Bin({0x01}), Bin({0x01, 'A', 0x00}),
         Bin({0x01, 'A', 0x00, 0x00, 0x00, 0x00, 0x02, '@', 0x00, 0x03, 0x13, 0x00, 0x1A, 0x00}), "A", "U"});
}

}  // namespace
