// Counts every colour-truth job of the raster streams (tests/corpus/colour/
// jobs/streams, the colour masters printed through real drivers in colour and
// mono mode, and census jobs of the same kind) page by page, and checks each
// page's colour against tests/corpus/colour/streams.tsv and
// tests/corpus/census/colour.tsv: a page is colour when its driver put ink
// on a colour plane (ESC/Page: drew in a non-neutral colour), mono
// otherwise, and never unknown.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "casefile.h"
#include "quirometer/quirometer.h"

namespace {

const std::string kColourDir = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour";

int Collect(const QuirometerPage* page, void* context) {
    auto& letters = *static_cast<std::string*>(context);
    letters += page->color == QM_PAGE_COLOR ? 'C' : page->color == QM_PAGE_MONO ? 'M' : '?';
    if (page->number != letters.size()) letters += '#';  // out of order: never matches a truth
    return 0;
}

TEST(ColourStreams, EveryPageHasTheColourItsDriverPrinted) {
    std::string error;
    auto rows = qmtest::ReadTsv(kColourDir + "/streams.tsv", "colour/streams.tsv", error);
    ASSERT_GE(rows.size(), 50u);
    // Census jobs whose page colours their masters and queues fix (paths from this folder).
    for (auto& row : qmtest::ReadTsv(kColourDir + "/../census/colour.tsv", "census/colour.tsv", error))
        rows.push_back(std::move(row));
    ASSERT_TRUE(error.empty()) << error;
    size_t colourPages = 0, monoPages = 0;
    for (const auto& row : rows) {
        const std::string path = kColourDir + "/" + row.text("file");
        const std::string& want = row.text("colours");
        QuirometerJob job{};
        job.size = sizeof job;
        std::string got;
        const int32_t code = QuirometerCountPages(path.c_str(), row.text("tag").c_str(), &job, Collect, &got);
        ASSERT_EQ(code, QM_OK) << row.where << " " << row.text("file");
        EXPECT_EQ(job.pages, static_cast<uint32_t>(row.num("pages"))) << row.where << " " << row.text("file");
        EXPECT_EQ(got, want) << row.where << " " << row.text("file") << " (" << row.text("driver") << ")";
        size_t c = 0;
        for (char letter : want) c += letter == 'C';
        EXPECT_EQ(job.colorPages, c) << row.where;
        EXPECT_EQ(job.colorUnknownPages, 0u) << row.where;
        EXPECT_EQ(job.color, c > 0 ? 1 : 0) << row.where;
        colourPages += c;
        monoPages += want.size() - c;
    }
    // Both kinds of page are there to be told apart.
    EXPECT_GT(colourPages, 20u);
    EXPECT_GT(monoPages, 100u);
}

}  // namespace
