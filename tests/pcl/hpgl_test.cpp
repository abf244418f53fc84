#include "testutil.h"

using namespace qmtest;

namespace {

const std::string E = "\x1B";
const std::string kPad(40, '\n');

// The plot-size factor is single precision.
double Plot(uint32_t units) { return static_cast<double>(static_cast<float>(units) * 0.001f); }

TEST(HpglPages, AdvanceAndReplot) {
    const Case cases[] = {
        {"three advances", "IN;PG;PG;PG;", {3, 0}},
        {"replot 4", "PG;RP4;", {5, 0}},
        {"replot 0 is one", "RP0;", {1, 0}},
        {"replot without a number", "RP;", {1, 0}},
        {"lower case is not a command", "pg;pG;Pg;", {0, 0}},
        {"separated letters are not a command", "P G;P,G;", {0, 0}},
        {"encoded polyline hides PG", "PE<=PGPG;PG;", {1, 0}},
        {"encoded polyline never closed", "PEPGPG", {0, 0}},
        {"inside label text too", "LBUPGRADE\x03;", {1, 0}},
        {"form feeds count nothing", "\x0C\x0C", {0, 0}},
        {"raster data hides PG", E + "*b4W" + "PGPG" + "PG;", {1, 0}},
        {"palette data hides PG", E + "*v4W" + "PGPG", {0, 0, 1}},
        {"comment line hides PG", ")PG\nPG", {1, 0}},
        {"PJL line hides PG", "@PJL COMMENT PG\nPG;" + kPad, {1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("HPGL", c);
}

TEST(HpglAttributes, CopiesPaperColour) {
    const Case cases[] = {
        {"begin plot copies", "BP2,3;PG;", {1, 3}},
        {"two begin plots add up", "BP2,3;PG;BP2,3;PG;", {2, 6}},
        {"no begin plot", "PG;", {1, 0}},
        {"name before copies", "BP1,\"plot\",2,4;", {0, 4}},
        {"empty name", "BP1,\"\",2,2;", {0, 2}},
        {"other kinds skipped", "BP5,1,3,9,2,2;", {0, 2}},
        {"unknown kind ends begin plot", "BP7,1,2,5;PG", {1, 0}},
        {"begin plot at the end", "BP", {0, 0}},
        {"plot size in single precision", "PS11000,8500;", {0, 0, 0, 0, 8.5, 11.000000953674316}},
        {"plot size, the last wins", "PS1000,2000;PS11000,8500;", {0, 0, 0, 0, Plot(8500), Plot(11000)}},
        {"plot size without a second number", "PS5000;", {0, 0, 0, 0, 0.0, Plot(5000)}},
        {"PJL paper beats plot size",
         "@PJL SET PAPERLENGTH = 7922\n@PJL SET PAPERWIDTH = 6122\nPS11000,8500;" + kPad, {0, 0, 0, 0, 8.5, 11.0}},
        {"PJL width alone is ignored", "@PJL SET PAPERWIDTH = 6122\nPS100,200;" + kPad, {0, 0, 0, 0, Plot(200), Plot(100)}},
        {"PJL length alone", "@PJL SET PAPERLENGTH = 7922\n" + kPad, {0, 0, 0, 0, 0.0, 11.0}},
        {"palette colour", E + "*v255a0b0C", {0, 0, 1}},
        {"palette white", E + "*v255a255b255C", {0, 0}},
        {"palette single component", E + "*v7A", {0, 0, 1}},
        {"grey palette", E + "*v9a9b9C", {0, 0}},
        {"components reset at each ESC", E + "*v5a5b5C" + E + "*v5A", {0, 0, 1}},
        {"raster configuration colour", E + "*v4W" + std::string("\x00\x03\x08\x08", 4), {0, 0, 1}},
        {"raster configuration grey", E + "*v4W" + std::string("\x00\x01\x08\x08", 4), {0, 0}},
        {"PJL colour", "@PJL SET RENDERMODE=COLOR\n" + kPad, {0, 0, 1}},
        {"PJL grey does nothing", "@PJL SET RENDERMODE=GRAYSCALE\n" + E + "*v1a2b3C" + kPad, {0, 0, 1}},
        {"PJL keys of other counters are plain lines", "@PJL SET QTY=3\n@PJL SET PAPER=A4\n" + kPad, {0, 0}},
    };
    for (const Case& c : cases) ExpectRecord("HPGL", c);
    for (const char* end : {"BP", "BP2,", "BP1,\"x", "PE<", "LBx"}) EXPECT_EQ(ScanEndingAtAPage("HPGL", end), QM_OK) << end;
}

TEST(HpglDiagnostics, Lines) {
    const LinesCase cases[] = {
        {"lone ESC", E + "E", {"sheetler.dll!GetTotalPageCount_PCL: Lonely ESC!\n"}},
        {"colour render mode", "@PJL SET RENDERMODE = COLOR\n" + kPad,
         {"sheetler.dll!GetTotalPageCount_PCL: 16 Color print!\n"}},
        {"grey render mode", "@PJL SET RENDERMODE=GRAYSCALE\n" + kPad, {}},
    };
    for (const LinesCase& c : cases) ExpectLines("HPGL", c);
}

TEST(UnixTextPclPages, PageEjects) {
    const std::string eject = E + "&l0h1";
    const Case cases[] = {
        {"five pages", eject + "a" + eject + "b" + eject + "c" + eject + "d" + eject + "e", {5, 1}},
        {"form feeds only", "a\x0C" "b\x0C", {0, 1}},
        {"marker cut by the end", "a" + E + "&l0h", {0, 1}},
        {"upper case", E + "&L0H1", {0, 1}},
        {"back to back", eject + eject, {2, 1}},
        {"command block hides markers", "!R!" + eject + eject + "EXIT;" + eject, {1, 1}},
        {"block closed by the last byte", "!R!" + eject + "EXIT;", {1, 1}},
        {"PJL and other sequences ignored", "@PJL SET QTY=4\n" + E + "&l2X" + E + "&l26A" + kPad, {0, 1}},
    };
    for (const Case& c : cases) ExpectRecord("UnixTextPCL", c);
}

TEST(UnixTextPclPages, SharedRecordIsRewrittenWhole) {
    // A PCL job leaves colour, duplex and paper in the shared record; the
    // text counter reports none of them.
    PageCountResult rec{};
    ASSERT_EQ(CountWith("PCL", E + "&l1S" + E + "&l26A" + E + "*v1A" + "\x0C", rec), QM_OK);
    EXPECT_EQ(rec.duplex, 1);
    ExpectRecord("UnixTextPCL", "after a PCL job", E + "&l0h1", {1, 1});
}

}  // namespace
