#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanHIPERCEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

// 00 00 00 34, nine bytes, then the page kind 03 at offset 13.
std::string PageRecord(char kind = '\x03') { return std::string("\0\0\0\x34", 4) + std::string(9, 'r') + kind; }

struct HipercCase {
    const char* name;
    std::string job;
    Want want;
    std::vector<std::string> lines;
};

TEST(Hiperc, ReadsPjlSettingsAndCountsPageRecords) {
    const std::string mono = "sheetler.dll!GetTotalPageCount: ";
    const HipercCase cases[] = {
        {"quantity wins over fewer copies", "@PJL SET QTY=3\n@PJL SET COPIES=2\n", {0, 3, 1},
         {mono + "0 found QTY command 3!\n", mono + "F found COPIES command 2!\n"}},
        {"more copies win", "@PJL SET QTY=1\n@PJL SET COPIES=4\n", {0, 4, 1},
         {mono + "0 found QTY command 1!\n", mono + "F found COPIES command 4!\n"}},
        {"copies compare unsigned", "@PJL SET QTY=2\n@PJL SET COPIES=-1\n", {0, 0xFFFFFFFF, 1},
         {mono + "0 found QTY command 2!\n", mono + "F found COPIES command -1!\n"}},
        {"A4 in single precision", "@PJL SET PAPER=A4\r\n", {0, 0, 1, 0, double(8.27f), double(11.69f)}, {}},
        {"FASTMONO is monochrome", "@PJL SET OKIMONOPRINTSPEED = FASTMONO\n", {0, 0},
         {"plathorn.dll!GetTotalPageCount_HIPERC: 1D Color print!\n"}},
        {"duplex on", "@PJL SET DUPLEX=ON\n", {0, 0, 1, 1}, {}},
        {"other page kind", PageRecord('\x04') + PageRecord('\x00'), {0, 0, 1}, {}},
        {"page kind past the end", PageRecord().substr(0, 13), {0, 0, 1}, {}},
        {"record four bytes into a counted one is passed over",
         std::string("\0\0\0\x34\0\0\0\x34rrrrr\x03rrr\x03", 18), {1, 0, 1}, {}},
        {"leading NULs are data", std::string(3, '\0') + PageRecord(), {1, 0, 1}, {}},
        {"page record inside a PJL line", "@PJL COMMENT " + PageRecord() + "\n" + PageRecord(), {1, 0, 1}, {}},
        {"settings after the pages", PageRecord() + "@PJL SET COPIES=2\n" + PageRecord(), {2, 2, 1},
         {mono + "E found COPIES command 2!\n"}},
    };
    for (const HipercCase& c : cases) {
        ExpectRecord("HIPERC", c.name, c.job, c.want);
        ExpectLines("HIPERC", c.name, c.job, c.lines);
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
