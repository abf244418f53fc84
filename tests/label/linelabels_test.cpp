// EPL2 and CPCL: labels from their print commands, graphics data stepped
// over by its stated size (label/cases/epl.tsv, cpcl.tsv); detection from
// the first line and a command of the language's own (linelabels_bids.tsv).
#include <gtest/gtest.h>

#include "accurate_testutil.h"
#include "casefile.h"

namespace {

TEST(LineLabels, Epl) { qmtest::ExpectAccurateCases(qm::accurate::AccurateEPL, "label/cases/epl.tsv"); }

TEST(LineLabels, Cpcl) { qmtest::ExpectAccurateCases(qm::accurate::AccurateCPCL, "label/cases/cpcl.tsv"); }

TEST(LineLabels, Bids) { qmtest::ExpectBidLevels("label/cases/linelabels_bids.tsv"); }

}  // namespace
