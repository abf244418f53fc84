#include "casefile.h"
#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanRPCSEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

TEST(RpcsPages, RecognisesBothPatternsAwayFromTheEnd) {
    ExpectRecordCases("RPCS", "vendorlang/cases/rpcs_pages.tsv");
    ExpectRecord("RPCS", "NULs only, through the file", std::string(64, '\0'), {0, 0}, true);
}

TEST(RpcsPjl, ReadsItsOwnCommands) {
    ExpectRecordCases("RPCS", "vendorlang/cases/rpcs_pjl.tsv");
}

TEST(RpcsPjl, SendsOneLinePerCommandTaken) {
    ExpectLines("RPCS", "every command",
                "@PJL SET COPIES=3\r\n@PJL SET DUPLEX=ON\n@PJL SET PAPER A4\r\n"
                "@PJL SET DATAMODE=COLOR\n@PJL SET DUPLEX=OFF\n@PJL SET PAPER \n",
                {"sheetler.dll!GetTotalPageCount_RPCS: 10 found COPIES command 3!\n",
                 "sheetler.dll!GetTotalPageCount_RPCS: 23 Duplex print!\n",
                 "sheetler.dll!GetTotalPageCount_RPCS: 35 PaperType A4!\n",
                 "sheetler.dll!GetTotalPageCount_RPCS: 4B Color print!\n",
                 "sheetler.dll!GetTotalPageCount_RPCS: 74 PaperType !\n"});
}

// The counter stops only at "%" NUL and "@P"; it must count and report what
// a look at every byte does.
TEST(RpcsReference, CountsWhatALookAtEveryByteCounts) {
    ExpectSameOnCorpusAndRandom(
        "RPCS", qm::ScanRPCSEveryByte,
        {Bin({'%', 0, 0, 0, 0, '#'}), Bin({'%', 0, 3, '#'}), Bin({'%', 0}), "%", "@", "@P", "@PJL SET COPIES=3\n",
         "@PJL SET DUPLEX = ON\n", "@PJL SET PAPER = A4\r\n", "@PJL SET DATAMODE=COLOR\n", "@PJL\n", "\n", " ", "="});
}

}  // namespace
