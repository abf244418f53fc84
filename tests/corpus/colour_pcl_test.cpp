// The colour masters printed through PCL XL and PCL drivers, in colour and in
// mono mode (tests/corpus/colour/jobs/pcl, truth in colour/pcl.tsv): every
// page of every job, counted through QuirometerCountPages with the language
// detected, must have its master's colour (mono in a mono queue) and its
// master's paper.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "colour_pages.h"

namespace {

using qmtest::kColourDir;

TEST(ColourPcl, EveryPageHasItsMastersColourAndPaper) {
    std::string error;
    const std::vector<qmtest::CaseRow> jobs = qmtest::ReadTsv(kColourDir + "/pcl.tsv", "pcl.tsv", error);
    ASSERT_TRUE(error.empty()) << error;
    const auto paper = qmtest::MasterPaper();

    std::set<std::string> listed;
    uint32_t pages = 0, colourPages = 0;
    for (const qmtest::CaseRow& row : jobs) {
        const std::string file = row.text("file");
        listed.insert(file);
        const std::string name = std::filesystem::path(file).filename().string();
        const std::string master = name.substr(0, name.find('.'));
        const std::string want = row.text("colours");
        ASSERT_EQ(want.size(), row.num("pages")) << row.where;
        qmtest::Seen seen;
        QuirometerJob job{};
        job.size = sizeof job;
        const int32_t code = QuirometerCountPages((kColourDir + "/" + file).c_str(), nullptr, &job, qmtest::OnPage, &seen);
        ASSERT_EQ(code, QM_OK) << file;
        EXPECT_STREQ(job.pdl, row.text("tag").c_str()) << file;
        EXPECT_EQ(seen.colours, want) << file << " (" << row.text("driver") << ")";
        // The job's fields agree with its pages.
        const auto count = [&](char c) { return static_cast<uint32_t>(std::count(want.begin(), want.end(), c)); };
        EXPECT_EQ(job.colorPages, count('C')) << file;
        EXPECT_EQ(job.colorUnknownPages, 0u) << file;
        EXPECT_EQ(job.color, count('C') > 0 ? 1 : 0) << file;
        const auto found = paper.find(master);
        ASSERT_NE(found, paper.end()) << file << ": no master " << master;
        const auto& sizes = found->second;
        ASSERT_EQ(sizes.size(), want.size()) << file << ": master " << master;
        for (size_t k = 0; k < sizes.size() && k < seen.paper.size(); ++k) {
            EXPECT_NEAR(seen.paper[k].first, sizes[k].first, 0.02) << file << " page " << k + 1;
            EXPECT_NEAR(seen.paper[k].second, sizes[k].second, 0.02) << file << " page " << k + 1;
        }
        pages += static_cast<uint32_t>(want.size());
        colourPages += count('C');
    }
    // Every job on disk is in the truth, and the truth holds both answers.
    for (const auto& entry : std::filesystem::directory_iterator(kColourDir + "/jobs/pcl"))
        EXPECT_TRUE(listed.count("jobs/pcl/" + entry.path().filename().string())) << entry.path() << " has no truth";
    EXPECT_GT(colourPages, 0u);
    EXPECT_GT(pages - colourPages, colourPages);
}

}  // namespace
