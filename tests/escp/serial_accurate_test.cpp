#include "escp/serial_accurate.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "accurate/accurate.h"
#include "accurate_testutil.h"

namespace {

using qm::serial::SerialCount;

std::string B(const char* s, size_t n) { return std::string(s, n); }
#define BYTES(lit) B(lit, sizeof(lit) - 1)

qm::Bytes View(const std::string& s) { return qm::Bytes(s); }

struct Case {
    const char* name;
    std::string job;
    uint32_t pages;
    bool color;
    double width, length;  // 0: no sheet
    bool slipped;          // unknown commands or a cut command
};

void Check(const Case& c, const SerialCount& n) {
    EXPECT_EQ(n.pages, c.pages) << c.name;
    EXPECT_EQ(n.color, c.color) << c.name;
    EXPECT_NEAR(n.paperWidth, c.width, 0.01) << c.name;
    EXPECT_NEAR(n.paperLength, c.length, 0.01) << c.name;
    EXPECT_EQ(n.unknownCommands != 0 || n.truncated, c.slipped) << c.name;
}

TEST(SerialAccurate, Escp2WalksByStatedLengths) {
    const std::string init = BYTES("\x1b@");
    const Case cases[] = {
        // A run count of 128 repeats its byte 129 times: the 0x0C after the
        // data's 166 bytes is data no more, the one after it ejects.
        {"rle 128", init + BYTES("\x1b.\x01\x14\x14\x01\x30\x05\x80\x00\xea\x0c\x05\x0c\x0c\x0c\x0c\x0c\x0c\xfb\x00\x01\x0f\xfc\x0c"),
         1, false, 0, 0, false},
        {"unknown ESC ( command skipped by its count", init + BYTES("\x1b(i\x03\x00\x0c\x0c\x0c\x0c"), 1, false, 0, 0, false},
        {"parameterised ESC * and ESC | bands", BYTES("\x1b*rbC\x1b*t180R\x1b|J\x00\x28\x1b|B@\x04\x00\x02\x0c\x0c\x0c\x0c\x1b@"),
         1, false, 0, 0, false},
        {"remote mode data", init + BYTES("\x1b(R\x08\x00\x00REMOTE1JS\x02\x00\x0c\x0c\x1b\x00\x00\x00\x0c"), 1, false, 0, 0, false},
        {"EJL handshake", BYTES("\x00\x00\x00\x1b\x01@EJL 1284.4\n@EJL     \n\x1b@\x0c"), 1, false, 0, 0, false},
        {"marks left after the last form feed print", init + BYTES("A\x0c" "B"), 2, false, 0, 0, false},
        {"no marks, no form feed", init, 0, false, 0, 0, false},
        {"unknown escape", init + BYTES("\x1b\x80\x0c"), 1, false, 0, 0, true},
        {"data cut short", init + BYTES("\x1b.\x00\x14\x14\x18\x00\x10\x0c"), 1, false, 0, 0, true},  // marked by its data
        {"ESC i with a coding it cannot follow", init + BYTES("\x1bi\x01\x02\x01\x01\x00\x01\x00\xff\x0c"), 1, false, 0, 0, true},
        // Paper: a form length in units names the sheet; whole inches do not.
        {"ESC ( C in 1/180", init + BYTES("\x1b(U\x01\x00\x14\x1b(C\x02\x00\x39\x08\x0c"), 1, false, 8.27, 11.69, false},
        {"ESC ( S with a bottom allowance", init + BYTES("\x1b(U\x05\x00\x04\x04\x04\x40\x0b\x1b(S\x08\x00\x3e\x17\x00\x00\xd4\x21\x00\x00\x0c"),
         1, false, 8.27, 11.69, false},
        {"legal in 1/360", init + BYTES("\x1b(C\x02\x00\xb0\x13\x0c"), 1, false, 8.5, 14.0, false},
        {"ESC C NUL 11 is no sheet", init + BYTES("\x1b" "C\x00\x0b\x0c"), 1, false, 0, 0, false},
        // Colour: only ink on a colour plane counts, page by page.
        {"colour plane of zeros", init + BYTES("\x1br\x01\x1b.\x00\x14\x14\x01\x10\x00\x00\x00\x0c"), 1, false, 0, 0, false},
        {"colour plane with ink on page 2", init + BYTES("\x1b.\x00\x14\x14\x01\x08\x00\xff\x0c\x1br\x02\x1b.\x00\x14\x14\x01\x08\x00\x01\x0c"),
         2, true, 0, 0, false},
        {"ESC i light black", init + BYTES("\x1bi\x40\x00\x01\x01\x00\x01\x00\xff\x0c"), 1, false, 0, 0, false},
        {"ESC i cyan, coded", init + BYTES("\x1bi\x02\x01\x01\x02\x00\x01\x00\xff\x07\x0c"), 1, true, 0, 0, false},
    };
    for (const Case& c : cases) Check(c, qm::serial::CountEscp2Job(View(c.job)));
}

TEST(SerialAccurate, CanonModes) {
    const std::string raster = BYTES("\x1b[K\x02\x00\x00\x0f");
    const Case cases[] = {
        {"ESC [ g graphics hold control bytes", BYTES("\x1b[K\x02\x00\x00\x24\x1b[g\x05\x00\x10\x0c\x1b\x0c\xff\x0d\x0c"), 1, false, 0, 0,
         false},
        {"raster colour line and page length", raster + BYTES("\x1b(g\x03\x00\x75\x01\x50\x1b(A\x04\x00\x43\x01\x0c\x00\x0d\x0c\x1b@"), 1,
         true, 8.27, 11.69, false},
        {"raster black only", raster + BYTES("\x1b(A\x03\x00K\xfe\x0f\x1b(A\x03\x00Y\xfe\x00\x0c"), 1, false, 0, 0, false},
        {"back to the emulation", raster + BYTES("\x0c\x1b@\x1b[K\x02\x00\x00\x0f\x0c"), 2, false, 0, 0, false},
        {"text control block prints nothing", BYTES("\x1b[K\x02\x00\x00\x1f" "BJLSTART\nControlMode=Common\nBJLEND\n"), 0, false, 0,
         0, false},
    };
    for (const Case& c : cases) Check(c, qm::serial::CountCanonJob(View(c.job)));

    // 8-bit control sequences after NULs: image data is skipped by its
    // stated count; CSI 30 p is letter.
    const std::string csi = BYTES("\x00\x00\x1b%@\x90" "0J job\x9c\x9b" "30p\x9b" "3;1;90.r\x0c\x0c\x0c\x9b" "2;3t\x0c");
    const SerialCount n = qm::serial::CountCanonJob(View(csi));
    EXPECT_EQ(n.pages, 1u);
    EXPECT_FALSE(n.colorKnown);
    EXPECT_NEAR(n.paperLength, 11.0, 0.01);
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
    const std::string remote = BYTES("\x1b@\x1b(R\x08\x00\x00REMOTE1SN\x01\x00\x00" "DP\x02\x00\x00");
    const qmtest::AccurateCase escp2[] = {
        {"plain text", "plain text\f", qmtest::kNotUnderstood},
        {"more unknown escapes than known", BYTES("\x1b@\x1b\x80\x1b\x81\x0c"), qmtest::kNotUnderstood},
        {"a page", BYTES("\x1b@text\x0c"), {.pages = 1}},
        {"two-sided", remote + BYTES("\x02\x1b\x00\x00\x00\x0c"), {.pages = 1, .duplex = 1}},
        {"one-sided", remote + BYTES("\x00\x1b\x00\x00\x00\x0c"), {.pages = 1}},
        {"an escape it cannot read", BYTES("\x1b@\x1b@\x1b\x80\x0c"), {.pages = 1, .estimated = true}},
    };
    for (const auto& c : escp2) qmtest::ExpectAccurate(qm::accurate::AccurateESCP2, c);
    qmtest::ExpectAccurate(qm::accurate::AccurateCANON, {"plain text", "plain text\f", qmtest::kNotUnderstood});
}

// Detection walks commands by the lengths they state: a byte that is
// neither text nor a command, or data read as one, is no bid.
TEST(SerialBids, StepOverDataByItsLength) {
    const struct {
        const char* tag;
        const char* name;
        std::string job;
        bool bid;
    } rows[] = {
        {"ESCP2", "two commands, the whole job", BYTES("\x1b@\x1b(U\x01\x00\x0a\x1b@"), true},
        {"ESCP2", "a control byte text never holds", BYTES("\x1b@\x1b(U\x01\x00\x0a\x01\x1b@"), false},
        {"ESCP2", "3-bit rows round up to whole bytes", BYTES("\x1b@\x1bi\x01\x00\x03\x02\x00\x01\x00\x00\x01\x1b@"), true},
        {"CANON", "an image sequence skips its count", BYTES("\x1b%@\x9b" "1;1.rX\x9bp\x9b@"), true},
    };
    for (const auto& r : rows) {
        const int bid = qm::accurate::BidOf(*qm::accurate::FindLanguage(r.tag), View(r.job));
        EXPECT_EQ(bid > qm::accurate::kNoBid, r.bid) << r.name;
    }
}

}  // namespace
