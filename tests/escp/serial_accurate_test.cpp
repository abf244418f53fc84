#include "escp/serial_accurate.h"

#include <gtest/gtest.h>

#include <string>

#include "accurate/accurate.h"

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

    // Two-sided printing is asked for in the remote-mode block.
    const std::string remote = init + BYTES("\x1b(R\x08\x00\x00REMOTE1SN\x01\x00\x00" "DP\x02\x00\x00");
    EXPECT_TRUE(qm::serial::CountEscp2Job(View(remote + BYTES("\x02\x1b\x00\x00\x00\x0c"))).duplex);
    EXPECT_FALSE(qm::serial::CountEscp2Job(View(remote + BYTES("\x00\x1b\x00\x00\x00\x0c"))).duplex);
    EXPECT_FALSE(qm::serial::CountEscp2Job(View(init + BYTES("\x0c"))).duplex);
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

    // 8-bit control sequences: image data is skipped by its stated count.
    const std::string csi = BYTES("\x1b%@\x90" "0J job\x9c\x9b" "14p\x9b" "3;1;90.r\x0c\x0c\x0c\x9b" "2;3t\x0c");
    const SerialCount n = qm::serial::CountCanonJob(View(csi));
    EXPECT_EQ(n.pages, 1u);
    EXPECT_FALSE(n.colorKnown);
    EXPECT_NEAR(n.paperLength, 11.69, 0.01);
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
// or more escapes it cannot read than it can, is not counted.
TEST(SerialAccurate, NoCommandIsNotUnderstood) {
    const std::string text = "plain text\f";
    const std::string strange = BYTES("\x1b@\x1b\x80\x1b\x81\x0c");  // more unknown escapes than known
    qm::accurate::Result r;
    EXPECT_EQ(qm::accurate::AccurateESCP2(View(text), r), QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::AccurateCANON(View(text), r), QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::AccurateESCP2(View(strange), r), QM_E_NOT_UNDERSTOOD);
    const std::string job = BYTES("\x1b@text\x0c");
    qm::accurate::Result ok;
    ASSERT_EQ(qm::accurate::AccurateESCP2(View(job), ok), QM_OK);
    EXPECT_EQ(ok.rec.pages, 1u);
    EXPECT_EQ(ok.rec.copies, 1u);
}

}  // namespace
