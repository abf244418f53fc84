// The QPDL counter jumps between the bytes that may start a header, record,
// PJL line or comment; it must count and report what a walk over every byte
// does.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "jobfile/diag.h"
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

// The lines are written without the general formatter: they must read as
// the format would write them, also for indexes of many digits.
TEST(QpdlReference, LinesReadAsTheFormatWritesThem) {
    std::string job(0xABCDF0, 'x');
    const uint32_t places[] = {0, 9, 0x10, 0xFF, 0x1000, 0xABCDE, 0xABCDEF};
    const char* events[] = {"@", ")", "\x1b"};
    std::vector<std::string> want;
    for (size_t k = 0; k < std::size(places); ++k) {
        job[places[k]] = events[k % 3][0];
        const char* fmt = k % 3 == 0 ? "Samsung!GetTotalPageCount_QPDL: PJL command! %X %X\n"
                          : k % 3 == 1 ? "Samsung!GetTotalPageCount_QPDL: PJL comment! %X %X\n"
                                       : "Samsung!GetTotalPageCount_QPDL: ESC command! %X %X\n";
        char line[256];
        qm::FormatDiagf(line, sizeof line, fmt, static_cast<unsigned char>(events[k % 3][0]), places[k]);
        want.emplace_back(line);
    }
    // A ")" skips to the next line feed: give it one right away.
    job[places[1] + 1] = '\n';
    job[places[4] + 1] = '\n';
    const qmtest::ScanOutcome o = qmtest::RunScan(qm::FindCounter("QPDL")->scan, true, job);
    EXPECT_EQ(o.lines, want);
}

}  // namespace
