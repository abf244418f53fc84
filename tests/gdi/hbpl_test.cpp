// HBPL version 2: jobs of cases/hbpl.tsv (foo2hbpl2's PJL header entering
// HBPL, then the row's records) counted page by page, and the bid.
#include <gtest/gtest.h>

#include <string>

#include "gdi/hbpl.h"
#include "gdi_testutil.h"

namespace {

const std::string kHeader = "\x1b%-12345X@PJL JOB NAME=PRINTER\n@PJL SET COPIES=2\n@PJL ENTER LANGUAGE=HBPL\n";

std::string Job(const qmtest::CaseRow& c) { return (c.text("header") == "no" ? "" : kHeader) + c.bytes("job"); }

TEST(Hbpl, RecordWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateHBPL, "gdi/cases/hbpl.tsv", &Job); }

TEST(Hbpl, Bid) { qmtest::ExpectBidLevels("gdi/cases/hbpl_bids.tsv", &Job); }

}  // namespace
