// The colour masters printed through printer-driver-escpr (ESC/P-R) in
// colour and in mono mode, counted page by page through
// QuirometerCountPages: every page's colour as tests/corpus/colour/escpr.tsv
// states it (a page of the driver's mono mode is mono).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "casefile.h"
#include "quirometer/quirometer.h"

namespace {

const std::string kColourDir = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour";

int OnPage(const QuirometerPage* page, void* context) {
    auto* colours = static_cast<std::string*>(context);
    *colours += page->color == QM_PAGE_MONO ? 'M' : page->color == QM_PAGE_COLOR ? 'C' : '?';
    return 0;
}

TEST(ColourEscpr, EveryPageAsItsTruth) {
    std::string error;
    const auto rows = qmtest::ReadTsv(kColourDir + "/escpr.tsv", "escpr.tsv", error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(rows.size(), 5u);
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
