#include <gtest/gtest.h>

#include <memory>

#include "testutil.h"

using namespace qmtest;

namespace {

struct Case {
    const char* name;
    std::string job;
    uint32_t pages;
    uint32_t copies;
    uint8_t color;
    uint8_t duplex;
};

void Check(const char* tag, const Case& c) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountWith(tag, c.job, rec), QM_OK) << c.name;
    EXPECT_EQ(rec.pages, c.pages) << c.name;
    EXPECT_EQ(rec.copies, c.copies) << c.name;
    EXPECT_EQ(rec.color, c.color) << c.name;
    EXPECT_EQ(rec.duplex, c.duplex) << c.name;
}

// Every prefix, in a heap block of exactly its size, scans without reading
// past its end (the sanitizer build turns a stray read into a failure).
void CheckEveryPrefix(const char* tag, const std::string& job) {
    for (size_t n = 1; n <= job.size(); ++n) {
        std::unique_ptr<char[]> cut(new char[n]);
        std::memcpy(cut.get(), job.data(), n);
        PageCountResult rec{};
        EXPECT_EQ(CountWith(tag, std::string_view(cut.get(), n), rec), QM_OK) << tag << " prefix " << n;
    }
}

const std::string kOkiPage = Lit("\x1B$B");
std::string OkiSettings(char copies) { return Lit("\x1B&Aabcd") + copies + "efff"; }  // 12 bytes
std::string OkiRaster(const std::string& data) {
    return Lit("\x1B*Ar") + char(data.size() & 0xFF) + char(data.size() >> 8) + data;
}

TEST(OkiScan, CountsPagesAndTakesTheLastCopies) {
    const Case cases[] = {
        {"two pages", kOkiPage + kOkiPage, 2, 1, 1, 0},
        {"last copies win", OkiSettings(3) + OkiSettings(5) + kOkiPage, 1, 5, 1, 0},
        // The copies byte is the seventh after the ESC, here "b".
        {"settings hide a page", Lit("\x1B&A") + kOkiPage + "abcdef" + kOkiPage, 1, 'b', 1, 0},
        {"raster hides a page", OkiRaster(kOkiPage) + kOkiPage, 1, 1, 1, 0},
        {"raster past the end", Lit("\x1B*Ar\xFF\xFF") + kOkiPage, 0, 1, 1, 0},
        {"four-byte command", Lit("\x1B*B\x1B") + kOkiPage, 1, 1, 1, 0},
        {"unknown steps two", Lit("\x1B\x1B$B") + kOkiPage, 1, 1, 1, 0},
        {"copies past the end", Lit("\x1B&Aabc"), 0, 1, 1, 0},
    };
    for (const Case& c : cases) Check("OKI", c);
    CheckEveryPrefix("OKI", OkiSettings(2) + OkiRaster("dd") + kOkiPage);
}

// "P": colour byte at ESC + 4, three digit fields from ESC + 6, a count and
// that many data bytes.
std::string TcplData(char colour, const std::string& data) {
    return Lit("\x1BPxy") + colour + "z12,3,," + std::to_string(data.size()) + ";" + data;
}

TEST(TcplScan, CountsPagesAndReadsCopiesDuplexColour) {
    const std::string page = Lit("\x1BU");
    const Case cases[] = {
        {"three pages, no copies: 0", page + page + page, 3, 0, 0, 0},
        {"last copies win", Lit("\x1B" "E2;") + page + Lit("\x1B" "E13;"), 1, 13, 0, 0},
        {"byte after the digits passed over", Lit("\x1B" "E2\x1BU") + page, 1, 2, 0, 0},
        {"no digit: 0, one byte passed over", Lit("\x1B" "E2;\x1B" "E\x1BU") + page, 1, 0, 0, 0},
        {"duplex on, off", Lit("\x1BT1\x1BT0"), 0, 0, 0, 1},
        {"duplex off", Lit("\x1BT0\x1BT"), 0, 0, 0, 0},
        {"three-byte command", Lit("\x1B" "B\x1BU") + page, 1, 0, 0, 0},
        {"colour data hides a page", TcplData('0', page) + page, 1, 0, 1, 0},
        {"mono data", TcplData('1', "") + page, 1, 0, 0, 0},
        {"count without digits", Lit("\x1BPxy1z1,2,3,;\x1BU") + page, 2, 0, 0, 0},
        {"count past the end", Lit("\x1BPxy1z1,2,3,999;") + page, 0, 0, 0, 0},
    };
    for (const Case& c : cases) Check("TCPL", c);
    CheckEveryPrefix("TCPL", Lit("\x1B" "E2;\x1BT1") + TcplData('0', "dd") + page);
}

std::string Pana(unsigned n, char letter, unsigned param = 0) {
    std::string s = Lit("\x1B") + char(n) + '\0' + letter;
    if (n >= 2) s += char(param & 0xFF);
    if (n >= 3) s += char(param >> 8);
    return s;
}

TEST(PanasonicScan, CountsPagesNotFollowedByQ) {
    const Case cases[] = {
        {"page", Pana(1, 'p'), 1, 0, 0, 0},
        {"page then q", Pana(1, 'p') + Pana(1, 'q'), 0, 0, 0, 0},
        {"q not right after", Pana(1, 'p') + "x" + Pana(1, 'q'), 1, 0, 0, 0},
        {"page needs length 1", Pana(2, 'p'), 0, 0, 0, 0},
        {"copies word", Pana(3, 'O', 300), 0, 300, 0, 0},
        {"last copies win", Pana(3, 'O', 300) + Pana(2, 'o', 2), 0, 2, 0, 0},
        {"duplex", Pana(2, 'u'), 0, 0, 0, 1},
        // Parameters are scanned again: an ESC there starts a command.
        {"parameter is an ESC", Pana(2, 'o', 0x1B) + Lit("\x01\x00p"), 1, 27, 0, 0},
    };
    for (const Case& c : cases) Check("PANASONIC", c);
    CheckEveryPrefix("PANASONIC", Pana(2, 'k', 20) + Pana(3, 'O', 3) + Pana(1, 'p') + Pana(1, 'q'));

    // Sizes are single-precision constants widened to double.
    const struct {
        std::string job;
        float width, length;
    } papers[] = {{Pana(2, 'k', 2), 8.5f, 11.0f},      {Pana(2, 'k', 4), 17.0f, 11.0f},
                  {Pana(2, 'k', 0x14), 8.27f, 11.69f}, {Pana(2, 'k', 165), 6.93f, 9.84f},
                  {Pana(2, 'k', 149), 5.83f, 8.27f},   {Pana(2, 'k', 2) + Pana(2, 'k', 5), 0.0f, 0.0f}};
    for (const auto& p : papers) {
        PageCountResult rec{};
        ASSERT_EQ(CountWith("PANASONIC", p.job, rec), QM_OK);
        EXPECT_EQ(rec.paperWidth, double(p.width)) << int(p.job.back());
        EXPECT_EQ(rec.paperLength, double(p.length)) << int(p.job.back());
    }
}

// ESC "[sop", the length text at ESC + 14 and the width text at ESC + 27.
std::string UfrPage(const std::string& length, const std::string& width) {
    std::string p = Lit("\x1B[sop");
    p.resize(14, '.');
    p += length;
    p.resize(27, ',');
    return p + width + ";";
}

TEST(UfrScan, CountsPagesAndComputesTheLastSize) {
    const std::string letter = UfrPage("6482", "4982");
    const double none = 118 * 0.0016666666666666668;  // a text without a number
    const struct {
        const char* name;
        std::string job;
        uint32_t pages;
        double width, length;
    } cases[] = {
        {"last page wins", UfrPage("1", "2") + letter, 2, 8.5, 11.0},
        {"decimal texts", UfrPage(" +6482.0e0", "4.982e3"), 1, 8.5, 11.0},
        {"no number", UfrPage("x", "inf"), 1, none, none},
        {"width past the end", letter.substr(0, 20), 1, none, 11.0},
        // "+n" resumes n bytes after the "+".
        {"skip hides a page", Lit("\x1B+8abcde") + letter + letter, 1, 8.5, 11.0},
        {"skip lands on a page", Lit("\x1B+3a") + letter, 1, 8.5, 11.0},
        {"skip past the end", Lit("\x1B+99999999999999999999") + letter, 0, 0, 0},
        {"negative skip moves one", Lit("\x1B+ -1") + letter, 1, 8.5, 11.0},
    };
    for (const auto& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountFile("CanonUFR", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 0u) << c.name;
        EXPECT_EQ(rec.color, 0) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
    CheckEveryPrefix("CanonUFR", Lit("\x1B+3ab") + letter + Lit("\x1B+-2"));
}

}  // namespace
