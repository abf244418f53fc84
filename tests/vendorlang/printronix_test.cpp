#include "testutil.h"

using namespace qmtest;

namespace {

const std::string kMark = Bin({0xD4, 0xEF, 0xF2});
const std::string kFill(13, 'f');  // marker to the prefix end at offset 16
const char kEnd = static_cast<char>(0xA7);

// Digits as stored: each ASCII digit exclusive-or 0xAA.
std::string Digits(const std::string& text) {
    std::string s;
    for (char c : text) s += static_cast<char>(c ^ 0xAA);
    return s;
}

// A marker with its copies field: prefix ending in 0x91 at offset 16.
std::string Page(const std::string& copies) { return kMark + kFill + "\x91" + Digits(copies) + kEnd; }

TEST(PrintronixPages, CopiesReadWhileBelowTwo) {
    const Case cases[] = {
        {"field read once", Page("2") + Page("5") + Page("7"), {3, 2}},
        {"one lets the next be read", Page("1") + Page("3") + Page("1"), {3, 3}},
        {"empty field reads 0", Page("") + Page("4"), {2, 4}},
        {"empty last field", Page("1") + Page(""), {2, 0}},
        {"no markers", "plain text", {0, 1}},
        {"markers without fields", Page("3") + kMark + kMark + kMark, {4, 3}},
        {"field hides a marker", kMark + kMark + std::string(10, 'f') + "\x91" + Digits("2") + kEnd, {1, 2}},
        {"longer prefix", kMark + kFill + "ggg\x91" + Digits("6") + kEnd, {1, 6}},
        {"terminator before the prefix end", kMark + kFill + "g" + kEnd + "\x91" + Digits("6") + kEnd + kMark,
         {2, 0}},
        {"no terminator", kMark + kFill + "\x91" + Digits("12"), {1, 12}},
        {"no prefix end", kMark + kFill + "ggg", {1, 0}},
        {"marker cut short", Page("3") + Bin({0xD4, 0xEF}), {1, 3}},
        {"non-digit bytes are taken as they come", kMark + kFill + "\x91" + Digits("1:") + kEnd, {1, 20}},
    };
    for (const Case& c : cases) ExpectRecord("PrintronixGL", c);
}

}  // namespace

TEST(PrintronixFile, EntryPoint) { ExpectRecord("PrintronixGL", "NULs only, through the file", std::string(64, '\0'), {0, 1}, true); }
