#include "accurate/accurate.h"
#include "casefile.h"

using namespace qmtest;

namespace {

const std::string E = "\x1B";
const std::string FF = "\x0C";
const std::string UEL = E + "%-12345X";

// ESC <seq> followed by `n` bytes of data.
std::string Data(const std::string& seq, const std::string& data) { return E + seq + data; }

TEST(PclPages, PreferenceOrder) { ExpectRecordCases("PCL", "pcl/cases/pages.tsv"); }

TEST(PclPages, PayloadIsSkipped) {
    const std::string ff3 = FF + FF + FF;
    const Case cases[] = {
        {"raster row", Data("*b3W", ff3) + FF, {1, 1}},
        {"raster plane", Data("*b3V", ff3) + FF, {1, 1}},
        {"combined compression and row", Data("*b2m3W", ff3) + FF, {1, 1}},
        {"compression 0 passes over the byte after it", Data("*b0M", FF) + FF, {1, 1}},
        {"font header", Data(")s3W", ff3) + FF, {1, 1}},
        {"character download", Data("(s3W", ff3) + FF, {1, 1}},
        {"font control", Data("(f3W", ff3) + FF, {1, 1}},
        {"palette with an FF", Data("*v3W", std::string("\x00\x01\x0C", 3)) + FF, {1, 1}},
        {"configure image", Data("*c3W", ff3) + FF, {1, 1}},
        {"configure raster", Data("*g3W", ff3) + FF, {1, 1}},
        {"driver config", Data("*o3W", ff3) + FF, {1, 1}},
        {"macro ids", Data("&n3W", ff3) + FF, {1, 1}},
        {"&b data", Data("&b3W", ff3) + FF, {1, 1}},
        {"HP-GL/2 passage", E + "%1B" + "PG;" + ff3 + E + "%1A" + FF, {1, 1}},
        {"HP-GL/2 passage without return", E + "%0B" + "PG;" + ff3, {0, 1}},
        {"HP-GL/2 entered again inside the passage", E + "%1B" + "PG;" + E + "%0B" + ff3 + E + "%1A" + FF, {1, 1}},
        {"raster block", E + "*r1A" + ff3 + E + "*rC" + FF, {1, 1}},
        {"raster block never ended", E + "*r1A" + ff3, {0, 1}},
        {"text after a vertical move", E + "&a10V" + "text)" + FF + "x", {1, 1}},
        {"transparent data up to an ESC", E + "&p3X" + "a\x0C" + E + "E" + FF, {1, 1}},
        {"text after a cursor move", E + "*p10x20Y" + "ab" + FF + "c" + FF, {2, 1}},
        {"cursor move, 0x80 takes the next byte", E + "*p10Y" + "\x80\x0C" + "b" + FF, {1, 1}},
        {"0x80 does not take an ESC", E + "*p10Y" + "\x80" + E + "&l2X" + FF, {1, 2}},
        {"comment line", ")" + ff3 + "\n" + FF, {1, 1}},
        {"comment up to an ESC, ESC passed over", ")" + FF + E + "&l2X" + FF, {1, 1}},
        {"command block at the start", "!R! SETCOPIES 5; " + ff3 + " EXIT;" + FF, {1, 1}},
        {"command block in the middle", "x!r!" + ff3 + "exit;" + FF, {1, 1}},
        {"command block without EXIT", "!R!" + ff3, {3, 1}},
        {"command block whose ; is the last byte", "!R!" + FF + "EXIT;", {1, 1}},
        {"block behind CD CA 10", "\xCD\xCA\x10" + std::string(6, 'x') + "\x02" + std::string(11, '\x0C') + "yy" + FF, {1, 1}},
        {"CD CA 10 too near the end", "\xCD\xCA\x10" + ff3, {3, 1}},
        {"data length past the end", Data("*b999W", ff3), {0, 1}},
    };
    for (const Case& c : cases) ExpectRecord("PCL", c);
}

TEST(PclAttributes, CopiesColourDuplexPaper) {
    const std::string pad(40, '\n');
    const Case cases[] = {
        {"copies default", FF, {1, 1}},
        {"PJL QTY beats ESC & l 2 X", "@PJL SET QTY=5\n" + E + "&l2X" + FF + pad, {1, 5}},
        {"largest of three", "@PJL SET QTY=2\n@PJL SET COPIES=3\n" + E + "&l1X" + FF + pad, {1, 3}},
        {"ESC & l 0 X", E + "&l0X" + FF, {1, 0}},
        {"negative PJL copies compare unsigned", "@PJL SET COPIES=-1\n" + FF + pad, {1, 0xFFFFFFFFu}},
        {"A4 by code", E + "&l26A" + FF, {1, 1, 0, 0, 8.27, 11.69}},
        {"lower-case parameters, z too, combine", E + "&l0z26a0O" + FF, {1, 1, 0, 0, 8.27, 11.69}},
        {"unknown code keeps the last", E + "&l3A" + E + "&l999A", {0, 1, 0, 0, 8.5, 14.0}},
        {"code then PJL paper", E + "&l26A@PJL SET PAPER=LEGAL\n" + pad, {0, 1, 0, 0, 8.5, 14.0}},
        {"PJL paper then code", "@PJL SET PAPER=LEGAL\n" + E + "&l26A" + pad, {0, 1, 0, 0, 8.27, 11.69}},
        {"PJL paper width and length", "@PJL SET PAPERWIDTH = 6122\n@PJL SET PAPERLENGTH = 7921\n" + pad, {0, 1, 0, 0, 6120.0 / 720, 11.0}},
        {"duplex 1", E + "&l1S", {0, 1, 0, 1}},
        {"duplex 2", E + "&l2S", {0, 1, 0, 1}},
        {"duplex 0 does not clear", E + "&l1S" + E + "&l0S", {0, 1, 0, 1}},
        {"PJL duplex", "@PJL SET DUPLEX=ON\n" + pad, {0, 1, 0, 1}},
        {"palette entry colour", E + "*v1A", {0, 1, 1}},
        {"palette value 255 is no colour", E + "*v255B", {0, 1}},
        {"palette value 0 is no colour", E + "*v0C", {0, 1}},
        {"ESC & l 1 H", E + "&l1H", {0, 1, 1}},
        {"configure image data", Data("*v6W", std::string("\x00\x02\x08\x08\x08\x08", 6)), {0, 1, 1}},
        {"PJL colour render mode", "@PJL SET RENDERMODE=COLOR\n" + pad, {0, 1, 1}},
        {"planes in use 1 beats colour", "@PJL SET PLANESINUSE=1\n" + E + "*v1A" + pad, {0, 1}},
        {"colour mode colour beats grey", "@PJL SET PLANESINUSE=1\n@PJL SET COLORMODE=COLOR\n" + E + "*v1A" + pad, {0, 1, 1}},
        {"ESC & b 1 M grey", E + "*v1A" + E + "&b1M", {0, 1}},
        {"ESC & b 0 M is not grey", E + "*v1A" + E + "&b0M", {0, 1, 1}},
        {"ESC & n M grey", E + "*v1A" + E + "&n0M", {0, 1}},
        {"grey render mode", "@PJL SET RENDERMODE=GRAYSCALE\n" + E + "&l1H" + pad, {0, 1}},
    };
    for (const Case& c : cases) ExpectRecord("PCL", c);
}

TEST(PclAttributes, NothingCarriesOverFromAnEarlierCall) {
    PageCountResult rec{};
    ASSERT_EQ(CountWith("PCL", "@PJL SET QTY=9\n" + E + "&l1S" + E + "&l26A" + E + "*v1A" + FF + FF + std::string(20, ' '), rec), QM_OK);
    EXPECT_EQ(rec.pages, 2u);
    ExpectRecord("PCL", "empty after a full job", "nothing here", {0, 1});
}

TEST(PclDiagnostics, Lines) {
    const LinesCase cases[] = {
        {"lone ESC E", E + "E", {"sheetler.dll!GetTotalPageCount_PCL: Lonely ESC!\n"}},
        {"ESC at the end", "x" + E, {"sheetler.dll!GetTotalPageCount_PCL: Lonely ESC!\n"}},
        {"parameterised sequences are quiet", E + "&l1X" + E + "*b0W", {}},
        {"PJL lines", "@PJL SET QTY=2\n@PJL SET RENDERMODE=COLOR\n" + std::string(30, ' '),
         {"sheetler.dll!GetTotalPageCount: 0 found QTY command 2!\n",
          "sheetler.dll!GetTotalPageCount_PCL: 23 Color print!\n"}},
        {"payload is not read", Data("*b2W", E + "E"), {}},
    };
    for (const LinesCase& c : cases) ExpectLines("PCL", c);
}

// Detection reads the first sequences and steps over their data: text
// between them, data bytes read as text or a mode selection alone decide.
TEST(PclBids, SequencesAndTheirData) {
    const struct {
        const char* tag;
        const char* name;
        std::string job;
        bool bid;
    } rows[] = {
        {"PCL", "rows and planes, text with blanks", E + "E a b\r\n" + Data("*b2V", "\x01\x02") + Data("*b3W", "\x01\x02\x03") +
                                                          FF + E + "E" + E + "&l1X", true},
        {"PCL", "an abandoned mode selection says nothing", E + "%8" + E + "E", false},
        {"PCLXL", "an array and a 32-bit attribute", ") HP-PCL XL;2;0\n\xC8\xC1" + Le16(2) + "ab\xC2" + Le32(1) + "\xF8\x01\x41",
         true},
    };
    for (const auto& r : rows) {
        const int bid = qm::accurate::BidOf(*qm::accurate::FindLanguage(r.tag), qm::Bytes(r.job));
        EXPECT_EQ(bid > qm::accurate::kNoBid, r.bid) << r.name;
    }
}

}  // namespace
