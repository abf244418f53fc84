#include "casefile.h"

using namespace qmtest;

namespace {

const std::string kOkiPage = Lit("\x1B$B");
std::string OkiSettings(char copies) { return Lit("\x1B&Aabcd") + copies + "efff"; }  // 12 bytes
std::string OkiRaster(const std::string& data) { return Lit("\x1B*Ar") + Le16(uint32_t(data.size())) + data; }

TEST(OkiScan, CountsPagesAndTakesTheLastCopies) {
    ExpectRecordCases("OKI", "hostbased/cases/oki_pages.tsv");
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
    ExpectRecordCases("TCPL", "hostbased/cases/tcpl_pages.tsv");
    ExpectEveryPrefixScans("TCPL", Lit("\x1B" "E2;\x1BT1") + TcplData('0', "dd") + page);
}

std::string Pana(unsigned n, char letter, unsigned param = 0) {
    std::string s = Lit("\x1B") + char(n) + '\0' + letter;
    if (n >= 2) s += char(param & 0xFF);
    if (n >= 3) s += char(param >> 8);
    return s;
}

TEST(PanasonicScan, CountsPagesNotFollowedByQ) {
    ExpectRecordCases("PANASONIC", "hostbased/cases/panasonic_pages.tsv");
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
    ExpectRecordCases("CanonUFR", "hostbased/cases/ufr_pages.tsv", true);
    ExpectEveryPrefixScans("CanonUFR", Lit("\x1B+3ab") + letter + Lit("\x1B+-2"));
}

}  // namespace
