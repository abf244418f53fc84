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

struct Case {
    const char* name;
    std::string job;
    uint32_t pages;
    uint8_t color;
};

void Check(const Case& c) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountWith("Lexmark", c.job, rec), QM_OK) << c.name;
    EXPECT_EQ(rec.pages, c.pages) << c.name;
    EXPECT_EQ(rec.copies, 1u) << c.name;
    EXPECT_EQ(rec.color, c.color) << c.name;
    EXPECT_EQ(rec.duplex, 0) << c.name;
    EXPECT_EQ(rec.paperWidth, 0.0) << c.name;
    EXPECT_EQ(rec.paperLength, 0.0) << c.name;
}

// A job header: 0xA5, padding, and the dialect byte at offset 19.
std::string Header(char dialect) {
    std::string h(1, '\xA5');
    h.resize(19, 'x');
    return h + dialect;
}

// ---- escape dialect

const std::string kPage = Lit("\x1B*\x07" "e\x00");                 // 5 bytes
const std::string kPagePair = Lit("\x1B*\x07" "e" "\x1B*\x07\x00" "e");  // one page

// A headed swath: ESC "*" 0x04, u16 BE length, bytes 7 and 8 the colour pair.
std::string HeadedSwath(unsigned length, char c7, char c8, size_t size = 16) {
    std::string s = Lit("\x1B*\x04") + char(length >> 8) + char(length & 0xFF) + "ab" + c7 + c8;
    s.resize(size, 'z');
    return s;
}
// An unheaded swath: u24 BE length, bytes 9 and 10 the colour pair.
std::string UnheadedSwath(unsigned length, char c9, char c10, size_t size = 16) {
    std::string s = Lit("\x1B*\x04") + char(length >> 16) + char((length >> 8) & 0xFF) + char(length & 0xFF) +
                    "abc" + c9 + c10;
    s.resize(size, 'z');
    return s;
}

TEST(LexmarkEscape, CountsPageCommandsAndSwathColour) {
    const Case cases[] = {
        {"three pages", kPage + kPage + kPage, 3, 0},
        {"page pair is one page", kPagePair, 1, 0},
        {"pair then a page", kPagePair + kPage, 2, 0},
        {"pair needs the e", Lit("\x1B*\x07" "e" "\x1B*\x07\x00" "f") + kPage, 2, 0},
        // The page command takes five bytes: an ESC in its fifth byte is not seen.
        {"fifth byte is part of the page", Lit("\x1B*\x07" "e") + kPage, 1, 0},
        {"page letter missing at the end", Lit("\x1B*\x07"), 0, 0},
        {"other code", Lit("\x1B*\x09") + kPage, 1, 0},
        {"ESC without star", Lit("\x1B" "a") + kPage, 1, 0},
        {"leading NULs", std::string(4, '\0') + kPage, 1, 0},
        {"unheaded swath, mono pair", UnheadedSwath(16, 1, 1) + kPage, 1, 0},
        {"unheaded swath, colour pair", UnheadedSwath(16, 1, 2) + kPage, 1, 1},
        {"unheaded swath hides a page", UnheadedSwath(16 + 5, 1, 1) + kPage, 0, 0},
        {"unheaded swath past the end", UnheadedSwath(0xFFFFFF, 1, 1) + kPage, 0, 0},
        // The colour test needs more than two bytes from its first byte.
        {"unheaded colour pair at the end", UnheadedSwath(11, 1, 2, 11), 0, 0},
        {"unheaded colour pair with a byte more", UnheadedSwath(12, 1, 2, 12), 0, 1},
        {"zero-length swath moves on", UnheadedSwath(0, 1, 1) + kPage, 1, 0},
        {"swath length cut short", Lit("\x1B*\x04\x00"), 0, 0},
    };
    for (const Case& c : cases) Check(c);
}

TEST(LexmarkEscape, HeadedSwathsUseTheirOwnLengthAndColourBytes) {
    const std::string h = Header('y');
    const Case cases[] = {
        {"colour pair", h + HeadedSwath(16, 1, 0) + kPage, 1, 1},
        {"mono pair", h + HeadedSwath(16, 1, 1) + kPage, 1, 0},
        // The next command is looked for 16 bytes after the ESC.
        {"page inside the swath", h + HeadedSwath(16, 1, 1, 11) + kPage, 0, 0},
        {"colour pair at the end", h + HeadedSwath(9, 1, 0, 9), 0, 0},
        {"colour pair with a byte more", h + HeadedSwath(10, 1, 0, 10), 0, 1},
        {"zero-length swath moves on", h + HeadedSwath(0, 1, 1) + kPage, 1, 0},
        {"pages", h + kPage + kPagePair, 2, 0},
        // No byte 19: the header still selects the headed dialect, in which
        // a swath's length is 16-bit (an unheaded reading would hide the page).
        {"header too short for its dialect byte", Lit("\xA5") + HeadedSwath(9, 1, 0, 9) + kPage, 1, 1},
    };
    for (const Case& c : cases) Check(c);
}

// ---- dialect M

TEST(LexmarkDialectM, CountsPageCommandsAndStepsOverFixedCommands) {
    const std::string h = Header('m');
    const std::string page = Lit("1\x18") + std::string(14, 'p');
    const std::string command8 = "!" + std::string(7, 'c');
    const Case cases[] = {
        {"one page", h + page, 1, 0},
        {"two pages", h + page + page, 2, 0},
        // The 14 bytes after "1" 0x18 are not examined.
        {"page hides a page", h + Lit("1\x18" "xx1\x18") + std::string(14, 'p'), 1, 0},
        {"1 then another byte", h + "1" + "a" + page, 1, 0},
        {"fixed command hides a page", h + Lit(" 1\x18") + "xxxxx" + page, 1, 0},
        {"quote 0x80 command", h + Lit("\x22\x80" "1\x18") + "xxxx" + page, 1, 0},
        {"quote without 0x80", h + Lit("\x22" "a") + page, 1, 0},
        {"at 0x84 command", h + Lit("@\x84" "1\x18") + "xxxx" + page, 1, 0},
        // "A": 16 bytes and a u16 BE data length at offset 11.
        {"data command hides a page", h + Lit("A\x10") + std::string(9, 'a') + Lit("\x00\x10") + "aaa" + page + page, 1, 0},
        {"data command with 0x00", h + Lit("A\x00") + std::string(9, 'a') + Lit("\x00\x00") + "aaa" + page, 1, 0},
        {"data length cut short", h + Lit("A\x10") + std::string(9, 'a'), 0, 0},
        {"escape pages mean nothing here", h + command8 + kPage, 0, 0},
        {"page at the very end", h + Lit("1\x18"), 0, 0},  // two bytes left: no command
        {"page with one byte more", h + Lit("1\x18z"), 1, 0},
    };
    for (const Case& c : cases) Check(c);
}

// ---- dialect X

TEST(LexmarkDialectX, CountsPageCommandsAndModeColour) {
    const std::string h = Header('\x80');
    const std::string page = Lit("\x1B\x22") + std::string(22, 'p');
    const Case cases[] = {
        {"one page", h + page, 1, 0},
        {"two pages", h + page + page, 2, 0},
        {"page hides a page", h + Lit("\x1B\x22" "ab\x1B\x22") + std::string(18, 'p'), 1, 0},
        {"mode command, mono bit set", h + Lit("\x1B@\x10") + "xxxxx" + page, 1, 0},
        {"mode command, mono bit clear", h + Lit("\x1B@\x20") + "xxxxx" + page, 1, 1},
        {"mode command hides a page", h + Lit("\x1B@\x10\x1B\x22") + "xxx" + page, 1, 0},
        {"8-byte command", h + Lit("\x1B" "c\x1B\x22") + "xxxx" + page, 1, 0},
        {"72-byte command", h + Lit("\x1B*") + std::string(70, 'q') + page, 1, 0},
        {"72-byte command hides a page", h + Lit("\x1B*") + page + std::string(70 - 24, 'q') + page, 1, 0},
        // "C": u24 BE length at ESC + 2, data from ESC + 8.
        {"data command hides a page", h + Lit("\x1B" "C\x00\x00\x18") + "xxx" + page + page, 1, 0},
        {"data length past the end", h + Lit("\x1B" "C\xFF\xFF\xFF") + "xxx" + page, 0, 0},
        {"data length cut short", h + Lit("\x1B" "C\x00"), 0, 0},
        {"unknown letter steps two", h + Lit("\x1B" "z") + page, 1, 0},
        {"swath colour means nothing here", h + Lit("\x1B*\x04\x00\x10\x00\x00\x01\x00"), 0, 0},
    };
    for (const Case& c : cases) Check(c);
}

TEST(LexmarkDialects, SelectionFollowsTheHeader) {
    const std::string mPage = Lit("1\x18") + std::string(14, 'p');
    const std::string xPage = Lit("\x1B\x22") + std::string(22, 'p');
    const Case cases[] = {
        {"M", Header('m') + mPage + xPage + kPage, 1, 0},
        {"X", Header('\x80') + mPage + xPage + kPage, 1, 0},
        {"headed escape", Header('q') + mPage + xPage + kPage, 1, 0},
        {"unheaded escape", Lit("x") + mPage + xPage + kPage, 1, 0},
        {"NULs before the header", std::string(3, '\0') + Header('m') + mPage, 1, 0},
        // The header byte is counted from the first non-NUL byte.
        {"dialect byte counted from the header", Lit("\x00\xA5") + std::string(18, 'x') + "m" + mPage, 1, 0},
        {"header byte alone", Lit("\xA5"), 0, 0},
        {"only NULs", std::string(8, '\0'), 0, 0},
    };
    for (const Case& c : cases) Check(c);
}

TEST(LexmarkDialects, EveryPrefixEndsInsideTheData) {
    const std::string jobs[] = {
        Header('m') + Lit("A\x10") + std::string(9, 'a') + Lit("\x00\x02") + "aaadd" + Lit("1\x18") + std::string(14, 'p'),
        Header('\x80') + Lit("\x1B" "C\x00\x00\x02") + "xxxdd" + Lit("\x1B@\x10") + "xxxxx",
        Header('y') + HeadedSwath(16, 1, 0) + kPagePair,
        UnheadedSwath(16, 1, 2) + kPagePair,
    };
    for (const std::string& job : jobs) {
        for (size_t n = 0; n <= job.size(); ++n) {
            const std::unique_ptr<char[]> cut = ExactCopy(job, n);
            PageCountResult rec{};
            EXPECT_EQ(CountWith("Lexmark", std::string_view(cut.get(), n), rec), QM_OK) << n;
        }
    }
}

}  // namespace
