// Detection of the host-based and vendor streams: each bid walks the first
// records by their own lengths, so a chain that holds names the language and
// one that breaks names none.
#include "accurate/accurate.h"
#include "testutil.h"

using namespace qmtest;

namespace {

TEST(HostVendorBids, ChainsThatHoldAndChainsThatBreak) {
    const std::string zimf = "\xCD\x9A\xA9\xDC" + Le32(20) + std::string(8, '\0') + Le32(13);
    const std::string lexmarkPage = Lit("\x1B*\x07" "e\0");
    std::string ipdlHeader(60, 'h');
    ipdlHeader[19] = 1;  // a copies byte of 1 that is no paper header
    const std::string ufrPage = Lit("\x1B[sop") + std::string(9, '.') + "6482" + std::string(9, ',') + "4982;";
    const struct {
        const char* name;
        std::string job;
        const char* tag;
    } cases[] = {
        {"ZIMF records", "ZIMF" + zimf + zimf + zimf, "ZIMF"},
        {"Lexmark ESC * commands with parameters", Lit("\x1B*m\0\0") + lexmarkPage + lexmarkPage + lexmarkPage,
         "Lexmark"},
        {"HBP block and page ends", "@G" + Be24(2) + "dd@F@F", "HBP"},
        {"TCPL copies with digits", Lit("\x1B" "E2;\x1BU\x1BU"), "TCPL"},
        {"TCPL copies without digits", Lit("\x1B" "E;\x1BU\x1BU"), "unknown"},
        {"Panasonic job of two commands", Lit("\x1B\x02\0k\x02\x1B\x01\0p"), "PANASONIC"},
        {"UFR skip and start of page", Lit("\x1B+3a") + ufrPage, "CanonUFR"},
        {"CAPT settings of ten bytes", "\x01x" + Le16(10) + "abcdef\x02x" + Le16(9) + "\x09" "body", "CanonCAPT"},
        {"IPDL paper header after a stray 0x01",
         ipdlHeader + Bin({0x01, 'A', 0, 0x55, 0, 0, 2, '@', 0, 3, 0x12, 0x46, 0x18, 0xBC}) + "\x0F" "AU", "IPDL"},
        {"ESC/Page commands ending in A", "\x1D" "0A\x1D" "14psE\x1D" "2coO\f", "ESC_PAGE"},
    };
    for (const auto& c : cases) {
        const auto d = qm::accurate::Detect(qm::Bytes(c.job));
        EXPECT_STREQ(d.winner ? d.winner->counter->tag : "unknown", c.tag) << c.name;
    }
}

}  // namespace
