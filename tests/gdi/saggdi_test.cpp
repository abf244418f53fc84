// Ricoh GDI: records walked by their lengths, pages at their end records,
// copies and paper from the page starts, refusal of what does not follow
// the stream's order (gdi/cases/saggdi.tsv); the bid (saggdi_bids.tsv).
#include <gtest/gtest.h>

#include "gdi_testutil.h"

namespace {

TEST(RicohGdi, Jobs) { qmtest::ExpectAccurateCases(qm::accurate::AccurateRicohGDI, "gdi/cases/saggdi.tsv"); }

TEST(RicohGdi, Bids) { qmtest::ExpectBidLevels("gdi/cases/saggdi_bids.tsv"); }

}  // namespace
