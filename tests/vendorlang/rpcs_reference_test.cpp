// The RPCS counter stops only at "%" NUL and "@P"; it must count and report
// what a look at every byte does.
#include <gtest/gtest.h>

#include <string>

#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanRPCSEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

namespace {

TEST(RpcsReference, CountsWhatALookAtEveryByteCounts) {
    qmtest::ExpectSameOnCorpusAndRandom(
        "RPCS", qm::ScanRPCSEveryByte,
        {qmtest::Bin({'%', 0, 0, 0, 0, '#'}), qmtest::Bin({'%', 0, 3, '#'}), qmtest::Bin({'%', 0}), "%", "@", "@P",
         "@PJL SET COPIES=3\n", "@PJL SET DUPLEX = ON\n", "@PJL SET PAPER = A4\r\n", "@PJL SET DATAMODE=COLOR\n",
         "@PJL\n", "\n", " ", "="});
}

}  // namespace
