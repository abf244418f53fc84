// The accurate counts of ESC/Page and foo2qpdl's QPDL: page ends, copies,
// duplex, paper and colour from the structure, with data stepped over by its
// declared length so that bytes inside it never count.
#include "accurate_testutil.h"
#include "vendorlang/vendor_accurate.h"

using namespace qmtest;
using qm::accurate::Result;

namespace {

// ---- ESC/Page
std::string Gs(const std::string& command) { return "\x1d" + command; }
// An image whose data holds a form feed, a reset and a side command: data, never commands.
const std::string kImage = Gs("22;64;2;0bi{I") + "\x0c\x1drhE\x1d" "0dpsE" + std::string(11, '\x0c');
const std::string kInit = "\x1b\x01@EJL \r\n@EJL ENTER LANGUAGE=ESC/PAGE\r\n" + Gs("rhE") + Gs("0;150;150drE");

TEST(AccurateEscPage, PageEndsCopiesDuplexAndPaper) {
    const std::string a4 = kInit + Gs("14psE") + Gs("2coO");
    const std::string duplex = kInit + Gs("1sdE") + Gs("30psE") + Gs("1coO");
    const std::string side = Gs("0dpsE");
    const AccurateCase cases[] = {
        {"form feeds end pages; data is stepped over", a4 + kImage + "\x0c" + kImage + "\x0c",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a blank page still ejects a sheet", a4 + kImage + "\x0c\x0c", {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"duplex sides; the side closing an odd job is no page", duplex + kImage + side + kImage + side + kImage + side + side,
         {.pages = 3, .duplex = 1, .width = 8.5, .length = 11}},
        {"an even duplex job keeps all its sides", duplex + kImage + side + kImage + side,
         {.pages = 2, .duplex = 1, .width = 8.5, .length = 11}},
        {"a side command is not a paper command", a4 + kImage + "\x0c" + kImage + side,
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a reset ends a page that holds marks (lp8000)",
         kInit + Gs("14psE") + kImage + Gs("0bcI") + Gs("1coO") + Gs("rhE") + kInit + Gs("rhE") + kImage + Gs("1coO") +
             Gs("rhE"),
         {.pages = 2, .width = 8.27, .length = 11.69}},
        {"path drawing marks a page", kInit + Gs("1bgpG") + Gs("0;1;30;29lnpG") + Gs("enpG") + Gs("rhE"), {.pages = 1}},
        {"marks never ejected count at the end, estimated", a4 + kImage, {.pages = 1, .copies = 2, .width = 8.27, .length = 11.69, .estimated = true}},
        {"the first page's paper", a4 + kImage + "\x0c" + Gs("32psE") + kImage + "\x0c",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a size of no number, in dots", kInit + Gs("-1;1275;2100psE") + kImage + "\x0c", {.pages = 1, .width = 8.5, .length = 14}},
        {"EJL settings (vector drivers)",
         "\x1b\x01@EJL \n@EJL SET RS=QK DX=ON QT=1 CO=3 PS=LGL ZO=OFF\n@EJL EN LA=ESC/PAGE\n" + Gs("rhE") + kImage + "\x0c",
         {.pages = 1, .copies = 3, .duplex = 1, .width = 8.5, .length = 14}},
        {"a colour fill", kInit + Gs("1;2;3;25;51;179fpE") + kImage + "\x0c", {.pages = 1, .colour = 1}},
        {"a grey fill", kInit + Gs("1;2;3;0;0;0fpE") + kImage + "\x0c", {.pages = 1}},
        {"an overlong parameter text is no command", a4 + "\x1d" + std::string(200, '7') + "X" + kImage + "\x0c",
         {.pages = 1, .copies = 2, .width = 8.27, .length = 11.69}},
        {"data running past the end", a4 + kImage + "\x0c" + Gs("99999;8;1;0bi{I") + "abc",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69, .estimated = true}},
        {"no command at all", std::string("plain text\x0c", 11), {.code = QM_E_NOT_UNDERSTOOD}},
        {"commands but no page", kInit + Gs("14psE"), {.code = QM_E_NOT_UNDERSTOOD}},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountEscPage, c);
}

// ---- QPDL as foo2qpdl writes it
std::string QpdlHeader(uint16_t copies, uint8_t paper, uint8_t duplex, uint16_t w300 = 2550, uint16_t h300 = 3300) {
    return Bin({0, 6}) + Be16(copies) + Bin({paper}) + Be16(w300) + Be16(h300) + Bin({1, 0, duplex, 0, 0, 2, 1, 6});
}
// A band of `plane` whose data holds bytes that start records elsewhere: a
// page header, a page end, a PJL comment.
std::string QpdlBand(uint8_t plane) {
    const std::string data = Bin({0, 6, 0, 1, 2}) + ")comment" + Bin({1, 0, 1, 0x0c, 0x29});
    return Bin({0x0c, 1, 1, 0x3e, 0, 0x80, plane, 0x13}) + Be32(uint32_t(data.size())) + data;
}
const std::string kQpdlPjl = "\x1b%-12345X@PJL SET COLORMODE=COLOR\r\n@PJL ENTER LANGUAGE = QPDL\r\n";
const std::string kQpdlEnd = "\x09\x1b%-12345X";
std::string QpdlPage(uint8_t paper, std::initializer_list<uint8_t> planes, uint16_t copies = 1, uint8_t duplex = 0) {
    std::string p = QpdlHeader(copies, paper, duplex);
    for (uint8_t plane : planes) p += QpdlBand(plane);
    return p + Bin({1}) + Be16(copies);
}

TEST(AccurateQpdl, WalksBandsByLengthColourFromThePlanes) {
    const AccurateCase cases[] = {
        {"black bands only, whatever COLORMODE says", kQpdlPjl + QpdlPage(2, {4}) + QpdlPage(2, {4}) + kQpdlEnd,
         {.pages = 2, .width = 8.27, .length = 11.69}},
        {"a page with colour planes", kQpdlPjl + QpdlPage(0, {4}) + QpdlPage(0, {4, 1, 2, 3}) + kQpdlEnd,
         {.pages = 2, .colour = 1, .width = 8.5, .length = 11}},
        {"copies and duplex from the page header", kQpdlPjl + QpdlPage(1, {4}, 3, 1) + kQpdlEnd,
         {.pages = 1, .copies = 3, .duplex = 1, .width = 8.5, .length = 14}},
        {"duplex from PJL", "@PJL SET DUPLEX=ON\r\n@PJL ENTER LANGUAGE = QPDL\r\n" + QpdlPage(2, {4}) + kQpdlEnd,
         {.pages = 1, .duplex = 1, .width = 8.27, .length = 11.69}},
        {"a paper code of no row: the size in the header",
         kQpdlPjl + QpdlHeader(1, 99, 0, 2550, 4200) + QpdlBand(4) + Bin({1, 0, 1}) + kQpdlEnd,
         {.pages = 1, .width = 8.5, .length = 14}},
        {"the records of colour-laser models",
         kQpdlPjl + QpdlHeader(1, 2, 0) + Bin({0x13}) + std::string(14, '\0') + Bin({0x14}) + std::string(24, '\0') +
             QpdlBand(1) + Bin({0x14, 0x10}) + std::string(6, '\0') + Bin({1, 0, 1}) + kQpdlEnd,
         {.pages = 1, .colour = 1, .width = 8.27, .length = 11.69}},
        {"a band cut short", kQpdlPjl + QpdlPage(2, {4}) + QpdlHeader(1, 2, 0) + QpdlBand(4).substr(0, 20),
         {.pages = 1, .width = 8.27, .length = 11.69, .estimated = true}},
        {"no ENTER LANGUAGE", QpdlPage(2, {4}), {.code = QM_E_NOT_UNDERSTOOD}},
        {"no page", kQpdlPjl + kQpdlEnd, {.code = QM_E_NOT_UNDERSTOOD}},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountQpdl, c);

    // Records of another writer: the export's record, estimated, with the
    // duplex of the PJL header (marked unknown when it states none).
    const std::string other = "@PJL SET DUPLEX=ON\n@PJL ENTER LANGUAGE = QPDL\n" + QpdlHeader(2, 2, 0) + Bin({0x0c, 1, 0x13, 0xF0, 0, 0x80, 0x11, 0}) + Be32(0xFFFFFF);
    Result r;
    ASSERT_EQ(qm::accurate::CountQpdl(qm::Bytes(other), r), QM_OK);
    EXPECT_EQ(r.rec.pages, 1u);
    EXPECT_EQ(r.rec.duplex, 1);
    EXPECT_TRUE(r.estimated);
    EXPECT_EQ(r.unknown & QM_FIELD_DUPLEX, 0u);
    Result junk;
    EXPECT_EQ(qm::accurate::CountQpdl(qm::Bytes(kQpdlPjl + "\x55\x55\x55"), junk), QM_E_NOT_UNDERSTOOD);
}

}  // namespace

namespace {

// Printronix copies fields: digits stored exclusive-or 0xAA. A field that
// holds anything else (which the export would fold into a number) or that
// the job cuts short leaves the copies unknown.
TEST(AccuratePrintronix, CopiesOnlyFromFieldsOfDigits) {
    auto page = [](const std::string& digits) {
        std::string field;
        for (char d : digits) field += static_cast<char>(d ^ 0xAA);
        return Bin({0xD4, 0xEF, 0xF2}) + std::string(13, 'p') + Bin({0x91}) + field + Bin({0xA7}) + "raster";
    };
    struct Row {
        const char* name;
        std::string job;
        uint32_t pages, copies;
        bool copiesUnknown;
    };
    const Row rows[] = {
        {"copies 12", page("12") + page("7"), 2, 12, false},
        {"a field of 1 lets the next be read", page("1") + page("3"), 2, 3, false},
        {"a byte that is no digit", page("2x") + page("2"), 2, 1, true},
        {"a field cut by the end of the job", page("1") + page("3").substr(0, 18), 2, 1, true},
    };
    for (const Row& r : rows) {
        Result out;
        ASSERT_EQ(qm::accurate::CountPrintronix(qm::Bytes(r.job), out), QM_OK) << r.name;
        EXPECT_EQ(out.rec.pages, r.pages) << r.name;
        EXPECT_EQ(out.rec.copies, r.copies) << r.name;
        EXPECT_EQ((out.unknown & QM_FIELD_COPIES) != 0, r.copiesUnknown) << r.name;
    }
}

}  // namespace
