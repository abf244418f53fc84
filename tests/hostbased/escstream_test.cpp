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

void CheckEveryPrefix(const char* tag, const std::string& job) {
    for (size_t n = 0; n <= job.size(); ++n) {
        const std::unique_ptr<char[]> cut = ExactCopy(job, n);  // a heap block of exactly n bytes
        PageCountResult rec{};
        EXPECT_EQ(CountWith(tag, std::string_view(cut.get(), n), rec), QM_OK) << tag << " prefix " << n;
    }
}

// ---------------------------------------------------------------- Oki

const std::string kOkiPage = Lit("\x1B$B");
std::string OkiSettings(uint8_t copies) { return Lit("\x1B&A") + "abcd" + char(copies) + "efff"; }  // 12 bytes
std::string OkiRaster(const std::string& data) {
    return Lit("\x1B*A") + "r" + char(data.size() & 0xFF) + char(data.size() >> 8) + data;
}

TEST(OkiScan, CountsPagesAndTakesTheLastCopies) {
    const Case cases[] = {
        {"two pages", kOkiPage + kOkiPage, 2, 1, 1, 0},
        {"copies", OkiSettings(3) + kOkiPage, 1, 3, 1, 0},
        {"last copies win", OkiSettings(3) + OkiSettings(5), 0, 5, 1, 0},
        // The copies byte is the seventh after the ESC, here "b".
        {"settings hide a page", Lit("\x1B&A") + kOkiPage + "abcdef" + kOkiPage, 1, 'b', 1, 0},
        {"raster hides a page", OkiRaster(kOkiPage + kOkiPage) + kOkiPage, 1, 1, 1, 0},
        {"empty raster", OkiRaster("") + kOkiPage, 1, 1, 1, 0},
        {"raster past the end", Lit("\x1B*Ar\xFF\xFF") + kOkiPage, 0, 1, 1, 0},
        {"raster length cut short", Lit("\x1B*Ar\x01"), 0, 1, 1, 0},
        {"four-byte command", Lit("\x1B*B\x1B") + kOkiPage, 1, 1, 1, 0},
        {"unknown steps two", Lit("\x1B\x1B$B") + kOkiPage, 1, 1, 1, 0},
        {"copies past the end", Lit("\x1B&Aabc"), 0, 1, 1, 0},
        {"leading NULs", std::string(6, '\0') + kOkiPage, 1, 1, 1, 0},
        {"nothing", "text", 0, 1, 1, 0},
    };
    for (const Case& c : cases) Check("OKI", c);
    CheckEveryPrefix("OKI", OkiSettings(2) + OkiRaster("dd") + kOkiPage);
}

// ---------------------------------------------------------------- TCPL

// "P": colour byte at ESC + 4, one unexamined byte, three digit fields, a
// count and that many data bytes.
std::string TcplData(char colour, const std::string& data) {
    return Lit("\x1BPx") + "y" + colour + "z" + "12,3,,"  + std::to_string(data.size()) + ";" + data;
}

TEST(TcplScan, CountsPagesAndReadsCopiesDuplexColour) {
    const std::string page = Lit("\x1BU");
    const Case cases[] = {
        {"three pages", page + page + page, 3, 0, 0, 0},
        {"no copies: 0", page, 1, 0, 0, 0},
        {"last copies win", Lit("\x1B" "E2;") + page + Lit("\x1B" "E3;"), 1, 3, 0, 0},
        {"multi-digit copies", Lit("\x1B" "E12;") + page, 1, 12, 0, 0},
        // The byte after the digits is passed over.
        {"delimiter passed over", Lit("\x1B" "E2\x1BU") + page, 1, 2, 0, 0},
        {"no digit: copies 0, one byte passed", Lit("\x1B" "E2;\x1B" "E\x1BU") + page, 1, 0, 0, 0},
        {"copies at the very end", Lit("\x1B" "E2;\x1B" "E"), 0, 0, 0, 0},
        {"digits run to the end", Lit("\x1B" "E7"), 0, 7, 0, 0},
        {"duplex on", Lit("\x1BT1") + page, 1, 0, 0, 1},
        {"duplex off", Lit("\x1BT0") + page, 1, 0, 0, 0},
        {"duplex flag missing", Lit("\x1BT"), 0, 0, 0, 0},
        {"three-byte command", Lit("\x1B" "B\x1BU") + page, 1, 0, 0, 0},
        {"colour data", TcplData('0', "dd") + page, 1, 0, 1, 0},
        {"mono data", TcplData('1', "dd") + page, 1, 0, 0, 0},
        {"data hides a page", TcplData('1', page + page) + page, 1, 0, 0, 0},
        {"empty data", TcplData('1', "") + page, 1, 0, 0, 0},
        {"count without digits", Lit("\x1BPxy1z1,2,3,;\x1BU") + page, 2, 0, 0, 0},
        {"count past the end", Lit("\x1BPxy1z1,2,3,999;") + page, 0, 0, 0, 0},
        {"fields run to the end", Lit("\x1BPxy0z12"), 0, 0, 1, 0},
        {"leading NUL is data", Lit("\x00\x1BU"), 1, 0, 0, 0},
        {"unknown steps two", Lit("\x1B\x1BU") + page, 1, 0, 0, 0},
    };
    for (const Case& c : cases) Check("TCPL", c);
    CheckEveryPrefix("TCPL", Lit("\x1B" "E2;\x1BT1") + TcplData('0', "dd") + Lit("\x1BU"));
}

// ---------------------------------------------------------------- Panasonic

std::string Pana1(char letter) { return Lit("\x1B\x01\x00") + letter; }
std::string Pana2(char letter, uint8_t param) { return Lit("\x1B\x02\x00") + letter + char(param); }
std::string Pana3(char letter, unsigned v) { return Lit("\x1B\x03\x00") + letter + char(v & 0xFF) + char(v >> 8); }

TEST(PanasonicScan, CountsPagesNotFollowedByQ) {
    const Case cases[] = {
        {"page", Pana1('p'), 1, 0, 0, 0},
        {"page then q", Pana1('p') + Pana1('q'), 0, 0, 0, 0},
        {"q later", Pana1('p') + "x" + Pana1('q'), 1, 0, 0, 0},
        {"page with the wrong length", Lit("\x1B\x02\x00p"), 0, 0, 0, 0},
        {"copies byte", Pana2('o', 5) + Pana1('p'), 1, 5, 0, 0},
        {"copies word", Pana3('O', 0x012C), 0, 300, 0, 0},
        {"last copies win", Pana3('O', 300) + Pana2('o', 2), 0, 2, 0, 0},
        {"copies word needs length 3", Lit("\x1B\x02\x00O\x2C\x01"), 0, 0, 0, 0},
        {"duplex", Pana2('u', 0), 0, 0, 0, 1},
        // Parameters are scanned again: an ESC there starts a command.
        {"parameter is an ESC", Pana2('o', 0x1B) + Lit("\x01\x00p"), 1, 27, 0, 0},
        {"parameter past the end", Lit("\x1B\x02\x00o"), 0, 0, 0, 0},
        {"leading NUL is data", Lit("\x00") + Pana1('p'), 1, 0, 0, 0},
    };
    for (const Case& c : cases) Check("PANASONIC", c);
    CheckEveryPrefix("PANASONIC", Pana2('k', 20) + Pana3('O', 3) + Pana1('p') + Pana1('q'));
}

struct PaperCase {
    const char* name;
    std::string job;
    double width;
    double length;
};

TEST(PanasonicScan, PaperCodesGiveSinglePrecisionSizes) {
    const PaperCase cases[] = {
        {"letter", Pana2('k', 2), 8.5, 11.0},
        {"legal", Pana2('k', 3), 8.5, 14.0},
        {"ledger", Pana2('k', 4), 17.0, 11.0},
        {"statement", Pana2('k', 6), 5.5, 8.5},
        {"folio", Pana2('k', 7), 8.25, 13.0},
        {"foolscap", Pana2('k', 8), 8.5, 13.0},
        {"a3", Pana2('k', 19), double(11.69f), double(16.54f)},
        {"a4", Pana2('k', 0x14), 8.270000457763672, 11.6899995803833},
        {"b4", Pana2('k', 36), double(9.84f), double(13.9f)},
        {"a5", Pana2('k', 149), double(5.83f), double(8.27f)},
        {"b5", Pana2('k', 165), double(6.93f), double(9.84f)},
        {"unknown code", Pana2('k', 5), 0.0, 0.0},
        {"unknown code clears", Pana2('k', 2) + Pana2('k', 255), 0.0, 0.0},
        {"last code wins", Pana2('k', 2) + Pana2('k', 3), 8.5, 14.0},
        {"none", Pana1('p'), 0.0, 0.0},
    };
    for (const PaperCase& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("PANASONIC", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.paperWidth, c.width) << c.name;  // exact: widened floats
        EXPECT_EQ(rec.paperLength, c.length) << c.name;
    }
}

// ---------------------------------------------------------------- UFR

// ESC "[sop", the length text at ESC + 14 and the width text at ESC + 27.
std::string UfrPage(const std::string& length, const std::string& width) {
    std::string p = Lit("\x1B[sop");
    p.resize(14, '.');
    p += length;
    p.resize(27, ',');
    p += width;
    return p + ";";
}
std::string UfrSkip(const std::string& count) { return Lit("\x1B+") + count; }

struct UfrCase {
    const char* name;
    std::string job;
    uint32_t pages;
    double width;
    double length;
};

TEST(UfrScan, CountsPagesAndComputesTheLastSize) {
    const std::string letter = UfrPage("6482", "4982");
    const double unitless = 118 * 0.0016666666666666668;  // a text without a number
    const UfrCase cases[] = {
        {"letter", letter, 1, 8.5, 11.0},
        {"last page wins", UfrPage("1", "2") + letter, 2, 8.5, 11.0},
        {"decimal text", UfrPage(" +6482.0e0", "4.982e3"), 1, 8.5, 11.0},
        {"no number", UfrPage("x", "inf"), 1, unitless, unitless},
        {"negative", UfrPage("-118", "-118"), 1, 0.0, 0.0},
        {"texts past the end", Lit("\x1B[sop"), 1, unitless, unitless},
        {"width past the end", letter.substr(0, 20), 1, unitless, 11.0},
        // "+n" skips n bytes counted from the "+".
        {"skip hides a page", UfrSkip("8") + "abcde" + letter + letter, 1, 8.5, 11.0},
        {"skip lands on a page", UfrSkip("3") + "a" + letter, 1, 8.5, 11.0},
        {"skip past the end", UfrSkip("99999999999999999999") + letter, 0, 0.0, 0.0},
        {"skip of zero moves one", UfrSkip("0") + letter, 1, 8.5, 11.0},
        {"negative skip moves one", UfrSkip("-5") + letter, 1, 8.5, 11.0},
        {"skip of minus one moves one", UfrSkip(" -1") + letter, 1, 8.5, 11.0},
        {"skip without a number", UfrSkip("") + letter, 1, 8.5, 11.0},
        {"leading NUL is data", Lit("\x00") + letter, 1, 8.5, 11.0},
        {"nothing", "text", 0, 0.0, 0.0},
    };
    for (const UfrCase& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountWith("CanonUFR", c.job, rec), QM_OK) << c.name;
        EXPECT_EQ(rec.pages, c.pages) << c.name;
        EXPECT_EQ(rec.copies, 0u) << c.name;
        EXPECT_EQ(rec.color, 0) << c.name;
        EXPECT_EQ(rec.duplex, 0) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperWidth, c.width) << c.name;
        EXPECT_DOUBLE_EQ(rec.paperLength, c.length) << c.name;
    }
    CheckEveryPrefix("CanonUFR", UfrSkip("3") + "ab" + letter + UfrSkip("-2"));
}

TEST(OkiTcplPanasonicUfr, ThroughTheEntryPoints) {
    const struct {
        const char* tag;
        std::string job;
        uint32_t pages;
    } cases[] = {
        {"OKI", kOkiPage + kOkiPage, 2},
        {"TCPL", Lit("\x1BU"), 1},
        {"PANASONIC", Pana1('p'), 1},
        {"CanonUFR", UfrPage("6482", "4982"), 1},
    };
    for (const auto& c : cases) {
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(CountFile(c.tag, c.job, rec), QM_OK) << c.tag;
        EXPECT_EQ(rec.pages, c.pages) << c.tag;
    }
}

}  // namespace
