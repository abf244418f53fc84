// Page by page colour (and paper, where stated per page) of the raster
// streams' accurate counters, from tests/hostbased/cases/page_colours.tsv.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "accurate/accurate.h"
#include "casefile.h"

namespace {

using namespace qmtest;
using qm::accurate::Result;

// The pages a settled count delivers, as letters and as "WxL;..." papers.
void Describe(const Result& out, std::string& colours, std::string& papers) {
    uint32_t number = 0;
    for (const auto& run : out.pages.Runs()) {
        for (uint32_t k = 0; k < run.count; ++k) {
            const QuirometerPage p = qm::accurate::Deliver(out, run.page, ++number);
            colours += p.color == QM_PAGE_MONO ? 'M' : p.color == QM_PAGE_COLOR ? 'C' : '?';
            char paper[48];
            std::snprintf(paper, sizeof paper, "%s%gx%g", papers.empty() ? "" : ";", p.paperWidth, p.paperLength);
            papers += paper;
        }
    }
}

TEST(PageColours, RasterStreamsLogEachPageWithTheInkItSends) {
    for (const CaseRow& c : ReadCases("hostbased/cases/page_colours.tsv")) {
        const qm::accurate::Language* language = qm::accurate::FindLanguage(c.text("tag"));
        ASSERT_NE(language, nullptr) << c.name();
        Result out;
        const std::string job = c.bytes("job");
        ASSERT_EQ(language->count(qmtest::Guarded(job).bytes(), out), QM_OK) << c.name();
        qm::accurate::Finish(out);
        std::string colours, papers;
        Describe(out, colours, papers);
        EXPECT_EQ(colours, c.text("colours")) << c.name();
        if (!c.text("papers").empty()) {
            EXPECT_EQ(papers, c.text("papers")) << c.name();
        }
        // The job is colour when a page is, mono when all are, unknown otherwise.
        const bool anyColour = colours.find('C') != std::string::npos;
        const bool anyUnknown = colours.find('?') != std::string::npos;
        EXPECT_EQ(out.rec.color, anyColour || anyUnknown ? 1 : 0) << c.name();
        EXPECT_EQ((out.unknown & QM_FIELD_COLOR) != 0, !anyColour && anyUnknown) << c.name();
    }
}

}  // namespace
