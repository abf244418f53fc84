#include "escp/serial_accurate.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "accurate/accurate.h"
#include "casefile.h"
#include "guarded.h"

namespace {

using namespace qmtest;
using qm::serial::SerialCount;

std::string B(const char* s, size_t n) { return std::string(s, n); }
#define BYTES(lit) B(lit, sizeof(lit) - 1)

qm::Bytes View(const std::string& s) { return qm::Bytes(s); }

// The colour of each page the count logged: a letter per page (M, C, U unknown).
std::string Colours(const SerialCount& n) {
    std::string colours;
    for (const auto& run : n.pageLog.Runs())
        colours.append(run.count, run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : 'U');
    return colours;
}

// Pages, colour, the sheet (width and length empty: none), two-sided or not, whether the
// walk slipped (met an unknown command or one cut short), and where given each page's colour.
template <class Count>
void ExpectSerialCases(const std::string& table, Count count) {
    for (const CaseRow& c : ReadCases(table)) {
        const Guarded job(c.bytes("job"));  // a read past its end faults
        const SerialCount n = count(job.bytes());
        EXPECT_EQ(n.pages, c.num("pages")) << c.name();
        EXPECT_EQ(n.color, Yes(c, "color")) << c.name();
        EXPECT_EQ(n.duplex, Yes(c, "duplex")) << c.name();
        EXPECT_NEAR(n.paperWidth, c.num("width"), 0.01) << c.name();
        EXPECT_NEAR(n.paperLength, c.num("length"), 0.01) << c.name();
        EXPECT_EQ(n.unknownCommands != 0 || n.truncated, Yes(c, "slipped")) << c.name();
        if (!c.text("colours").empty()) {
            EXPECT_EQ(Colours(n), c.text("colours")) << c.name();
        }
    }
}

TEST(SerialAccurate, Escp2WalksByStatedLengths) {
    ExpectSerialCases("escp/cases/serial_escp2.tsv", qm::serial::CountEscp2Job);
}

TEST(SerialAccurate, CanonModes) {
    ExpectSerialCases("escp/cases/serial_canon.tsv", qm::serial::CountCanonJob);

    // 8-bit control sequences after NULs: image data is skipped by its
    // stated count; CSI 30 p is letter.
    const std::string csi = BYTES("\x00\x00\x1b%@\x90" "0J job\x9c\x9b" "30p\x9b" "3;1;90.r\x0c\x0c\x0c\x9b" "2;3t\x0c");
    const SerialCount n = qm::serial::CountCanonJob(View(csi));
    EXPECT_EQ(n.pages, 1u);
    EXPECT_EQ(n.pageLog.Count(QM_PAGE_MONO), 1u);
    EXPECT_NEAR(n.paperLength, 11.0, 0.01);
}

// The colour of each page of an 8-bit control-sequence job, from the pixels
// its image commands send: a letter per page (M, C, U unknown).
TEST(SerialAccurate, CanonControlSequenceColour) {
    for (const CaseRow& c : ReadCases("escp/cases/canon_csi_colour.tsv")) {
        const Guarded job(c.bytes("job"));  // a read past its end faults
        const SerialCount n = qm::serial::CountCanonJob(job.bytes());
        const std::string colours = Colours(n);
        EXPECT_EQ(n.pages, c.num("pages")) << c.name();
        EXPECT_EQ(colours, c.text("colours")) << c.name();
        EXPECT_EQ(n.color, colours.find('C') != std::string::npos) << c.name();
        EXPECT_EQ(n.unknownCommands != 0 || n.truncated, Yes(c, "slipped")) << c.name();
    }
}

// A job of NULs placed to end at an unreadable page: the search for its
// first command stops at its end.
TEST(SerialAccurate, CanonJobOfNulsIsReadNoFurther) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE)), size = 100;
    void* map = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* end = static_cast<uint8_t*>(map) + page;
    std::memset(end - size, 0, size);
    ASSERT_EQ(::mprotect(end, page, PROT_NONE), 0);
    EXPECT_EQ(qm::serial::CountCanonJob(qm::Bytes(end - size, size)).pages, 0u);
    ::munmap(map, 2 * page);
}

TEST(SerialAccurate, RunCodingAndSheets) {
    using qm::serial::RunCoding;
    struct Run {
        std::string data;
        RunCoding coding;
        bool ink;
    };
    const Run runs[] = {
        {BYTES("\x80\x00"), RunCoding::Escp2, false}, {BYTES("\x80\x01"), RunCoding::Escp2, true},
        {BYTES("\x80\x01"), RunCoding::Canon, false},  // a no-op, then a literal cut short
        {BYTES("\x01\x00\x04"), RunCoding::Canon, true}, {BYTES("\xfe\x00\x00\x00"), RunCoding::Escp2, false},
    };
    for (const Run& r : runs)
        EXPECT_EQ(qm::serial::PackBitsHasInk(reinterpret_cast<const uint8_t*>(r.data.data()),
                                             static_cast<uint32_t>(r.data.size()), r.coding),
                  r.ink);

    struct Sheet {
        double width, length;
        bool found;
        double sheetLength;
    };
    const Sheet sheets[] = {
        {0, 11.0, true, 11.0}, {0, 11.5, false, 0}, {8.5, 14.3, true, 14.0},
        {8.5, 11.3, true, 11.0}, {8.5, 15.0, false, 0}, {9.0, 11.0, false, 0},
        // each end of the length a form may state for a sheet, of the width, and one step outside
        {8.5, 10.97, true, 11.0}, {8.5, 10.96, false, 0}, {8.5, 11.5, true, 11.0}, {8.5, 11.51, false, 0},
        {8.53, 11.0, true, 11.0}, {8.54, 11.0, false, 0}, {0, 11.02, true, 11.0}, {0, 11.04, false, 0},
    };
    for (const Sheet& s : sheets) {
        double w = 0, l = 0;
        EXPECT_EQ(qm::serial::StandardSheet(s.width, s.length, w, l), s.found) << s.width << " x " << s.length;
        if (s.found) {
            EXPECT_DOUBLE_EQ(l, s.sheetLength);
        }
    }
}

// Through the accurate entry points: a job with no command of the language,
// or more escapes it cannot read than it can, is not counted; one that met
// an escape it cannot read is estimated.
TEST(SerialAccurate, Records) {
    qmtest::ExpectAccurateCases(qm::accurate::AccurateESCP2, "escp/cases/serial_records.tsv");
    qmtest::ExpectAccurate(qm::accurate::AccurateCANON, {"plain text", "plain text\f", qmtest::kNotUnderstood});
}

// Detection walks commands by the lengths they state: a byte that is
// neither text nor a command, or data read as one, is no bid; the level.
TEST(SerialBids, StepOverDataByItsLength) { qmtest::ExpectBidLevels("escp/cases/serial_bids.tsv"); }

}  // namespace
