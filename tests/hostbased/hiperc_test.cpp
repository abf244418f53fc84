#include "casefile.h"
#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanHIPERCEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

// PJL settings (with the lines each sends) and page records whose kind byte is 03.
TEST(Hiperc, ReadsPjlSettingsAndCountsPageRecords) {
    for (const CaseRow& r : ReadCases("hostbased/cases/hiperc_pjl.tsv")) {
        ExpectRecord("HIPERC", r.name().c_str(), r.bytes("job"), WantOf(r));
        ExpectLines("HIPERC", r.name().c_str(), r.bytes("job"), LinesOf(r));
    }
}

// The counter jumps between "00 34" record tails and "@P" openings; it must
// count and report what trying every index does.
TEST(HipercReference, CountsWhatTryingEveryIndexCounts) {
    ExpectSameOnCorpusAndRandom(
        "HIPERC", qm::ScanHIPERCEveryByte,
        {Bin({0x00, 0x00, 0x00, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03}), Bin({0x00, 0x00, 0x00, 0x34}),
         Bin({0x00, 0x34}), Bin({0x00}), "4", "@", "@P", "@PJL SET QTY=3\n", "@PJL SET COPIES=2\n",
         "@PJL SET PAPER=A4\n", "@PJL SET OKIMONOPRINTSPEED=FAST\n", "@PJL SET DUPLEX=ON\n", "@PJL\n", "\n"});
}

}  // namespace
