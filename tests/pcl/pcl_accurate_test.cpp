#include "pcl/pcl_accurate.h"

#include <gtest/gtest.h>

#include <mutex>

#include <string>

namespace {

const std::string E = "\x1b";
const std::string FF = "\x0c";
const std::string UEL = "\x1b%-12345X";

struct Count {
    int32_t code;
    qm::accurate::Result r;
};

Count CountOf(const std::string& job) {
    Count c{};
    c.code = qm::pclaccurate::CountPcl5(qm::Bytes(job), c.r);
    return c;
}

// Pages as the printer ejects them, and what is not a page.
TEST(PclAccurate, PagesAreTheSidesThePrinterEjects) {
    struct Case {
        const char* what;
        std::string job;
        uint32_t pages;
    };
    const Case cases[] = {
        {"form feeds", E + "Eone" + FF + "two" + FF + E + "E", 2},
        {"a blank side between two form feeds", "one" + FF + FF + "three" + FF, 3},
        {"form feeds inside raster data", E + "*r1A" + E + "*b3W" + FF + FF + FF + E + "*rC" + FF, 1},
        {"a reset inside raster data", E + "*b2W" + E + "Ex" + FF, 1},
        {"form feeds inside transparent data", E + "&p3X" + FF + FF + FF + FF, 1},
        {"form feeds inside a font header", E + ")s4W" + FF + FF + FF + FF + "a" + FF, 1},
        {"grouped data parameters", E + "*b2m3w" + FF + FF + FF + "2W" + FF + FF + FF, 1},
        {"a reset after marks", E + "Etext" + E + "E", 1},
        {"a reset with nothing on the side", E + "E" + E + "E", 0},
        {"a UEL after marks", "text" + UEL, 1},
        {"the end of the job after marks", E + "Etext", 1},
        {"a page size change after marks", E + "&l2Aone" + E + "&l26Atwo" + FF, 2},
        {"a page size change before marks", E + "&l2A" + E + "&l26Aone" + FF, 1},
        {"copy commands twice per page", E + "&l1X" + E + "&l1Xone" + FF + E + "&l1X" + E + "&l1Xtwo" + FF, 2},
        {"a form feed that only feeds out what a reset printed",
         E + "*r0A" + E + "*b2W\xff\xff" + E + "*rbC" + E + "E" + FF, 1},
        {"eject page after a reset, and on a blank side",
         E + "*r0A" + E + "*b1W\x01" + E + "E" + E + "&l0H" + E + "*r0A" + E + "E" + E + "&l0H", 2},
        {"eject page before the first page", E + "&l0H" + E + "*r1A" + E + "*b1W\x01" + E + "*rC" + FF, 1},
        {"rows that go on after ESC * b # Y without ESC",
         E + "*r1A" + E + "*b5Y3v" + FF + FF + FF + "2w" + FF + FF + E + "*rC" + FF, 1},
        {"rows that go on after ESC * b # V without ESC", E + "*b0V1v" + FF + "1w" + FF + E + "*rC" + FF, 1},
        {"an HP-GL/2 passage that draws", E + "%0BIN;PD;PA10,10;" + E + "%0A" + E + "E", 1},
        {"an HP-GL/2 passage that only sets up", E + "%0BIN;SP1;" + E + "%0A" + E + "E", 0},
        {"a form feed in an HP-GL/2 label", E + "%0BLBa" + FF + "\x03;" + E + "%0A" + FF, 1},
        {"data running past the end", E + "*b100Wabc", 1},
    };
    for (const Case& c : cases) {
        const Count n = CountOf(c.job);
        EXPECT_EQ(n.code, QM_OK) << c.what;
        EXPECT_EQ(n.r.rec.pages, c.pages) << c.what;
    }
}

TEST(PclAccurate, CopiesDuplexAndPaper) {
    struct Case {
        const char* what;
        std::string job;
        uint32_t copies;
        uint8_t duplex;
        double width;
    };
    const std::string pjl = UEL + "@PJL JOB\r\n";
    const Case cases[] = {
        {"no copy count", "a" + FF, 1, 0, 0},
        {"the copy count in force", E + "&l3Xa" + FF, 3, 0, 0},
        {"PJL copies", pjl + "@PJL SET COPIES=2\n@PJL ENTER LANGUAGE=PCL\n" + E + "Ea" + FF + E + "E" + UEL, 2, 0, 0},
        {"PJL quantity over copies", pjl + "@PJL SET COPIES = 2\n@PJL SET QTY = 4\n" + E + "Ea" + FF, 4, 0, 0},
        {"a PCL copy count over PJL", pjl + "@PJL SET COPIES=2\n" + E + "E" + E + "&l5Xa" + FF, 5, 0, 0},
        {"a reset returns to the PJL copies", pjl + "@PJL SET COPIES=2\n" + E + "&l5X" + E + "Ea" + FF, 2, 0, 0},
        {"another personality's setting", pjl + "@PJL SET LPARM:POSTSCRIPT COPIES=9\na" + FF, 1, 0, 0},
        {"duplex", E + "&l1Sa" + FF, 1, 1, 0},
        {"simplex", E + "&l0Sa" + FF, 1, 0, 0},
        {"PJL duplex", pjl + "@pjl set duplex=on\n" + E + "Ea" + FF, 1, 1, 0},
        {"a page size", E + "&l26Aa" + FF, 1, 0, 8.27},
        {"the first page's size", E + "&l2Aa" + FF + E + "&l26Ab" + FF, 1, 0, 8.5},
        {"PJL paper", pjl + "@PJL SET PAPER=A4\n" + E + "Ea" + FF, 1, 0, 8.27},
        {"an unknown page size code", E + "&l999Aa" + FF, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const Count n = CountOf(c.job);
        ASSERT_EQ(n.code, QM_OK) << c.what;
        EXPECT_EQ(n.r.rec.copies, c.copies) << c.what;
        EXPECT_EQ(n.r.rec.duplex, c.duplex) << c.what;
        EXPECT_NEAR(n.r.rec.paperWidth, c.width, 0.001) << c.what;
        EXPECT_EQ(n.r.rec.pages, 1u + (std::string(c.what) == "the first page's size")) << c.what;
    }
}

TEST(PclAccurate, Colour) {
    struct Case {
        const char* what;
        std::string job;
        uint8_t colour;
        bool known;
    };
    const std::string row = E + "*r1A" + E + "*b1W\x01" + E + "*rC" + FF;
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const Count n = CountOf(c.job);
        ASSERT_EQ(n.code, QM_OK) << c.what;
        EXPECT_EQ(n.r.rec.color, c.colour) << c.what;
        EXPECT_EQ((n.r.unknown & QM_FIELD_COLOR) == 0, c.known) << c.what;
    }
}

// Bytes with no PCL in them are no job; junk anywhere never crashes or hangs.
TEST(PclAccurate, NoPclIsNoCount) {
    EXPECT_EQ(CountOf("").code, QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(CountOf("plain words, no commands").code, QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(CountOf(std::string(1000, '\0')).code, QM_E_NOT_UNDERSTOOD);
    const std::string cuts[] = {E, E + "*", E + "*b", E + "*b12", E + "*b12W", E + "%-123", UEL + "@PJL",
                                E + "%0B", E + "*b4294967295W", E + "*b99999999999999999999W"};
    for (const std::string& job : cuts) {
        const Count n = CountOf(job + FF);
        EXPECT_LE(n.r.rec.pages, 1u) << job.substr(1);
    }
}

TEST(PclAccurate, PjlLines) {
    qm::pclaccurate::PjlSettings pjl;
    const std::string lines = "\r\n@PJL SET COPIES=3\r\n@PJL DEFAULT DUPLEX = ON\n@PJL SET PAPER=LEGAL\n" + E + "E";
    EXPECT_EQ(qm::pclaccurate::ReadPjlLines(qm::Bytes(lines), 0, pjl), lines.size() - 2);
    EXPECT_EQ(pjl.copies, 3u);
    EXPECT_EQ(pjl.duplex, 1);
    EXPECT_DOUBLE_EQ(pjl.paperLength, 14.0);
    const std::string notPjl = "@PJX SET COPIES=3\n";
    EXPECT_EQ(qm::pclaccurate::ReadPjlLines(qm::Bytes(notPjl), 0, pjl), 0u);
}

// Plots: the plot size in plotter units, colour from the raster passages, and
// the pages PCL ejects when the plot has no page command.
TEST(HpglAccurate, PlotSizeColourAndPages) {
    struct Case {
        const char* what;
        std::string job;
        uint32_t pages;
        uint8_t colour;
        double width, length;
    };
    const std::string rtl = E + "%1A" + E + "*v6W" + std::string("\x00\x00\x03\x08\x08\x08", 6) + E + "*r1A" + E +
                            "*b1W\x01" + E + "*rC" + E + "%0B";
    const Case cases[] = {
        {"A4 across a roll", "BP5,1PS11880,8398PUPA0,0;PD;PG;", 1, 0, 8.27, 11.69},
        {"an RTL colour raster", "IN;PS11176,8636;" + rtl + "PG;", 1, 1, 8.5, 11.0},
        {"a label holding a plot size", "IN;LBPS99999,99999\x03;PG;", 1, 0, 0, 0},
        {"pages from PCL", E + "%1BIN;" + E + "%1A" + E + "Ea" + FF + "b" + FF + E + "E", 2, 0, 0, 0},
    };
    for (const Case& c : cases) {
        qm::accurate::Result r;
        {
            std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(qm::FindCounter("HPGL")->group));
            ASSERT_EQ(qm::accurate::AccurateHPGL(qm::Bytes(c.job), r), QM_OK) << c.what;
        }
        EXPECT_EQ(r.rec.pages, c.pages) << c.what;
        EXPECT_EQ(r.rec.color, c.colour) << c.what;
        EXPECT_NEAR(r.rec.paperWidth, c.width, 0.01) << c.what;
        EXPECT_NEAR(r.rec.paperLength, c.length, 0.01) << c.what;
    }
}

}  // namespace
