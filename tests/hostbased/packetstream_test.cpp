#include <algorithm>

#include "casefile.h"

using namespace qmtest;

namespace {

std::string Ppa(char channel, const std::string& payload) {
    return std::string("$") + channel + Be16(unsigned(payload.size())) + payload;
}
const std::string kPpaPage = Ppa(0, Lit("\x00\x13" "abcdef" "\x02\x01"));
const std::string kPpaPage81 = Ppa(1, Lit("\x01\x81") + std::string(14, 'z') + Lit("\x02\x01"));

TEST(PpaScan, CountsPagePacketsAndStepsOverPayloads) {
    ExpectRecordCases("PPA", "hostbased/cases/ppa_pages.tsv");
    ExpectEveryPrefixScans("PPA", kPpaPage + kPpaPage81);
}

// A 23-byte LIDIL packet header (padded to `packetLength`) and its data block.
std::string Lidil(uint8_t type, uint8_t command, unsigned width = 0, unsigned length = 0,
                  const std::string& data = "", unsigned packetLength = 23) {
    std::string p = "$" + Be16(packetLength) + "x" + char(type) + char(command) + "yy" + Be16(unsigned(data.size()));
    p.resize(17, 'z');
    p += Be16(width) + "ww" + Be16(length);
    p.resize(std::max<size_t>(p.size(), packetLength), 'z');
    return p + data;
}

TEST(LidilScan, CountsStartPagePacketsAndTakesTheLastPaper) {
    const std::string page = Lidil(0, 1, 20400, 27000);
    ExpectRecordCases("LIDIL", "hostbased/cases/lidil_pages.tsv");
    ExpectEveryPrefixScans("LIDIL", Lidil(7, 1, 20400, 27000, "dd") + page);
}

std::string Capt(uint8_t type, const std::string& body) {
    return std::string(1, char(type)) + "x" + Le16(unsigned(body.size() + 4)) + body;
}
std::string CaptSettings(unsigned copies) { return Capt(1, "abcd" + Le16(copies) + "ef"); }
std::string CaptPage(uint8_t paper) { return Capt(2, std::string(1, char(paper)) + "body"); }

TEST(CaptScan, WalksRecordsAndLooksUpTheLastPaper) {
    ExpectRecordCases("CanonCAPT", "hostbased/cases/capt_pages.tsv");
    ExpectEveryPrefixScans("CanonCAPT", CaptSettings(3) + CaptPage(9));
}

std::string FujiHeader(uint8_t copies, uint8_t size, uint8_t mode) {
    std::string h = "INFO";
    h.resize(64, 'h');
    h[50] = char(copies);
    h[62] = char(size);
    h[63] = char(mode);
    return h;
}

TEST(FujiScan, WalksRecordsByTheirTableLength) {
    std::string a4 = FujiHeader(2, 1, 1);
    a4.resize(10276407, 'U');  // the whole record of size 1, mode 1
    const Case cases[] = {
        {"one page, image cut", FujiHeader(3, 15, 0), {1, 3, 1, 0, 8.27, 11.69}},
        {"two records", a4 + FujiHeader(0, 7, 1), {2, 0, 1, 0, 10.0, 6.0}},
        {"next record not INFO", a4 + "JUNK" + FujiHeader(4, 7, 1), {1, 2, 1, 0, 8.27, 11.69}},
        {"final INFO with 4 bytes left", a4 + "INFO", {1, 2, 1, 0, 8.27, 11.69}},
        {"header cut before its size code", a4 + FujiHeader(4, 7, 1).substr(0, 63), {1, 2, 1, 0, 8.27, 11.69}},
        {"no INFO: 1 copy", "photo", {0, 1, 1}},
        {"leading NUL is not skipped", Lit("\x00") + FujiHeader(3, 15, 0), {0, 1, 1}},
        // Sizes without a record length, and the first row past the table.
        {"size 2", FujiHeader(1, 2, 0), kRejected},
        {"size 1 mode 0", FujiHeader(1, 1, 0), kRejected},
        {"size 19 mode 2", FujiHeader(1, 19, 2), kRejected},
    };
    for (const Case& c : cases) ExpectRecord("FijiPhoto", c);
    ExpectEveryPrefixScans("FijiPhoto", FujiHeader(1, 15, 0));
}

// Bodies are stepped over by their lengths, never read: a body lying on
// unreadable pages must not fault, and the walk finds the record after it.
TEST(PpaLidilCaptFuji, NeverTouchSkippedBodies) {
    const unsigned body = unsigned(2 * ::sysconf(_SC_PAGESIZE));
    EXPECT_EQ(PagesAcrossHole("PPA", Lit("$\x00") + Be16(body) + std::string(22, 'z'), body - 22, kPpaPage), 1);
    EXPECT_EQ(PagesAcrossHole("LIDIL", Lidil(7, 0).replace(8, 2, Be16(body)), body, Lidil(0, 1)), 1);
    EXPECT_EQ(PagesAcrossHole("CanonCAPT", Lit("\x03x") + Le16(body) + std::string(8, 'h'), body - 12, CaptPage(1)), 1);
    EXPECT_EQ(PagesAcrossHole("FijiPhoto", FujiHeader(1, 1, 1), 10276407 - 64, FujiHeader(1, 15, 0)), 2);
}

}  // namespace
