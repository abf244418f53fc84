#include "casefile.h"

using namespace qmtest;

namespace {

// A job header: 0xA5, padding, and the dialect byte at offset 19.
std::string Header(char dialect) { return "\xA5" + std::string(18, 'x') + dialect; }

const std::string kPagePair = Lit("\x1B*\x07" "e" "\x1B*\x07\x00" "e");  // one page
const std::string kMPage = Lit("1\x18") + std::string(14, 'p');
const std::string kXPage = Lit("\x1B\x22") + std::string(22, 'p');

// A swath: ESC "*" 0x04 and its length (u16 BE when headed, u24 BE when
// not); the colour pair sits at bytes 7-8 (headed) or 9-10 (unheaded).
std::string Swath(bool headed, unsigned length, char c1, char c2, size_t size = 16) {
    std::string s = Lit("\x1B*\x04") + (headed ? Be16(length) + "ab" : Be24(length) + "abc") + c1 + c2;
    s.resize(size, 'z');
    return s;
}

TEST(LexmarkEscape, CountsPageCommandsAndSwathColour) {
    ExpectRecordCases("Lexmark", "hostbased/cases/lexmark_escape.tsv");
}

TEST(LexmarkDialectM, CountsPageCommandsAndStepsOverFixedCommands) {
    ExpectRecordCases("Lexmark", "hostbased/cases/lexmark_m.tsv");
}

TEST(LexmarkDialectX, CountsPageCommandsAndModeColour) {
    ExpectRecordCases("Lexmark", "hostbased/cases/lexmark_x.tsv");
}

TEST(LexmarkDialects, SelectionFollowsTheHeader) {
    ExpectRecordCases("Lexmark", "hostbased/cases/lexmark_dialects.tsv");
    const std::string jobs[] = {Header('m') + Lit("A\x10") + std::string(9, 'a') + Lit("\x00\x01") + "aaad" + kMPage,
                                Header('\x80') + Lit("\x1B" "C\x00\x00\x01xxxd\x1B@\x10xxxxx") + kXPage,
                                Header('y') + Swath(true, 16, 1, 0) + kPagePair, Swath(false, 16, 1, 2) + kPagePair};
    for (const std::string& job : jobs) ExpectEveryPrefixScans("Lexmark", job);
}

}  // namespace
