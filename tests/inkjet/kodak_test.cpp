// Kodak ESP / Hero: hand-made jobs (inkjet/cases/kodak.tsv) counted page by
// page, each page's colour from its planes or its deflated rows; the bid
// (kodak_bids.tsv).
#include <gtest/gtest.h>

#include <string>

#include "gdi/gdi_testutil.h"

namespace {

std::string Job(const qmtest::CaseRow& c) {
    return (c.text("header") == "no" ? "" : "LockPrinterWait?Event=StartOfJob;") + c.bytes("job");
}

TEST(Kodak, ItemWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateKodakESP, "inkjet/cases/kodak.tsv", &Job); }

TEST(Kodak, Bid) {
    qmtest::ExpectBidLevels("inkjet/cases/kodak_bids.tsv", [](const qmtest::CaseRow& c) { return c.bytes("job"); });
}

}  // namespace
