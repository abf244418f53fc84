// The QPDL counter jumps between the bytes that may start a header, record,
// PJL line or comment; it must count and report what a walk over every byte
// does.
#include <gtest/gtest.h>

#include <string>

#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanQPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

namespace {

TEST(QpdlReference, CountsWhatAWalkOverEveryByteCounts) {
    const std::string header = qmtest::Bin({0x00, 0x06, 0x00, 0x02, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C});
    const std::string record = qmtest::Bin({0x0C, 0x00, 0x13, 0x60, 0, 0, 0, 0, 0, 0x00, 0x04, 0, 0});
    qmtest::ExpectSameOnCorpusAndRandom(
        "QPDL", qm::ScanQPDLEveryByte,
        {header, record, std::string(1, '\0'), "\x0c", "@PJL SET COLORMODE = COLOR\n", "@PJL\n", "@", ")", "\n",
         "\x1b", qmtest::Bin({0x0C, 0x00, 0xEF, 0xCD, 0, 0, 0, 0, 0, 0, 0x00, 0x02})});
}

}  // namespace
