// The HIPERC counter jumps between "00 34" record tails and "@P" openings;
// it must count and report what trying every index does.
#include <gtest/gtest.h>

#include <string>

#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanHIPERCEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

namespace {

TEST(HipercReference, CountsWhatTryingEveryIndexCounts) {
    using qmtest::Bin;
    qmtest::ExpectSameOnCorpusAndRandom(
        "HIPERC", qm::ScanHIPERCEveryByte,
        {Bin({0x00, 0x00, 0x00, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03}), Bin({0x00, 0x00, 0x00, 0x34}),
         Bin({0x00, 0x34}), Bin({0x00}), "4", "@", "@P", "@PJL SET QTY=3\n", "@PJL SET COPIES=2\n",
         "@PJL SET PAPER=A4\n", "@PJL SET OKIMONOPRINTSPEED=FAST\n", "@PJL SET DUPLEX=ON\n", "@PJL\n", "\n"});
}

}  // namespace
