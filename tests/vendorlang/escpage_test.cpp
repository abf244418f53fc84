#include <cmath>
#include <random>

#include "casefile.h"
#include "vendorlang/vendor_accurate.h"

using namespace qmtest;
using qm::accurate::Result;

namespace {

TEST(EscPagePages, FormFeedsPendingCopiesAndBlocks) {
    ExpectRecordCases("ESC_PAGE", "vendorlang/cases/escpage_pages.tsv");
    ExpectRecord("ESC_PAGE", "NULs only, through the file", std::string(64, '\0'), {1, 1}, true);
}

TEST(EscPageSettings, DuplexColourAndPaper) {
    ExpectRecordCases("ESC_PAGE", "vendorlang/cases/escpage_settings.tsv");
}

TEST(EscPageImages, HeadersAfterBraceIf) {
    ExpectRecordCases("ESC_PAGE", "vendorlang/cases/escpage_images.tsv");
}

TEST(VendorBids, Levels) { qmtest::ExpectBidLevels("vendorlang/cases/bids.tsv"); }

TEST(EscPageEjl, SetLinesGiveCopiesAndDuplex) {
    ExpectRecordCases("ESC_PAGE", "vendorlang/cases/escpage_ejl.tsv");
    EXPECT_EQ(ScanEndingAtAPage("ESC_PAGE", "@EJL SET CO=2"), QM_OK);
}

// The number reader adds digit × 10^k for each digit read backwards, the power
// taken as a double and truncated, terms past 32 bits saturated: its table of
// powers must give what the power function gives.
// The number the reader takes from `digits`, computed with the power function.
uint32_t ByPower(const std::string& digits) {
    uint32_t value = 0, k = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        const uint32_t digit = static_cast<uint32_t>(*it - '0');
        uint32_t term = 0;
        if (digit != 0) {
            const double t = digit * std::pow(10.0, static_cast<double>(k));
            term = t >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(t);
        }
        ++k;
        value = term > 0xFFFFFFFFu - value ? 0xFFFFFFFFu : value + term;
    }
    return value;
}

TEST(EscPageReference, CopiesReadAsThePowerFunctionReadsThem) {
    std::vector<std::string> numbers = {"0",          "7",           "4294967295", "4294967296", "999999999",
                                        "1000000000", "9999999999",  "0000000000001", "10000000000",
                                        "42949672950", "00004294967295", "19"};
    std::mt19937 rng(3);
    for (int n = 0; n < 200; ++n) {
        std::string d(1 + rng() % 14, '0');
        for (char& c : d) c = static_cast<char>('0' + rng() % 10);
        numbers.push_back(d);
    }
    for (const std::string& d : numbers) {
        PageCountResult rec{};
        ASSERT_EQ(CountWith("ESC_PAGE", "\x1D" + d + "coO\f", rec), QM_OK) << d;
        const uint32_t want = ByPower(d);
        EXPECT_EQ(rec.pages, want != 0 ? want : 1u) << d;
    }
}

// ---- The accurate count: page ends, copies, duplex, paper and colour from
// the structure, data stepped over by its declared length.
TEST(AccurateEscPage, PageEndsCopiesDuplexAndPaper) {
    ExpectAccurateCases(qm::accurate::CountEscPage, "vendorlang/cases/escpage_accurate.tsv");
}

}  // namespace
