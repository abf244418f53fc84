// The PDF and PostScript colour-truth jobs (tests/corpus/colour/pspdf.tsv,
// made by scripts/corpus/colour_pspdf.sh): every page of every job counted
// through QuirometerCountPages must have the colour its master and the
// producer's mode give it. A page left unknown is a miss like a wrong one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "casefile.h"
#include "quirometer/quirometer.h"

namespace {

const std::string kColourDir = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour";

int OnPage(const QuirometerPage* page, void* context) {
    static_cast<std::string*>(context)->push_back(page->color == QM_PAGE_MONO    ? 'M'
                                                  : page->color == QM_PAGE_COLOR ? 'C'
                                                                                 : '?');
    return 0;
}

TEST(ColourPspdf, EveryPageOfTheTruthJobs) {
    std::string error;
    const auto rows = qmtest::ReadTsv(kColourDir + "/pspdf.tsv", "pspdf.tsv", error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(rows.size(), 40u);
    size_t pages = 0, right = 0;
    for (const qmtest::CaseRow& row : rows) {
        const std::string path = kColourDir + "/jobs/pspdf/" + row.text("file");
        QuirometerJob job{};
        job.size = sizeof job;
        std::string got;
        ASSERT_EQ(QuirometerCountPages(path.c_str(), nullptr, &job, &OnPage, &got), QM_OK) << row.name();
        EXPECT_STREQ(job.pdl, row.text("tag").c_str()) << row.name();
        const std::string& want = row.text("colours");
        EXPECT_EQ(job.pages, uint32_t(row.num("pages"))) << row.name();
        EXPECT_EQ(got, want) << row.name() << row.text("file") << " (" << row.text("driver") << ", " << row.text("mode") << ")";
        EXPECT_EQ(job.colorPages, uint32_t(std::count(want.begin(), want.end(), 'C'))) << row.name();
        pages += want.size();
        for (size_t i = 0; i < want.size() && i < got.size(); ++i) right += got[i] == want[i];
    }
    std::printf("[ colour   ] pspdf %zu jobs, %zu pages, %zu right\n", rows.size(), pages, right);
}

}  // namespace
