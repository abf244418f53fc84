// The colour masters printed through the host-based GDI drivers
// (scripts/corpus/gdi.sh) in colour and in mono mode, counted page by page
// through QuirometerCountPages: the language detected, and every page's
// colour as tests/corpus/colour/gdi.tsv states it. (The jobs are printed on
// one sheet size whatever the master's, so paper is not compared.)
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "casefile.h"
#include "quirometer/quirometer.h"

namespace {

const std::string kColourDir = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour";

int OnPage(const QuirometerPage* page, void* context) {
    *static_cast<std::string*>(context) += page->color == QM_PAGE_MONO ? 'M' : page->color == QM_PAGE_COLOR ? 'C' : '?';
    return 0;
}

TEST(ColourGdi, EveryPageAsItsTruth) {
    std::string error;
    const auto rows = qmtest::ReadTsv(kColourDir + "/gdi.tsv", "gdi.tsv", error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(rows.size(), 12u);
    std::map<std::string, int> modes;
    for (const qmtest::CaseRow& r : rows) {
        const std::string file = r.text("file"), path = kColourDir + "/" + file;
        QuirometerJob job{};
        job.size = sizeof job;
        std::string colours;
        ASSERT_EQ(QuirometerCountPages(path.c_str(), nullptr, &job, &OnPage, &colours), QM_OK) << file;
        EXPECT_STREQ(job.pdl, r.text("tag").c_str()) << file;
        EXPECT_EQ(job.pages, uint32_t(r.num("pages"))) << file;
        EXPECT_EQ(colours, r.text("colours")) << file << " (" << r.text("driver") << ")";
        ++modes[r.text("mode")];
    }
    EXPECT_GT(modes["colour"], 0);
    EXPECT_GT(modes["mono"], 0);
}

}  // namespace
