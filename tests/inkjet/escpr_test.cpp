// ESC/P-R: the page structure, each page's colour from its rows, and the
// settings the job states, from hand-made jobs (inkjet/cases/escpr.tsv);
// detection from the mode switch and the remote block (escpr_bids.tsv).
#include <gtest/gtest.h>

#include <string>

#include "accurate/accurate.h"
#include "casefile.h"

namespace {

using qm::accurate::Result;

std::string Colours(const Result& r) {
    std::string s;
    for (const auto& run : r.pages.Runs()) {
        const char c = run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : '?';
        s.append(run.count, c);
    }
    return s;
}

TEST(Escpr, Jobs) {
    for (const qmtest::CaseRow& r : qmtest::ReadCases("inkjet/cases/escpr.tsv")) {
        const std::string job = r.bytes("job"), name = r.name();
        Result out;
        const int32_t code = qm::accurate::AccurateESCPR(qmtest::Guarded(job).bytes(), out);
        const int32_t want = r.text("code") == "not understood" ? QM_E_NOT_UNDERSTOOD : QM_OK;
        ASSERT_EQ(code, want) << name;
        if (code != QM_OK) continue;
        qm::accurate::Finish(out);
        EXPECT_EQ(out.rec.pages, uint32_t(r.num("pages"))) << name;
        EXPECT_EQ(Colours(out), r.text("colours")) << name;
        EXPECT_EQ(out.rec.copies, uint32_t(r.num("copies"))) << name;
        EXPECT_EQ(out.rec.duplex, uint32_t(r.num("duplex"))) << name;
        EXPECT_NEAR(out.rec.paperWidth, r.num("width"), 0.005) << name;
        EXPECT_NEAR(out.rec.paperLength, r.num("length"), 0.005) << name;
        EXPECT_EQ(out.estimated, r.text("estimated") == "yes") << name;
    }
}

TEST(Escpr, Bids) { qmtest::ExpectBidCases("inkjet/cases/escpr_bids.tsv"); }

}  // namespace
