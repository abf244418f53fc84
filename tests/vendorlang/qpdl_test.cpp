#include <iterator>

#include "casefile.h"
#include "jobfile/diag.h"
#include "pcl/reference_scan.h"
#include "vendorlang/vendor_accurate.h"

namespace qm {
int32_t ScanQPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;
using qm::accurate::Result;

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

// Jobs start with the PJL header (a page header as first byte would be lost
// to the leading-NUL skip).
const std::string J = "\x1B%-12345X@PJL ENTER LANGUAGE=QPDL\n";

TEST(QpdlPages, CopiesFromTheFirstHeader) {
    ExpectRecordCases("QPDL", "vendorlang/cases/qpdl_copies.tsv");
    // No header counted: paper byte 0 selects the first row.
    ExpectRecord("QPDL", "NULs only, through the file", std::string(64, '\0'), {0, 0, 0, 0, 8.5, 11.0}, true);
    EXPECT_EQ(ScanEndingAtAPage("QPDL", J + Page(1) + "\x1Bx"), QM_OK);
}

TEST(QpdlPages, SkippedRecordsHideMarkers) {
    ExpectRecordCases("QPDL", "vendorlang/cases/qpdl_skipped.tsv");
}

TEST(QpdlSettings, PaperRowAndColour) {
    ExpectRecordCases("QPDL", "vendorlang/cases/qpdl_settings.tsv");
}

TEST(QpdlLines, OneLinePerMarkerOutsideRecords) {
    ExpectLines("QPDL", "markers, one inside a record", "\x1B%-12345X@PJL JOB\n)note\n" + Page(1) + Raster(20, "@)\x1B"),
                {"Samsung!GetTotalPageCount_QPDL: ESC command! 1B 0\n",
                 "Samsung!GetTotalPageCount_QPDL: PJL command! 40 9\n",
                 "Samsung!GetTotalPageCount_QPDL: PJL comment! 29 12\n"});
}

// The counter jumps between the bytes that may start a header, record, PJL
// line or comment; it must count and report what a walk over every byte does.
TEST(QpdlReference, CountsWhatAWalkOverEveryByteCounts) {
    const std::string header = Bin({0x00, 0x06, 0x00, 0x02, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C});
    const std::string record = Bin({0x0C, 0x00, 0x13, 0x60, 0, 0, 0, 0, 0, 0x00, 0x04, 0, 0});
    ExpectSameOnCorpusAndRandom(
        "QPDL", qm::ScanQPDLEveryByte,
        {header, record, std::string(1, '\0'), "\x0c", "@PJL SET COLORMODE = COLOR\n", "@PJL\n", "@", ")", "\n",
         "\x1b", Bin({0x0C, 0x00, 0xEF, 0xCD, 0, 0, 0, 0, 0, 0, 0x00, 0x02})});
}

// The lines are written without the general formatter: they must read as
// the format would write them, also for indexes of many digits.
TEST(QpdlReference, LinesReadAsTheFormatWritesThem) {
    std::string job(0xABCDF0, 'x');
    const uint32_t places[] = {0, 9, 0x10, 0xFF, 0x1000, 0xABCDE, 0xABCDEF};
    const char* events[] = {"@PJL command", ")PJL comment", "\x1b" "ESC command"};
    std::vector<std::string> want;
    for (size_t k = 0; k < std::size(places); ++k) {
        job[places[k]] = events[k % 3][0];
        const std::string fmt = "Samsung!GetTotalPageCount_QPDL: " + std::string(events[k % 3] + 1) + "! %X %X\n";
        char line[256];
        qm::FormatDiagf(line, sizeof line, fmt.c_str(), static_cast<unsigned char>(events[k % 3][0]), places[k]);
        want.emplace_back(line);
    }
    // A ")" skips to the next line feed: give it one right away.
    job[places[1] + 1] = '\n';
    job[places[4] + 1] = '\n';
    const ScanOutcome o = RunScan(qm::FindCounter("QPDL")->scan, true, job);
    EXPECT_EQ(o.lines, want);
}

// ---- The accurate count of QPDL as foo2qpdl writes it: bands stepped over
// by their declared length, so that bytes inside them never count.
std::string QpdlHeader(uint16_t copies, uint8_t paper, uint8_t duplex, uint16_t w300 = 2550, uint16_t h300 = 3300) {
    return Bin({0, 6}) + Be16(copies) + Bin({paper}) + Be16(w300) + Be16(h300) + Bin({1, 0, duplex, 0, 0, 2, 1, 6});
}
// A band of `plane` whose data holds bytes that start records elsewhere: a
// page header, a page end, a PJL comment.
std::string QpdlBand(uint8_t plane) {
    const std::string data = Bin({0, 6, 0, 1, 2}) + ")comment" + Bin({1, 0, 1, 0x0c, 0x29});
    return Bin({0x0c, 1, 1, 0x3e, 0, 0x80, plane, 0x13}) + Be32(uint32_t(data.size())) + data;
}
// A band of a monochrome printer as splix writes it: no plane byte, so the
// length comes a byte earlier.
std::string SplixMonoBand() {
    const std::string data = Bin({0xef, 0xcd, 0xab, 0x09, 1, 0, 1, 0x0c}) + ")comment";
    return Bin({0x0c, 1, 0x13, 0xF0, 0, 0x80, 0x11}) + Be32(uint32_t(data.size())) + data;
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
        {"a band cut inside its length", kQpdlPjl + QpdlPage(2, {4}) + QpdlHeader(1, 2, 0) + QpdlBand(4).substr(0, 11),
         {.pages = 1, .width = 8.27, .length = 11.69, .estimated = true}},
        {"splix's monochrome bands name no plane", kQpdlPjl + QpdlHeader(1, 2, 0) + SplixMonoBand() + SplixMonoBand() +
             Bin({1, 0, 1}) + kQpdlEnd,
         {.pages = 1, .width = 8.27, .length = 11.69}},
        {"PJL's DUPLEX=OFF over splix's duplex byte of one-sided pages",
         "@PJL SET DUPLEX=OFF\r\n@PJL ENTER LANGUAGE = QPDL\r\n" + QpdlPage(5, {4}, 1, 1) + kQpdlEnd,
         {.pages = 1, .width = 11.69, .length = 16.54}},
        {"a band outside a page ends the walk", kQpdlPjl + QpdlPage(2, {4}) + QpdlBand(1) + QpdlPage(2, {4}) + kQpdlEnd,
         {.pages = 1, .width = 8.27, .length = 11.69, .estimated = true}},
        {"the last page ending the job, no end record", kQpdlPjl + QpdlPage(2, {4}),
         {.pages = 1, .width = 8.27, .length = 11.69}},
        {"no ENTER LANGUAGE", QpdlPage(2, {4}), {.code = QM_E_NOT_UNDERSTOOD}},
        {"no page", kQpdlPjl + kQpdlEnd, {.code = QM_E_NOT_UNDERSTOOD}},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountQpdl, c);

    // Records of another writer: the export's record, estimated, with the
    // duplex of the PJL header (marked unknown when it states none).
    const std::string other = "@PJL SET DUPLEX=ON\n@PJL ENTER LANGUAGE = QPDL\n" + QpdlHeader(2, 2, 0) + Bin({0x0c, 1, 0x13, 0xF0, 0, 0x80, 0x11, 0}) + Be32(0xFFFFFF);
    Result r;
    ASSERT_EQ(qm::accurate::CountQpdl(qmtest::Guarded(other).bytes(), r), QM_OK);
    EXPECT_EQ(r.rec.pages, 1u);
    EXPECT_EQ(r.rec.duplex, 1);
    EXPECT_TRUE(r.estimated);
    EXPECT_EQ(r.unknown, 0u);  // PJL states the duplex; nothing else is left open
    Result junk;
    EXPECT_EQ(qm::accurate::CountQpdl(qmtest::Guarded(kQpdlPjl + "\x55\x55\x55").bytes(), junk), QM_E_NOT_UNDERSTOOD);
}

}  // namespace
