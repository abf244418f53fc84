// ZPL: labels from the formats that place something, copies from ^PQ,
// refusal of what the walk cannot follow (label/cases/zpl.tsv); detection
// from the first command (zpl_bids.tsv). Dymo: labels at each eject, rows
// stepped over by their stated length (dymo.tsv, dymo_bids.tsv). P-touch:
// labels at FF and SUB, rows by their stated length (ptouch.tsv, ptouch_bids.tsv).
#include <gtest/gtest.h>

#include "accurate_testutil.h"
#include "casefile.h"

namespace {

TEST(Zpl, Jobs) { qmtest::ExpectAccurateCases(qm::accurate::AccurateZPL, "label/cases/zpl.tsv"); }

TEST(Zpl, Bids) { qmtest::ExpectBidLevels("label/cases/zpl_bids.tsv"); }

TEST(Dymo, Jobs) { qmtest::ExpectAccurateCases(qm::accurate::AccurateDymo, "label/cases/dymo.tsv"); }

TEST(Dymo, Bids) { qmtest::ExpectBidLevels("label/cases/dymo_bids.tsv"); }

TEST(PTouch, Jobs) { qmtest::ExpectAccurateCases(qm::accurate::AccuratePTouch, "label/cases/ptouch.tsv"); }

TEST(PTouch, Bids) { qmtest::ExpectBidLevels("label/cases/ptouch_bids.tsv"); }

}  // namespace
