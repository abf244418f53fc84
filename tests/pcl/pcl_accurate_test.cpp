#include "pcl/pcl_accurate.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "accurate_testutil.h"

namespace {

using qmtest::AccurateCase;

const std::string E = "\x1b";
const std::string FF = "\x0c";
const std::string UEL = "\x1b%-12345X";

int32_t CountPcl(qm::Bytes job, qm::accurate::Result& r) { return qm::pclaccurate::CountPcl5(job, r); }

// Pages as the printer ejects them (and what is not a page); the copies,
// duplex and paper in force.
TEST(PclAccurate, Records) {
    const std::string pjl = UEL + "@PJL JOB\r\n";
    const AccurateCase cases[] = {
        {"form feeds", E + "Eone" + FF + "two" + FF + E + "E", {.pages = 2}},
        {"a blank side between two form feeds", "one" + FF + FF + "three" + FF, {.pages = 3}},
        {"form feeds inside raster data", E + "*r1A" + E + "*b3W" + FF + FF + FF + E + "*rC" + FF, {.pages = 1}},
        {"a reset inside raster data", E + "*b2W" + E + "Ex" + FF, {.pages = 1}},
        {"form feeds inside transparent data", E + "&p3X" + FF + FF + FF + FF, {.pages = 1}},
        {"form feeds inside a font header", E + ")s4W" + FF + FF + FF + FF + "a" + FF, {.pages = 1}},
        {"grouped data parameters", E + "*b2m3w" + FF + FF + FF + "2W" + FF + FF + FF, {.pages = 1}},
        {"a reset after marks", E + "Etext" + E + "E", {.pages = 1}},
        {"a reset with nothing on the side", E + "E" + E + "E", {.pages = 0}},
        {"a UEL after marks", "text" + UEL, {.pages = 1}},
        {"the end of the job after marks", E + "Etext", {.pages = 1}},
        {"a page size change after marks", E + "&l2Aone" + E + "&l26Atwo" + FF, {.pages = 2, .width = 8.5, .length = 11}},
        {"a page size change before marks", E + "&l2A" + E + "&l26Aone" + FF, {.pages = 1, .width = 8.27, .length = 11.69}},
        {"copy commands twice per page", E + "&l1X" + E + "&l1Xone" + FF + E + "&l1X" + E + "&l1Xtwo" + FF, {.pages = 2}},
        {"a form feed that only feeds out what a reset printed",
         E + "*r0A" + E + "*b2W\xff\xff" + E + "*rbC" + E + "E" + FF, {.pages = 1}},
        {"eject page after a reset, and on a blank side",
         E + "*r0A" + E + "*b1W\x01" + E + "E" + E + "&l0H" + E + "*r0A" + E + "E" + E + "&l0H", {.pages = 2}},
        {"eject page before the first page", E + "&l0H" + E + "*r1A" + E + "*b1W\x01" + E + "*rC" + FF, {.pages = 1}},
        {"rows that go on after ESC * b # Y without ESC",
         E + "*r1A" + E + "*b5Y3v" + FF + FF + FF + "2w" + FF + FF + E + "*rC" + FF, {.pages = 1}},
        {"rows that go on after ESC * b # V without ESC", E + "*b0V1v" + FF + "1w" + FF + E + "*rC" + FF, {.pages = 1}},
        {"an HP-GL/2 passage that draws", E + "%0BIN;PD;PA10,10;" + E + "%0A" + E + "E", {.pages = 1}},
        {"an HP-GL/2 passage that only sets up", E + "%0BIN;SP1;" + E + "%0A" + E + "E", {.pages = 0}},
        {"a form feed in an HP-GL/2 label", E + "%0BLBa" + FF + "\x03;" + E + "%0A" + FF, {.pages = 1}},
        {"data running past the end", E + "*b100Wabc", {.pages = 1}},
        {"the copy count in force", E + "&l3Xa" + FF, {.pages = 1, .copies = 3}},
        {"PJL copies", pjl + "@PJL SET COPIES=2\n@PJL ENTER LANGUAGE=PCL\n" + E + "Ea" + FF + E + "E" + UEL,
         {.pages = 1, .copies = 2}},
        {"PJL quantity over copies", pjl + "@PJL SET COPIES = 2\n@PJL SET QTY = 4\n" + E + "Ea" + FF, {.pages = 1, .copies = 4}},
        {"a PCL copy count over PJL", pjl + "@PJL SET COPIES=2\n" + E + "E" + E + "&l5Xa" + FF, {.pages = 1, .copies = 5}},
        {"a reset returns to the PJL copies", pjl + "@PJL SET COPIES=2\n" + E + "&l5X" + E + "Ea" + FF, {.pages = 1, .copies = 2}},
        {"another personality's setting", pjl + "@PJL SET LPARM:POSTSCRIPT COPIES=9\na" + FF, {.pages = 1}},
        {"duplex", E + "&l1Sa" + FF, {.pages = 1, .duplex = 1}},
        {"simplex", E + "&l0Sa" + FF, {.pages = 1}},
        {"PJL duplex", pjl + "@pjl set duplex=on\n" + E + "Ea" + FF, {.pages = 1, .duplex = 1}},
        {"PJL paper", pjl + "@PJL SET PAPER=A4\n" + E + "Ea" + FF, {.pages = 1, .width = 8.27, .length = 11.69}},
        {"an unknown page size code", E + "&l999Aa" + FF, {.pages = 1}},
    };
    for (const AccurateCase& c : cases) qmtest::ExpectAccurate(CountPcl, c);
}

TEST(PclAccurate, Colour) {
    const std::string row = E + "*r1A" + E + "*b1W\x01" + E + "*rC" + FF;
    const struct {
        const char* what;
        std::string job;
        uint8_t colour;
        bool known;
    } cases[] = {
        {"one plane", E + "*r1U" + row, 0, true},
        {"CMY planes", E + "*r-3U" + row, 1, false},
        {"KCMY planes", E + "*r-4U" + row, 1, false},
        {"a configured colour raster", E + "*g8W\x02\x04\x01\x2c\x01\x2c\x00\x02" + row, 1, false},
        {"a configured black raster", E + "*g8W\x02\x01\x01\x2c\x01\x2c\x00\x02" + row, 0, true},
        {"direct colour pixels", E + "*v6W\x00\x03\x00\x08\x08\x08" + row, 1, false},
        {"a colour palette entry", E + "*v255a0b0c1I" + row, 1, true},
        {"a grey palette entry", E + "*v128a128b128c1I" + row, 0, true},
        {"PJL greyscale over colour planes", UEL + "@PJL SET RENDERMODE=GRAYSCALE\n" + E + "*r-3U" + row, 0, true},
        {"PJL colour", UEL + "@PJL SET RENDERMODE=COLOR\n" + row, 1, true},
    };
    for (const auto& c : cases) {
        qm::accurate::Result r;
        ASSERT_EQ(CountPcl(qm::Bytes(c.job), r), QM_OK) << c.what;
        EXPECT_EQ(r.rec.color, c.colour) << c.what;
        EXPECT_EQ((r.unknown & QM_FIELD_COLOR) == 0, c.known) << c.what;
    }
}

// Bytes with no PCL in them are no job; junk anywhere never crashes or hangs.
TEST(PclAccurate, NoPclIsNoCount) {
    for (const std::string& job : {std::string(), std::string("plain words, no commands"), std::string(1000, '\0')})
        qmtest::ExpectAccurate(CountPcl, {"no PCL", job, qmtest::kNotUnderstood});
    const std::string cuts[] = {E, E + "*", E + "*b", E + "*b12", E + "*b12W", E + "%-123", UEL + "@PJL",
                                E + "%0B", E + "*b4294967295W", E + "*b99999999999999999999W"};
    for (const std::string& job : cuts) {
        qm::accurate::Result r;
        CountPcl(qm::Bytes(job + FF), r);
        EXPECT_LE(r.rec.pages, 1u) << job.substr(1);
    }
}

TEST(PclAccurate, PjlLines) {
    qm::pclaccurate::PjlSettings pjl;
    const std::string lines = "\r\n@PJL SET COPIES=3\r\n@PJL DEFAULT DUPLEX = ON\n@PJL SET PAPER=LEGAL\n" + E + "E";
    EXPECT_EQ(qm::pclaccurate::ReadPjlLines(qm::Bytes(lines), 0, pjl), lines.size() - 2);
    EXPECT_EQ(pjl.copies, 3u);
    EXPECT_EQ(pjl.duplex, 1);
    EXPECT_DOUBLE_EQ(pjl.paperLength, 14.0);
    EXPECT_EQ(qm::pclaccurate::ReadPjlLines(qm::Bytes(std::string("@PJX SET COPIES=3\n")), 0, pjl), 0u);
}

// Plots: the plot size in plotter units, colour from the raster passages, and
// the pages PCL ejects when the plot has no page command.
TEST(HpglAccurate, PlotSizeColourAndPages) {
    const std::string rtl = E + "%1A" + E + "*v6W" + std::string("\x00\x00\x03\x08\x08\x08", 6) + E + "*r1A" + E +
                            "*b1W\x01" + E + "*rC" + E + "%0B";
    const AccurateCase cases[] = {
        {"A4 across a roll", "BP5,1PS11880,8398PUPA0,0;PD;PG;", {.pages = 1, .width = 8.27, .length = 11.69}},
        {"an RTL colour raster", "IN;PS11176,8636;" + rtl + "PG;", {.pages = 1, .colour = 1, .width = 8.5, .length = 11}},
        {"a label holding a plot size", "IN;LBPS99999,99999\x03;PG;", {.pages = 1}},
        {"pages from PCL", E + "%1BIN;" + E + "%1A" + E + "Ea" + FF + "b" + FF + E + "E", {.pages = 2}},
    };
    for (const AccurateCase& c : cases) {
        qmtest::ExpectAccurate(
            [](qm::Bytes job, qm::accurate::Result& r) {
                std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(qm::FindCounter("HPGL")->group));
                return qm::accurate::AccurateHPGL(job, r);
            },
            c);
    }
}

}  // namespace
