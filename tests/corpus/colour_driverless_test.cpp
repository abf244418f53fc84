// The colour masters printed through the driverless producers (Ghostscript's
// pwgraster, urf, cups, pclm and pclm8 devices) in colour and in mono mode,
// counted page by page through QuirometerCountPages: every page's colour
// as tests/corpus/colour/driverless.tsv states it, and its paper as the
// master's page (tests/corpus/colour/pages.tsv) has it. Where a row states
// an `expected` result (PCLm, whose PDF reader logs no pages yet), the count
// may give that instead: those page colours, and page 1's paper throughout.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "colour_pages.h"

namespace {

using qmtest::kColourDir;
using qmtest::MasterPaper;
using qmtest::OnPage;
using qmtest::Seen;

TEST(ColourDriverless, EveryPageAsItsTruth) {
    std::string error;
    const auto rows = qmtest::ReadTsv(kColourDir + "/driverless.tsv", "driverless.tsv", error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(rows.size(), 20u);
    const auto paper = MasterPaper();
    std::map<std::string, int> modes;
    for (const qmtest::CaseRow& r : rows) {
        const std::string file = r.text("file");
        const std::string name = file.substr(file.rfind('/') + 1), master = name.substr(0, name.find('.'));
        const std::string path = kColourDir + "/" + file;
        QuirometerJob job{};
        job.size = sizeof job;
        Seen seen;
        ASSERT_EQ(QuirometerCountPages(path.c_str(), nullptr, &job, &OnPage, &seen), QM_OK) << file;
        EXPECT_STREQ(job.pdl, r.text("tag").c_str()) << file;
        EXPECT_EQ(job.pages, uint32_t(r.num("pages"))) << file;
        const auto want = paper.find(master);
        ASSERT_NE(want, paper.end()) << file << ": no master " << master;
        ASSERT_EQ(seen.paper.size(), want->second.size()) << file;
        std::vector<std::pair<double, double>> firstPaper(want->second.size(), want->second.front());
        const auto samePaper = [&seen](const std::vector<std::pair<double, double>>& w) {
            for (size_t i = 0; i < w.size(); ++i)
                if (std::fabs(seen.paper[i].first - w[i].first) > 0.02 ||
                    std::fabs(seen.paper[i].second - w[i].second) > 0.02)
                    return false;
            return true;
        };
        const bool truth = seen.colours == r.text("colours") && samePaper(want->second);
        const bool expected =
            !r.text("expected").empty() && seen.colours == r.text("expected") && samePaper(firstPaper);
        EXPECT_TRUE(truth || expected) << file << " (" << r.text("driver") << "): pages " << seen.colours << ", truth "
                                       << r.text("colours")
                                       << (r.text("expected").empty() ? "" : ", expected " + r.text("expected"));
        EXPECT_EQ(r.text("expected").empty(), r.text("reason").empty())
            << file << ": an expected result needs its reason";
        ++modes[r.text("mode")];
    }
    // Both modes are there: a mono-mode job of a colour page is mono.
    EXPECT_GT(modes["colour"], 0);
    EXPECT_GT(modes["mono"], 0);
}

}  // namespace
