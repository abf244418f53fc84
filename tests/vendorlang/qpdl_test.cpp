#include "testutil.h"

using namespace qmtest;

namespace {

// A page header: 0x00 0x06, copies, paper byte, twelve free bytes; the 0x0C
// at offset 17 is the first byte of the record that must follow it.
std::string Header(int copies, int paper) {
    return Bin({0x00, 0x06, (copies >> 8) & 0xFF, copies & 0xFF, paper}) + std::string(12, 'x');
}

// A raster record of `length` + 11 bytes, tagged by bytes 2 and 3; its length
// field sits at offset 9, or 10 when the tag is 0x13 0x60 with byte 7 set,
// or for 0xEF 0xCD. `inside` is placed in the data.
std::string Record(int tag2, int tag3, int flag, int length, const std::string& inside = "") {
    std::string r = Bin({0x0C, 0x00, tag2, tag3, 0x00, 0x00, 0x00, flag, 0x00, 0x00, 0x00, 0x00});
    const size_t field = (tag2 == 0x13 && flag == 0) ? 9 : 10;
    r[field] = static_cast<char>((length >> 8) & 0xFF);
    r[field + 1] = static_cast<char>(length & 0xFF);
    r.resize(static_cast<size_t>(length) + 11, 'r');
    r.replace(12, inside.size(), inside);
    return r;
}

std::string Raster(int length = 40, const std::string& inside = "") { return Record(0x13, 0x60, 0, length, inside); }

std::string Page(int copies, int paper = 0) { return Header(copies, paper) + Raster(); }

const double kLetterW = 8.5, kLetterL = 11.0;

// Jobs start with the PJL header (a page header as first byte would be lost
// to the leading-NUL skip).
const std::string J = "\x1B%-12345X@PJL ENTER LANGUAGE=QPDL\n";

TEST(QpdlPages, CopiesFromTheFirstHeader) {
    const Case cases[] = {
        {"three headers, two copies", J + Page(2) + Page(2) + Page(2), {3, 2, 0, 0, kLetterW, kLetterL}},
        {"disagreeing header passed over", J + Page(1) + Page(1) + Page(3), {2, 1, 0, 0, kLetterW, kLetterL}},
        {"first header with no copies", J + Page(0) + Page(5) + Page(7) + Page(5), {3, 5, 0, 0, kLetterW, kLetterL}},
        {"no headers", "@PJL ENTER LANGUAGE=QPDL\n", {0, 0, 0, 0, kLetterW, kLetterL}},
        {"byte 17 must be 0x0C", J + Header(1, 0) + "x" + Page(1), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"header cut short", J + Page(1) + Header(1, 0), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"header ending the file", J + Page(1) + Header(1, 0) + "\x0C", {2, 1, 0, 0, kLetterW, kLetterL}},
        {"sixteen-bit copies", J + Page(0x0102), {1, 0x0102, 0, 0, kLetterW, kLetterL}},
    };
    for (const Case& c : cases) ExpectRecord("QPDL", c);
    EXPECT_EQ(ScanEndingAtAPage("QPDL", J + Page(1) + "\x1Bx"), QM_OK);
}

TEST(QpdlPages, SkippedRecordsHideMarkers) {
    const std::string hidden = Header(1, 0) + "\x0C";
    const Case cases[] = {
        {"raster record", J + Page(1) + Raster(40, hidden) + Page(1), {2, 1, 0, 0, kLetterW, kLetterL}},
        {"flagged record reads offset 10",
         J + Page(1) + Record(0x13, 0x60, 1, 40, hidden) + Page(1), {2, 1, 0, 0, kLetterW, kLetterL}},
        {"EF CD record", J + Page(1) + Record(0xEF, 0xCD, 0, 40, hidden) + Page(1), {2, 1, 0, 0, kLetterW, kLetterL}},
        {"unknown tag is scanned", J + Page(1) + Record(0x13, 0x61, 0, 40, hidden) + Page(1), {3, 1, 0, 0, kLetterW, kLetterL}},
        {"PJL colour inside a record", J + Page(1) + Raster(40, "@PJL SET COLORMODE = COLOR\n"), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"length past the end", J + Page(1) + Raster(0xFFFF).substr(0, 30) + Page(1), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"record header cut short", J + Page(1) + Bin({0x0C, 0x00, 0x13, 0x60, 0x00}), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"PJL line hides a header", J + "@PJL COMMENT " + hidden + "\n" + Page(1), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"comment hides a header", J + ")" + hidden + "\n" + Page(1), {1, 1, 0, 0, kLetterW, kLetterL}},
    };
    for (const Case& c : cases) ExpectRecord("QPDL", c);
}

TEST(QpdlSettings, PaperRowAndColour) {
    const Case cases[] = {
        {"row 2", J + Page(1, 2), {1, 1, 0, 0, 8.27, 11.69}},
        {"last row", J + Page(1, 16), {1, 1, 0, 0, 5.83, 8.27}},
        {"code 17 has no row", J + Page(1, 17), {1, 1}},
        {"last counted header decides", J + Page(1, 2) + Page(1, 17), {2, 1}},
        {"passed-over header keeps the paper", J + Page(1, 2) + Page(2, 4), {1, 1, 0, 0, 8.27, 11.69}},
        {"colour", J + "@PJL SET COLORMODE = COLOR\n" + Page(1), {1, 1, 1, 0, kLetterW, kLetterL}},
        {"colour without blanks", J + "@PJL SET COLORMODE=COLOR\n" + Page(1), {1, 1, 0, 0, kLetterW, kLetterL}},
        {"colour setting ending the file", "@PJL SET COLORMODE = COLO", {0, 0, 0, 0, kLetterW, kLetterL}},
    };
    for (const Case& c : cases) ExpectRecord("QPDL", c);
}

TEST(QpdlLines, OneLinePerMarkerOutsideRecords) {
    ExpectLines("QPDL", "markers, one inside a record", "\x1B%-12345X@PJL JOB\n)note\n" + Page(1) + Raster(20, "@)\x1B"),
                {"Samsung!GetTotalPageCount_QPDL: ESC command! 1B 0\n",
                 "Samsung!GetTotalPageCount_QPDL: PJL command! 40 9\n",
                 "Samsung!GetTotalPageCount_QPDL: PJL comment! 29 12\n"});
}

}  // namespace

// No header counted: paper byte 0 selects the first row.
TEST(QpdlFile, EntryPoint) { ExpectRecord("QPDL", "NULs only, through the file", std::string(64, '\0'), {0, 0, 0, 0, 8.5, 11.0}, true); }
