#include "testutil.h"

using namespace qmtest;

namespace {

// A job header: 0xA5, padding, and the dialect byte at offset 19.
std::string Header(char dialect) { return "\xA5" + std::string(18, 'x') + dialect; }

const std::string kPage = Lit("\x1B*\x07" "e\x00");
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
    const std::string h = Header('y');
    const Case cases[] = {
        {"second command of a pair is not counted", kPagePair + kPage, {2, 1, 0}},
        {"pair needs its e", Lit("\x1B*\x07" "e" "\x1B*\x07\x00" "f") + kPage, {2, 1, 0}},
        // A page command takes five bytes: an ESC in its fifth byte is not seen.
        {"fifth byte belongs to the page", Lit("\x1B*\x07" "e") + kPage, {1, 1, 0}},
        {"unheaded mono pair", Swath(false, 16, 1, 1) + kPage, {1, 1, 0}},
        {"unheaded colour pair", Swath(false, 16, 1, 2) + kPage, {1, 1, 1}},
        {"unheaded swath hides a page", Swath(false, 21, 1, 1) + kPage, {0, 1, 0}},
        // The colour test needs more than two bytes from its first byte.
        {"unheaded pair at the end", Swath(false, 11, 1, 2, 11), {0, 1, 0}},
        {"unheaded pair, one byte more", Swath(false, 12, 1, 2, 12), {0, 1, 1}},
        {"zero-length swath moves on", Swath(false, 0, 1, 1) + kPage, {1, 1, 0}},
        {"headed colour pair", h + Swath(true, 16, 1, 0) + kPage, {1, 1, 1}},
        {"headed mono pair", h + Swath(true, 16, 1, 1) + kPage, {1, 1, 0}},
        {"headed swath hides a page", h + Swath(true, 16, 1, 1, 11) + kPage, {0, 1, 0}},
        {"headed pair at the end", h + Swath(true, 9, 1, 0, 9), {0, 1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("Lexmark", c);
}

TEST(LexmarkDialectM, CountsPageCommandsAndStepsOverFixedCommands) {
    const std::string h = Header('m');
    const Case cases[] = {
        {"page hides a page", h + Lit("1\x18" "xx1\x18") + std::string(14, 'p'), {1, 1, 0}},
        {"1 then another byte", h + "1a" + kMPage, {1, 1, 0}},
        {"8-byte commands",
         h + Lit(" 1\x18xxxxx\x22\x80" "1\x18xxxx@\x84" "1\x18xxxx") + std::string(12, 'y') + kMPage, {1, 1, 0}},
        {"quote without 0x80", h + Lit("\x22" "a") + kMPage, {1, 1, 0}},
        {"data command hides a page", h + "A" + Lit("\x10") + std::string(9, 'a') + Lit("\x00\x10") + "aaa" + kMPage + kMPage, {1, 1, 0}},
        {"data length cut short", h + Lit("A\x00") + std::string(9, 'a'), {0, 1, 0}},
        {"page with two bytes left", h + Lit("1\x18"), {0, 1, 0}},
        {"page with three bytes left", h + Lit("1\x18z"), {1, 1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("Lexmark", c);
}

TEST(LexmarkDialectX, CountsPageCommandsAndModeColour) {
    const std::string h = Header('\x80');
    const Case cases[] = {
        {"page hides a page", h + Lit("\x1B\x22" "ab\x1B\x22") + std::string(18, 'p') + kXPage, {2, 1, 0}},
        {"mono bit set", h + Lit("\x1B@\x10\x1B\x22xxx") + kXPage, {1, 1, 0}},
        {"mono bit clear", h + Lit("\x1B@\x20xxxxx") + kXPage, {1, 1, 1}},
        {"8-byte command", h + Lit("\x1B" "c\x1B\x22xxxx") + kXPage, {1, 1, 0}},
        {"72-byte command hides a page", h + Lit("\x1B*") + kXPage + std::string(46, 'q') + kXPage, {1, 1, 0}},
        {"data command hides a page", h + Lit("\x1B" "C\x00\x00\x18xxx") + kXPage + kXPage, {1, 1, 0}},
        {"data length past the end", h + Lit("\x1B" "C\xFF\xFF\xFFxxx") + kXPage, {0, 1, 0}},
        {"unknown letter steps two", h + Lit("\x1B" "z") + kXPage, {1, 1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("Lexmark", c);
}

TEST(LexmarkDialects, SelectionFollowsTheHeader) {
    // One page in the M grammar, two in X, three in the escape grammar (X
    // reads ESC "*" as a 72-byte command that hides the rest).
    const std::string pages = kMPage + kXPage + kXPage + kPage + kPage + kPage;
    const Case cases[] = {
        {"M", Header('m') + pages, {1, 1, 0}},
        {"X", Header('\x80') + pages, {2, 1, 0}},
        {"headed escape", Header('q') + pages, {3, 1, 0}},
        {"unheaded escape", "x" + pages, {3, 1, 0}},
        // The dialect byte is counted from the first non-NUL byte.
        {"NULs before the header", Lit("\x00\x00") + Header('m') + kMPage, {1, 1, 0}},
        // No byte 19: the header selects the headed dialect, whose swath
        // length is 16-bit (a 24-bit reading would hide the page).
        {"header too short for its dialect byte", "\xA5" + Swath(true, 9, 1, 0, 9) + kPage, {1, 1, 1}},
        {"only NULs", std::string(8, '\0'), {0, 1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("Lexmark", c);
    const std::string jobs[] = {Header('m') + Lit("A\x10") + std::string(9, 'a') + Lit("\x00\x01") + "aaad" + kMPage,
                                Header('\x80') + Lit("\x1B" "C\x00\x00\x01xxxd\x1B@\x10xxxxx") + kXPage,
                                Header('y') + Swath(true, 16, 1, 0) + kPagePair, Swath(false, 16, 1, 2) + kPagePair};
    for (const std::string& job : jobs) ExpectEveryPrefixScans("Lexmark", job);
}

}  // namespace
