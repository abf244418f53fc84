#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanRPCSEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

const std::string kPageA = Lit("%\0\0\0\x7F#");  // "%", three NULs, any byte, "#"
const std::string kPageB = Lit("%\0\x03#");

TEST(RpcsPages, RecognisesBothPatternsAwayFromTheEnd) {
    const Case cases[] = {
        {"both, twice", kPageA + kPageB + kPageA + kPageB + "......", {4, 0}},
        {"five NULs are no page", Lit("%\0\0\0\0\0......"), {0, 0}},
        {"first pattern ending the file", kPageA, {1, 0}},
        {"second pattern within the last five bytes", kPageB + "x", {0, 0}},
        {"leading NULs are data", Lit("\0\0\0") + kPageB + "......", {1, 0}},
        {"a PJL line hides a pattern", "@PJL COMMENT " + kPageB + "xx\n" + kPageA, {1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("RPCS", c);
    ExpectRecord("RPCS", "NULs only, through the file", std::string(64, '\0'), {0, 0}, true);
}

TEST(RpcsPjl, ReadsItsOwnCommands) {
    const Case cases[] = {
        {"copies with blanks and equals", "@PJL SET COPIES = 3\r\n" + kPageB + "xx", {1, 3}},
        {"copies with no line feed", "@PJL SET COPIES=3", {0, 0}},
        {"copies of 31 bytes", "@PJL SET COPIES=" + std::string(30, '0') + "4\n", {0, 4}},
        {"copies of 32 bytes", "@PJL SET COPIES=" + std::string(31, '0') + "4\n", {0, 0}},
        {"paper A4, CR LF", "@PJL SET PAPER = A4\r\n", {0, 0, 0, 0, 8.27, 11.69}},
        {"paper A4, LF alone", "@PJL SET PAPER = A4\n", {0, 0}},
        {"paper without its blank", "@PJL SET PAPER=A4\r\n", {0, 0}},
        {"paper, later wins", "@PJL SET PAPER A4\r\n@PJL SET PAPER LEDGER\r\n", {0, 0, 0, 0, 17.0, 11.0}},
        {"eleven letters", "@PJL SET PAPER HALFLETTERS\r\n", {0, 0}},
        {"empty value clears", "@PJL SET PAPER A4\r\n@PJL SET PAPER \n", {0, 0}},
        {"duplex on", "@PJL SET DUPLEX=ON\n", {0, 0, 0, 1}},
        {"duplex on at the end", "@PJL SET DUPLEX = ON", {0, 0, 0, 1}},
        {"duplex off", "@PJL SET DUPLEX=OFF\n", {0, 0}},
        {"colour", "@PJL SET DATAMODE=COLOR\n", {0, 0, 1}},
        {"COL is not colour", "@PJL SET DATAMODE=COL\n", {0, 0}},
        {"lower case is any PJL line", "@PJL set copies=3\n@pjl SET DUPLEX=ON\n", {0, 0}},
        // atoi's sign: "-2" wraps, "+3" is three.
        {"negative copies", "@PJL SET COPIES=-2\n", {0, 0xFFFFFFFEu}},
        {"signed copies", "@PJL SET COPIES=+3\n", {0, 3}},
        // A value taken is stepped over whole: a page mark inside it is text,
        // and an over-long value does not end the scan.
        {"copies value holds a mark", "@PJL SET COPIES=2 " + kPageB + "\n......", {0, 2}},
        {"duplex value holds a mark", "@PJL SET DUPLEX=ON " + kPageB + "\n......", {0, 0, 0, 1}},
        {"paper value holds a mark", "@PJL SET PAPER A4 " + kPageB + "\n......", {0, 0}},
        {"data mode value holds a mark", "@PJL SET DATAMODE=COLOR " + kPageB + "\n......", {0, 0, 1}},
        {"long copies value, page after it", "@PJL SET COPIES=" + std::string(30, '0') + "4\n" + kPageA, {1, 4}},
    };
    for (const Case& c : cases) ExpectRecord("RPCS", c);
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
