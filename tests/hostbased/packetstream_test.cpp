#include <algorithm>

#include "testutil.h"

using namespace qmtest;

namespace {

std::string Ppa(char channel, const std::string& payload) {
    return std::string("$") + channel + Be16(unsigned(payload.size())) + payload;
}
const std::string kPpaPage = Ppa(0, Lit("\x00\x13" "abcdef" "\x02\x01"));
const std::string kPpaPage81 = Ppa(1, Lit("\x01\x81") + std::string(14, 'z') + Lit("\x02\x01"));

TEST(PpaScan, CountsPagePacketsAndStepsOverPayloads) {
    const Case cases[] = {
        {"both page types", kPpaPage + kPpaPage81, {2, 1, 1}},
        {"mark one byte off", Ppa(0, Lit("\x00\x13" "abcdefg" "\x02\x01")), {0, 1, 1}},
        {"payload hides a page", Ppa(0, "xx" + kPpaPage) + kPpaPage, {1, 1, 1}},
        // The mark is read at fixed offsets from the "$" whatever the length.
        {"short payload, mark beyond it", Lit("$\x00\x00\x02\x00\x13" "abcdef" "\x02\x01"), {1, 1, 1}},
        {"$ then 0x02 moves on by one", "$" + std::string(1, 2) + "$" + kPpaPage, {1, 1, 1}},
        {"length past the end", Lit("$\x00\xFF\xFF") + kPpaPage, {0, 1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("PPA", c);
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
    const Case cases[] = {
        {"last page's paper", Lidil(0, 1, 1, 1) + page, {2, 0, 1, 0, 8.5, 11.0}},
        {"type 7 data hides a page", Lidil(7, 0, 0, 0, page) + page, {1, 0, 1, 0, 8.5, 11.0}},
        {"command 4 data hides a page", Lidil(0, 4, 0, 0, page), {0, 0, 1}},
        {"other packets have no data", Lidil(2, 3).replace(8, 2, Be16(500)) + page, {1, 0, 1, 0, 8.5, 11.0}},
        {"length hides a page", Lidil(0, 5, 0, 0, "", 46).substr(0, 23) + page, {0, 0, 1}},
        {"zero-length packet moves on", Lit("$\x00\x00") + page, {1, 0, 1, 0, 8.5, 11.0}},
        {"page cut before its paper", page + page.substr(0, 20), {2, 0, 1, 0, 8.5, 11.0}},
    };
    for (const Case& c : cases) ExpectRecord("LIDIL", c);
    ExpectEveryPrefixScans("LIDIL", Lidil(7, 1, 20400, 27000, "dd") + page);
}

std::string Capt(uint8_t type, const std::string& body) {
    return std::string(1, char(type)) + "x" + Le16(unsigned(body.size() + 4)) + body;
}
std::string CaptSettings(unsigned copies) { return Capt(1, "abcd" + Le16(copies) + "ef"); }
std::string CaptPage(uint8_t paper) { return Capt(2, std::string(1, char(paper)) + "body"); }

TEST(CaptScan, WalksRecordsAndLooksUpTheLastPaper) {
    const Case cases[] = {
        {"settings and two pages", CaptSettings(2) + CaptPage(9) + CaptPage(1), {2, 2, 0, 0, 8.5, 11.0}},
        {"no settings: copies 0", CaptPage(5), {1, 0, 0, 0, 8.5, 14.0}},
        {"unknown code", CaptPage(1) + CaptPage(2), {2, 0}},
        {"other type hides a page", Capt(3, CaptPage(1)) + CaptPage(27), {1, 0, 0, 0, 6.38, 9.02}},
        {"NULs are a type-0 record", Lit("\x00\x00\x06\x00\x02\x00") + CaptPage(28), {1, 0, 0, 0, 4.33, 8.66}},
        {"zero length ends the walk", CaptPage(9) + Lit("\x03x\x00\x00") + CaptPage(1), {1, 0, 0, 0, 8.27, 11.69}},
        {"page cut before its code", CaptPage(7) + Lit("\x02x\x10\x00"), {2, 0, 0, 0, 7.25, 10.5}},
    };
    for (const Case& c : cases) ExpectRecord("CanonCAPT", c);
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
