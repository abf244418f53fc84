#include "testutil.h"

using namespace qmtest;

namespace {

const std::string kOkiPage = Lit("\x1B$B");
std::string OkiSettings(char copies) { return Lit("\x1B&Aabcd") + copies + "efff"; }  // 12 bytes
std::string OkiRaster(const std::string& data) { return Lit("\x1B*Ar") + Le16(uint32_t(data.size())) + data; }

TEST(OkiScan, CountsPagesAndTakesTheLastCopies) {
    const Case cases[] = {
        {"last copies win", OkiSettings(3) + OkiSettings(5) + kOkiPage, {1, 5, 1}},
        // The copies byte is the seventh after the ESC, here "b".
        {"settings hide a page", Lit("\x1B&A") + kOkiPage + "abcdef" + kOkiPage, 1, 'b', 1, 0},
        {"raster hides a page", OkiRaster(kOkiPage) + kOkiPage, {1, 1, 1}},
        {"raster past the end", Lit("\x1B*Ar\xFF\xFF") + kOkiPage, {0, 1, 1}},
        {"four-byte command", Lit("\x1B*B\x1B") + kOkiPage, {1, 1, 1}},
        {"unknown steps two", Lit("\x1B\x1B$B") + kOkiPage, {1, 1, 1}},
        {"only * B takes four bytes", Lit("\x1B&B") + kOkiPage, {1, 1, 1}},
        {"copies past the end", Lit("\x1B&Aabc"), {0, 1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("OKI", c);
    ExpectEveryPrefixScans("OKI", OkiSettings(2) + OkiRaster("dd") + kOkiPage);
    EXPECT_EQ(ScanEndingAtAPage("OKI", kOkiPage + "\x1B"), QM_OK);
}

// "P": colour byte at ESC + 4, three digit fields from ESC + 6, a count and
// that many data bytes.
std::string TcplData(char colour, const std::string& data) {
    return Lit("\x1BPxy") + colour + "z12,3,," + std::to_string(data.size()) + ";" + data;
}

TEST(TcplScan, CountsPagesAndReadsCopiesDuplexColour) {
    const std::string page = Lit("\x1BU");
    const Case cases[] = {
        {"last copies win", Lit("\x1B" "E2;") + page + Lit("\x1B" "E13;"), {1, 13}},
        {"byte after the digits passed over", Lit("\x1B" "E2\x1BU") + page, {1, 2}},
        {"no digit: 0, one byte passed over", Lit("\x1B" "E2;\x1B" "E\x1BU") + page, {1, 0}},
        {"duplex on, off", Lit("\x1BT1\x1BT0"), {0, 0, 0, 1}},
        {"duplex off", Lit("\x1BT0\x1BT"), {0, 0}},
        {"three-byte command", Lit("\x1B" "B\x1BU") + page, {1, 0}},
        {"colour data hides a page", TcplData('0', page) + page, {1, 0, 1}},
        {"mono data", TcplData('1', "") + page, {1, 0}},
        {"count without digits", Lit("\x1BPxy1z1,2,3,;\x1BU") + page, {2, 0}},
        {"count past the end", Lit("\x1BPxy1z1,2,3,999;") + page, {0, 0}},
    };
    for (const Case& c : cases) ExpectRecord("TCPL", c);
    ExpectEveryPrefixScans("TCPL", Lit("\x1B" "E2;\x1BT1") + TcplData('0', "dd") + page);
}

std::string Pana(unsigned n, char letter, unsigned param = 0) {
    std::string s = Lit("\x1B") + char(n) + '\0' + letter;
    if (n >= 2) s += char(param & 0xFF);
    if (n >= 3) s += char(param >> 8);
    return s;
}

TEST(PanasonicScan, CountsPagesNotFollowedByQ) {
    const Case cases[] = {
        {"page", Pana(1, 'p'), {1, 0}},
        {"page then q", Pana(1, 'p') + Pana(1, 'q'), {0, 0}},
        {"q not right after", Pana(1, 'p') + "x" + Pana(1, 'q'), {1, 0}},
        {"only O takes a copies word", Pana(3, 'p', 5), {0, 0}},
        {"copies word", Pana(3, 'O', 300), {0, 300}},
        {"last copies win", Pana(3, 'O', 300) + Pana(2, 'o', 2), {0, 2}},
        {"duplex", Pana(2, 'u'), {0, 0, 0, 1}},
        // Parameters are scanned again: an ESC there starts a command.
        {"parameter is an ESC", Pana(2, 'o', 0x1B) + Lit("\x01\x00p"), {1, 27}},
        // Sizes are single-precision constants widened to double.
        {"letter", Pana(2, 'k', 2), {0, 0, 0, 0, 8.5, 11.0}},
        {"A4", Pana(2, 'k', 0x14), {0, 0, 0, 0, double(8.27f), double(11.69f)}},
        {"A5", Pana(2, 'k', 149), {0, 0, 0, 0, double(5.83f), double(8.27f)}},
        {"unknown code clears", Pana(2, 'k', 2) + Pana(2, 'k', 5), {0, 0}},
    };
    for (const Case& c : cases) ExpectRecord("PANASONIC", c);
    ExpectEveryPrefixScans("PANASONIC", Pana(2, 'k', 20) + Pana(3, 'O', 3) + Pana(1, 'p') + Pana(1, 'q'));
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
    const Case cases[] = {
        {"last page wins", UfrPage("1", "2") + letter, {2, 0, 0, 0, 8.5, 11.0}},
        {"decimal texts", UfrPage(" +6482.0e0", "4.982e3"), {1, 0, 0, 0, 8.5, 11.0}},
        {"no number", UfrPage("x", "inf"), {1, 0, 0, 0, none, none}},
        {"width past the end", letter.substr(0, 20), {1, 0, 0, 0, none, 11.0}},
        // "+n" resumes n bytes after the "+".
        {"skip hides a page", Lit("\x1B+8abcde") + letter + letter, {1, 0, 0, 0, 8.5, 11.0}},
        {"skip lands on a page", Lit("\x1B+3a") + letter, {1, 0, 0, 0, 8.5, 11.0}},
        {"ESC [ without sop", Lit("\x1B[spo") + letter, {1, 0, 0, 0, 8.5, 11.0}},
        {"skip past the end", Lit("\x1B+99999999999999999999") + letter, {0, 0}},
        {"negative skip moves one", Lit("\x1B+ -1") + letter, {1, 0, 0, 0, 8.5, 11.0}},
    };
    for (const Case& c : cases) ExpectRecord("CanonUFR", c, true);
    ExpectEveryPrefixScans("CanonUFR", Lit("\x1B+3ab") + letter + Lit("\x1B+-2"));
}

}  // namespace
