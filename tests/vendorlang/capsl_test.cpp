// CaPSL: jobs of cases/capsl.tsv counted page by page, and the bid.
#include <gtest/gtest.h>

#include <string>

#include "gdi/gdi_testutil.h"

namespace {

std::string Job(const qmtest::CaseRow& c) {
    return (c.text("header") == "pjl" ? "\x1b%-12345X@PJL ENTER LANGUAGE=CAPSL\r\n" : "") + c.bytes("job");
}

TEST(Capsl, ItemWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateCAPSL, "vendorlang/cases/capsl.tsv", &Job); }

TEST(Capsl, Bid) { qmtest::ExpectBidLevels("vendorlang/cases/capsl_bids.tsv", &Job); }

}  // namespace
