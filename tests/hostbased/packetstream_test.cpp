#include <gtest/gtest.h>

#include <memory>

#include "testutil.h"

using namespace qmtest;

namespace {

// The first n bytes of a job in a heap block of exactly that size, so that a
// read past the end is caught by the address sanitizer.
std::unique_ptr<char[]> ExactCopy(const std::string& job, size_t n) {
    std::unique_ptr<char[]> p(new char[n == 0 ? 1 : n]);
    if (n != 0) std::memcpy(p.get(), job.data(), n);
    return p;
}

std::string Be16(unsigned v) { return {char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string Le16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }

struct Expect {
    const char* name;
    std::string job;
    uint32_t pages;
};

// Every prefix of a job must scan without reading past its end (the address
// sanitizer build turns a stray read into a failure).
void ScanEveryPrefix(const char* tag, const std::string& job) {
    for (size_t n = 0; n <= job.size(); ++n) {
        const std::unique_ptr<char[]> cut = ExactCopy(job, n);  // a heap block of exactly n bytes
        PageCountResult rec{};
        const int32_t rc = CountWith(tag, std::string_view(cut.get(), n), rec);
        EXPECT_TRUE(rc == QM_OK || rc == QM_E_FAIL) << tag << " prefix " << n;
    }
}

// ---------------------------------------------------------------- PPA

std::string PpaPacket(char channel, const std::string& payload) {
    return std::string("$") + channel + Be16(unsigned(payload.size())) + payload;
}
// Payload 0x00 0x13 ... 0x02 0x01 at payload bytes 8 and 9.
std::string PpaPage() { return PpaPacket(0, Lit("\x00\x13" "abcdef" "\x02\x01")); }
std::string PpaPage81() { return PpaPacket(1, Lit("\x01\x81") + std::string(14, 'z') + Lit("\x02\x01")); }

TEST(PpaScan, CountsPagePacketsAndStepsOverPayloads) {
    const Expect cases[] = {
        {"one page", PpaPage(), 1},
        {"second page type", PpaPage81(), 1},
        {"two pages", PpaPage() + PpaPage81(), 2},
        {"mark in the wrong place", PpaPacket(0, Lit("\x00\x13" "abcdefg" "\x02\x01")), 0},
        {"type without mark", PpaPacket(0, Lit("\x00\x13" "abcdef" "\x02\x02")), 0},
        {"payload hides a page", PpaPacket(0, "xx" + PpaPage()) + PpaPage(), 1},
        // The scan resumes right after the payload: a "$" there is seen.
        {"resumes after the payload", PpaPacket(0, "ab") + PpaPage(), 1},
        {"$ then 0x02 is not a packet", Lit("$\x02") + PpaPage(), 1},
        // A non-packet "$" moves on by one byte only, so a packet may start
        // on the next byte.
        {"$ right before a packet", "$" + PpaPage(), 1},
        {"leading NULs", std::string(7, '\0') + PpaPage(), 1},
        {"payload length past the end", PpaPacket(0, "") .substr(0, 2) + Lit("\xFF\xFF") + PpaPage(), 0},
        {"header cut short", Lit("$\x00\x00"), 0},
        {"nothing", "plain text", 0},
    };
    for (const Expect& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("PPA", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 1u) << c.name;
        EXPECT_EQ(rec.color, 1) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_EQ(rec.paperWidth, 0.0) << c.name;
        EXPECT_EQ(rec.paperLength, 0.0) << c.name;
    }
}

TEST(PpaScan, PageTestReadsFixedOffsetsWhateverTheLength) {
    // Payload length 2, but the stream bytes at packet offsets 12 and 13 are
    // 0x02 0x01: the packet counts as a page, and the scan resumes 6 bytes on.
    const std::string job = Lit("$\x00\x00\x02\x00\x13" "abcdef" "\x02\x01");
    PageCountResult rec{};
    ASSERT_EQ(CountWith("PPA", job, rec), QM_OK);
    EXPECT_EQ(rec.pages, 1u);
    // The mark would lie past the end: no page, no read outside the data.
    ASSERT_EQ(CountWith("PPA", job.substr(0, 13), rec), QM_OK);
    EXPECT_EQ(rec.pages, 0u);
}

// ---------------------------------------------------------------- LIDIL

// A 23-byte packet header (longer when `length` says so) and its data block.
std::string LidilPacket(uint8_t type, uint8_t command, unsigned width = 0, unsigned length = 0,
                        const std::string& data = "", unsigned packetLength = 23) {
    std::string p = "$" + Be16(packetLength) + "x" + char(type) + char(command) + "yy" + Be16(unsigned(data.size()));
    p.resize(17, 'z');
    p += Be16(width) + "ww" + Be16(length);
    if (packetLength > p.size()) p.resize(packetLength, 'z');
    return p + data;
}

struct LidilCase {
    const char* name;
    std::string job;
    uint32_t pages;
    double width;
    double length;
};

TEST(LidilScan, CountsStartPagePacketsAndTakesTheLastPaper) {
    const std::string page = LidilPacket(0, 1, 20400, 27000);
    const LidilCase cases[] = {
        {"letter page", page, 1, 8.5, 11.0},
        {"last page's paper", page + LidilPacket(0, 1, 19848, 28656), 2, 8.27, 11.69},
        {"data block of type 7 hides a page", LidilPacket(7, 0, 0, 0, page) + page, 1, 8.5, 11.0},
        {"data block of command 4 hides a page", LidilPacket(0, 4, 0, 0, page), 0, 0.0, 0.0},
        // Other packets carry no data block, whatever offset 8 holds.
        {"no data block for other packets", LidilPacket(2, 3, 0, 0, "") .replace(8, 2, Be16(500)) + page, 1, 8.5, 11.0},
        {"packet length covers its header", LidilPacket(0, 5, 0, 0, "", 40) + page, 1, 8.5, 11.0},
        {"length hides a page", LidilPacket(0, 5, 0, 0, "", 23 + 23).substr(0, 23) + page, 0, 0.0, 0.0},
        {"zero-length packet moves on", Lit("$\x00\x00") + page, 1, 8.5, 11.0},
        {"leading NULs", std::string(3, '\0') + page, 1, 8.5, 11.0},
        {"data length past the end", LidilPacket(7, 0, 0, 0, "").substr(0, 9), 0, 0.0, 0.0},
        {"page cut before its paper", page + page.substr(0, 20), 2, 8.5, 11.0},
        {"nothing", "text", 0, 0.0, 0.0},
    };
    for (const LidilCase& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("LIDIL", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 0u) << c.name;  // LIDIL reports 0 copies, not 1
        EXPECT_EQ(rec.color, 1) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
}

// ---------------------------------------------------------------- CAPT

std::string CaptRecord(uint8_t type, const std::string& body, unsigned length = 0) {
    std::string r = std::string(1, char(type)) + "x" + Le16(length ? length : unsigned(body.size() + 4)) + body;
    return r;
}
std::string CaptSettings(unsigned copies) { return CaptRecord(1, "abcd" + Le16(copies) + "ef"); }
std::string CaptPage(uint8_t paper) { return CaptRecord(2, std::string(1, char(paper)) + "pagebody"); }

struct CaptCase {
    const char* name;
    std::string job;
    uint32_t pages;
    uint32_t copies;
    double width;
    double length;
};

TEST(CaptScan, WalksRecordsAndLooksUpTheLastPaper) {
    const CaptCase cases[] = {
        {"settings and two pages", CaptSettings(2) + CaptPage(9) + CaptPage(1), 2, 2, 8.5, 11.0},
        {"no settings: copies 0", CaptPage(1), 1, 0, 8.5, 11.0},
        {"last settings win", CaptSettings(2) + CaptSettings(4) + CaptPage(1), 1, 4, 8.5, 11.0},
        {"legal", CaptPage(5), 1, 0, 8.5, 14.0},
        {"executive", CaptPage(7), 1, 0, 7.25, 10.5},
        {"a4", CaptPage(9), 1, 0, 8.27, 11.69},
        {"b5", CaptPage(13), 1, 0, 7.17, 10.12},
        {"com10", CaptPage(20), 1, 0, 4.125, 9.5},
        {"c5", CaptPage(27), 1, 0, 6.38, 9.02},
        {"dl", CaptPage(28), 1, 0, 4.33, 8.66},
        {"monarch", CaptPage(37), 1, 0, 3.875, 7.5},
        {"unknown code", CaptPage(1) + CaptPage(2), 2, 0, 0.0, 0.0},
        {"no page: code 0 is not a size", CaptSettings(1), 0, 1, 0.0, 0.0},
        {"other type hides a page", CaptRecord(3, CaptPage(1)) + CaptPage(5), 1, 0, 8.5, 14.0},
        // Leading NUL bytes are ordinary data: a type-0 record.
        {"NULs are a record", Lit("\x00\x00\x06\x00\x02\x00") + CaptPage(1), 1, 0, 8.5, 11.0},
        {"zero length ends the walk", CaptPage(9) + CaptRecord(3, "", 0).replace(2, 2, Le16(0)) + CaptPage(1), 1, 0, 8.27, 11.69},
        {"length past the end", CaptRecord(3, "", 0xFFFF) + CaptPage(1), 0, 0, 0.0, 0.0},
        {"final header cut short", CaptPage(1) + Lit("\x02x\x10"), 1, 0, 8.5, 11.0},
        {"page cut before its code", CaptPage(5) + Lit("\x02x\x10\x00"), 2, 0, 8.5, 14.0},
        {"copies cut short", CaptRecord(1, "abcd", 4) + Lit("\x07"), 0, 0, 0.0, 0.0},
    };
    for (const CaptCase& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("CanonCAPT", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, c.copies) << c.name;
        EXPECT_EQ(rec.color, 0) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
}

// ---------------------------------------------------------------- Fuji

std::string FujiHeader(uint8_t copies, uint8_t size, uint8_t mode) {
    std::string h = "INFO";
    h.resize(64, 'h');
    h[50] = char(copies);
    h[62] = char(size);
    h[63] = char(mode);
    return h;
}
// A whole record of size code 1, mode 1 (10276407 bytes).
std::string FujiA4Record(uint8_t copies) {
    std::string r = FujiHeader(copies, 1, 1);
    r.resize(10276407, '\x55');
    return r;
}

struct FujiCase {
    const char* name;
    std::string job;
    uint32_t pages;
    uint32_t copies;
    double width;
    double length;
};

TEST(FujiScan, WalksRecordsByTheirTableLength) {
    const std::string a4 = FujiA4Record(2);
    const FujiCase cases[] = {
        {"one page, image cut", FujiHeader(3, 15, 0), 1, 3, 8.27, 11.69},
        {"two whole records", a4 + FujiHeader(4, 7, 1), 2, 4, 10.0, 6.0},
        {"next record not INFO", a4 + "JUNK" + FujiHeader(4, 7, 1), 1, 2, 8.27, 11.69},
        // A record that would start with 4 bytes or fewer left is not read.
        {"final INFO too short", a4 + "INFO", 1, 2, 8.27, 11.69},
        {"header cut before its size code", a4 + FujiHeader(4, 7, 1).substr(0, 63), 1, 2, 8.27, 11.69},
        {"no INFO at all", "not a photo job", 0, 1, 0.0, 0.0},
        {"INFO alone", "INFO", 0, 1, 0.0, 0.0},
        {"leading NUL is not skipped", Lit("\x00") + FujiHeader(3, 15, 0), 0, 1, 0.0, 0.0},
        {"mode 1 of size 19", FujiHeader(1, 19, 1), 1, 1, 11.69, 16.54},
        {"copies 0 stays 0", FujiHeader(0, 8, 0), 1, 0, 8.0, 10.0},
    };
    for (const FujiCase& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("FijiPhoto", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, c.copies) << c.name;
        EXPECT_EQ(rec.color, 1) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
}

TEST(FujiScan, RejectsSizesWithoutARecordLength) {
    const Expect cases[] = {
        {"size code 2", FujiHeader(1, 2, 0), 0},
        {"size 1 mode 0", FujiHeader(1, 1, 0), 0},
        {"after a good record", FujiA4Record(1) + FujiHeader(1, 0, 0), 0},
        // Rows past the table are as unknown as empty rows.
        {"size code 20", FujiHeader(1, 20, 0), 0},
        {"size 19 mode 2", FujiHeader(1, 19, 2), 0},
        {"largest code and mode", FujiHeader(1, 255, 255), 0},
    };
    for (const Expect& c : cases) {
        PageCountResult rec = MarkedRecord();
        EXPECT_EQ(CountWith("FijiPhoto", c.job, rec), QM_E_FAIL) << c.name;
        EXPECT_TRUE(IsMarked(rec)) << c.name;
    }
    PageCountResult rec = MarkedRecord();
    EXPECT_EQ(CountFile("FijiPhoto", FujiHeader(1, 2, 0), rec), QM_E_FAIL);
    EXPECT_TRUE(IsMarked(rec));
}

TEST(PpaScan, EveryPrefixEndsInsideTheData) { ScanEveryPrefix("PPA", PpaPage() + PpaPage81()); }
TEST(LidilScan, EveryPrefixEndsInsideTheData) {
    ScanEveryPrefix("LIDIL", LidilPacket(7, 1, 20400, 27000, "dd") + LidilPacket(0, 1, 1, 2));
}
TEST(CaptScan, EveryPrefixEndsInsideTheData) { ScanEveryPrefix("CanonCAPT", CaptSettings(3) + CaptPage(9)); }
TEST(FujiScan, EveryPrefixEndsInsideTheData) { ScanEveryPrefix("FijiPhoto", FujiHeader(1, 15, 0)); }

}  // namespace
