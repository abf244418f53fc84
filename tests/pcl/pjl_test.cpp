#include "pcl/pjl.h"

#include <gtest/gtest.h>

#include "testutil.h"

using namespace qmtest;

namespace {

constexpr qm::PjlKey kRenderMode{qm::kRenderModeKey, qm::kRenderModeThreshold, qm::PjlAction::ValueTest,
                                 qm::PjlFlag::None, 0,
                                 {{"COLO", qm::PjlFlag::Colour, qm::kPclColourLine},
                                  {"GRAY", qm::PjlFlag::Grey, qm::kGreyLine}}};
constexpr qm::PjlKey kPaperLength{"@PJL SET PAPERLENGTH", 22, qm::PjlAction::PaperLength, qm::PjlFlag::None, 1};
constexpr qm::PjlKey kKeys[] = {qm::kPjlQty,
                                qm::kPjlColorModeColor,
                                qm::kPjlCopies,
                                qm::kPjlPaper,
                                kRenderMode,
                                qm::kPjlDuplexOn,
                                qm::kPjlPlanesInUse1,
                                qm::kPjlDataModeGrayscale,
                                qm::kPjlPaperWidth,
                                kPaperLength,
                                qm::kPjlOther};

// Walks the bytes as a counter would: the matcher at every "@".
qm::PjlAttributes Scan(const std::string& job) {
    qm::PjlAttributes a;
    const qm::Bytes b(job);
    for (uint32_t i = 0; i < b.size; ++i) {
        if (b[i] == '@') qm::MatchPjl(b, i, kKeys, a);
    }
    return a;
}

// Where a counter's scan resumes after the "@" at 0 (-1: the "@" was ordinary).
int64_t ResumeAt(const std::string& job) {
    qm::PjlAttributes a;
    uint32_t i = 0;
    if (!qm::MatchPjl(qm::Bytes(job), i, kKeys, a)) return -1;
    return int64_t{i} + 1;
}

TEST(PjlKeys, Attributes) {
    struct Case {
        const char* name;
        std::string job;
        int32_t quantity, copies;
        bool duplex, colour, grey, colourMode;
        double width, length;
    };
    const std::string pad(40, ' ');  // keeps every threshold satisfied
    const Case cases[] = {
        {"qty", "@PJL SET QTY=3\n" + pad, 3, 0, false, false, false, false, 0, 0},
        {"qty with blanks around = is another PJL line", "@PJL SET QTY = 3\n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"copies", "@PJL SET COPIES=7\r\n" + pad, 0, 7, false, false, false, false, 0, 0},
        {"negative copies as atoi reads it", "@PJL SET COPIES=-2\n" + pad, 0, -2, false, false, false, false, 0, 0},
        {"copies beyond 32 bits saturate", "@PJL SET COPIES=99999999999\n" + pad, 0, INT32_MAX, false, false, false, false, 0, 0},
        {"31 digits still read", "@PJL SET QTY=" + std::string(30, '0') + "4\n" + pad, 4, 0, false, false, false, false, 0, 0},
        {"32 characters are too many", "@PJL SET QTY=" + std::string(31, '0') + "4\n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"paper A4 CR LF", "@PJL SET PAPER=A4\r\n" + pad, 0, 0, false, false, false, false, 8.27, 11.69},
        {"paper JPOST, last entry", "@PJL SET PAPER=JPOST\n" + pad, 0, 0, false, false, false, false, 3.94, 5.83},
        {"paper with a trailing blank", "@PJL SET PAPER=A4 \n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"paper of 11 characters", "@PJL SET PAPER=HALFLETTERS\n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"unknown paper keeps the last", "@PJL SET PAPER=A3\n@PJL SET PAPER=B9\n" + pad, 0, 0, false, false, false, false, 11.69, 16.54},
        {"rendermode colour", "@PJL SET RENDERMODE = COLOR\n" + pad, 0, 0, false, true, false, false, 0, 0},
        {"rendermode grey", "@PJL SET RENDERMODE=GRAYSCALE\n" + pad, 0, 0, false, false, true, false, 0, 0},
        {"rendermode other", "@PJL SET RENDERMODE=AUTO\n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"colormode", "@PJL SET COLORMODE=COLOR\n" + pad, 0, 0, false, false, false, true, 0, 0},
        {"duplex off", "@PJL SET DUPLEX=OFF\n" + pad, 0, 0, false, false, false, false, 0, 0},
        {"planes in use 1", "@PJL SET PLANESINUSE=1\n" + pad, 0, 0, false, false, true, false, 0, 0},
        {"data mode greyscale", "@PJL SET DATAMODE=GRAYSCALE\n" + pad, 0, 0, false, false, true, false, 0, 0},
        {"paper width in decipoints", "@PJL SET PAPERWIDTH = 6120\n" + pad, 0, 0, false, false, false, false, 6118.0 / 720, 0},
        {"paper length in decipoints", "@PJL SET PAPERLENGTH = 7921\n" + pad, 0, 0, false, false, false, false, 0, 11.0},
        // Thresholds: more bytes than the threshold must remain from the "@".
        {"duplex key at the very end", "@PJL SET DUPLEX=ON", 0, 0, false, false, false, false, 0, 0},
        {"duplex key one byte before the end", "@PJL SET DUPLEX=ON\n", 0, 0, true, false, false, false, 0, 0},
        {"colormode needs 35 bytes", "@PJL SET COLORMODE=COLOR" + std::string(10, '\n'), 0, 0, false, false, false, false, 0, 0},
        {"colormode with 35 bytes", "@PJL SET COLORMODE=COLOR" + std::string(11, '\n'), 0, 0, false, false, false, true, 0, 0},
        {"qty value without a LF", "@PJL SET QTY=5", 0, 0, false, false, false, false, 0, 0},
        {"qty value running into the end", "@PJL SET QTY=5          ", 0, 0, false, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        const qm::PjlAttributes a = Scan(c.job);
        EXPECT_EQ(a.quantity, c.quantity) << c.name;
        EXPECT_EQ(a.copies, c.copies) << c.name;
        EXPECT_EQ(a.duplex, c.duplex) << c.name;
        EXPECT_EQ(a.colour, c.colour) << c.name;
        EXPECT_EQ(a.grey, c.grey) << c.name;
        EXPECT_EQ(a.colourModeColour, c.colourMode) << c.name;
        EXPECT_DOUBLE_EQ(a.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(a.paperLength, c.length) << c.name;
    }
}

TEST(PjlKeys, WhereScanningResumes) {
    struct Case {
        const char* name;
        std::string job;
        int64_t resume;
    };
    const std::string pad(40, 'z');
    const Case cases[] = {
        {"qty: after its LF", "@PJL SET QTY=12\n" + pad, 16},
        {"qty without a terminator: the byte after the @", "@PJL SET QTY=" + pad, 1},
        {"paper: at its terminator", "@PJL SET PAPER=A4\r\n" + pad, 17},
        {"unknown paper: still after the value", "@PJL SET PAPER=Q\n" + pad, 16},
        {"duplex: after the key", "@PJL SET DUPLEX=ON" + pad, 18},
        {"data mode: after the 27-byte key", "@PJL SET DATAMODE=GRAYSCALE" + pad, 27},
        {"paper width: digits scanned next", "@PJL SET PAPERWIDTH = 6120" + pad, 19},
        {"rendermode colour: after the value", "@PJL SET RENDERMODE = COLOR\n" + pad, 27},
        {"rendermode other: after the blanks and =", "@PJL SET RENDERMODE = AUTO\n" + pad, 22},
        {"other PJL line: after its LF", "@PJL ENTER LANGUAGE=PCL\n" + pad, 24},
        {"other PJL line without LF: the end", "@PJL COMMENT" + pad, 52},
        {"not PJL", "@PJX" + pad, -1},
        {"@PJL with nothing after it", "@PJL", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ResumeAt(c.job), c.resume) << c.name;
}

TEST(PjlKeys, DiagnosticLines) {
    struct Case {
        const char* name;
        std::string job;
        std::vector<std::string> lines;
    };
    const std::string pad(40, ' ');
    const Case cases[] = {
        {"qty", "@PJL SET QTY=3\n" + pad, {"sheetler.dll!GetTotalPageCount: 0 found QTY command 3!\n"}},
        {"copies at 0x1F", std::string(31, 'x') + "@PJL SET COPIES=12\n" + pad,
         {"sheetler.dll!GetTotalPageCount: 1F found COPIES command 12!\n"}},
        {"negative copies", "@PJL SET COPIES=-1\n" + pad,
         {"sheetler.dll!GetTotalPageCount: 0 found COPIES command -1!\n"}},
        {"rendermode colour: index of the value", "@PJL SET RENDERMODE = COLOR\n" + pad,
         {"sheetler.dll!GetTotalPageCount_PCL: 16 Color print!\n"}},
        {"rendermode grey", "@PJL SET RENDERMODE=GRAYSCALE\n" + pad,
         {"sheetler.dll!GetTotalPageCount_PCL: 14 Greyscale print!\n"}},
        {"rendermode other", "@PJL SET RENDERMODE=AUTO\n" + pad, {}},
        {"over-long qty", "@PJL SET QTY=" + std::string(40, '1') + "\n" + pad, {}},
    };
    for (const Case& c : cases) {
        CapturedLines cap;
        Scan(c.job);
        EXPECT_EQ(cap.lines(), c.lines) << c.name;
    }
}

}  // namespace
