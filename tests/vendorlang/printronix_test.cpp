#include "accurate_testutil.h"
#include "vendorlang/vendor_accurate.h"

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
        {"empty last field", Page("1") + Page(""), {2, 0}},
        {"markers without fields", Page("3") + kMark + kMark + kMark, {4, 3}},
        {"field hides a marker", kMark + kMark + std::string(10, 'f') + "\x91" + Digits("2") + kEnd, {1, 2}},
        {"longer prefix", kMark + kFill + "ggg\x91" + Digits("6") + kEnd, {1, 6}},
        {"terminator before the prefix end", kMark + kFill + "g" + kEnd + "\x91" + Digits("6") + kEnd + kMark,
         {2, 0}},
        {"no terminator", kMark + kFill + "\x91" + Digits("12"), {1, 12}},
        {"no prefix end", kMark + kFill + "ggg", {1, 0}},
        {"non-digit bytes are taken as they come", kMark + kFill + "\x91" + Digits("1:") + kEnd, {1, 20}},
    };
    for (const Case& c : cases) ExpectRecord("PrintronixGL", c);
    ExpectRecord("PrintronixGL", "NULs only, through the file", std::string(64, '\0'), {0, 1}, true);
}

// The accurate count takes copies only from fields of digits: a field that
// holds anything else or that the job cuts short leaves them unknown.
TEST(AccuratePrintronix, CopiesOnlyFromFieldsOfDigits) {
    struct Row {
        const char* name;
        std::string job;
        uint32_t pages, copies;
        bool copiesUnknown;
    };
    const Row rows[] = {
        {"copies 12", Page("12") + Page("7"), 2, 12, false},
        {"a field of 1 lets the next be read", Page("1") + Page("3"), 2, 3, false},
        {"a byte that is no digit", Page("2x") + Page("2"), 2, 1, true},
        {"a field cut by the end of the job", Page("1") + Page("3").substr(0, 18), 2, 1, true},
    };
    for (const Row& r : rows) {
        qm::accurate::Result out;
        ASSERT_EQ(qm::accurate::CountPrintronix(qm::Bytes(r.job), out), QM_OK) << r.name;
        EXPECT_EQ(out.rec.pages, r.pages) << r.name;
        EXPECT_EQ(out.rec.copies, r.copies) << r.name;
        EXPECT_EQ((out.unknown & QM_FIELD_COPIES) != 0, r.copiesUnknown) << r.name;
    }
}

}  // namespace
