// The colour masters printed in colour and in mono mode through the drivers
// of the languages without an export whose truth tables give colour only:
// ESC/P-R (printer-driver-escpr; a page of the driver's mono mode is mono)
// and the host-based GDI drivers (scripts/corpus/gdi.sh) and Kodak's Hero
// filter (scripts/corpus/kodak.sh), printed on one sheet size whatever the
// master's, so paper is not compared. Each job is
// counted page by page through QuirometerCountPages: the language detected,
// and every page's colour as its table states it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "colour_pages.h"

namespace {

struct Table {
    const char* file;
    size_t fewestRows;
};

class ColourNewLanguage : public testing::TestWithParam<Table> {};

TEST_P(ColourNewLanguage, EveryPageAsItsTruth) {
    std::string error;
    const Table t = GetParam();
    const auto rows = qmtest::ReadTsv(qmtest::kColourDir + "/" + t.file, t.file, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(rows.size(), t.fewestRows);
    std::map<std::string, int> modes;
    for (const qmtest::CaseRow& r : rows) {
        const std::string file = r.text("file"), path = qmtest::kColourDir + "/" + file;
        QuirometerJob job{};
        job.size = sizeof job;
        qmtest::Seen seen;
        ASSERT_EQ(QuirometerCountPages(path.c_str(), nullptr, &job, &qmtest::OnPage, &seen), QM_OK) << file;
        EXPECT_STREQ(job.pdl, r.text("tag").c_str()) << file;
        EXPECT_EQ(job.pages, uint32_t(r.num("pages"))) << file;
        EXPECT_EQ(seen.colours, r.text("colours")) << file << " (" << r.text("driver") << ")";
        ++modes[r.text("mode")];
    }
    EXPECT_GT(modes["colour"], 0);
    EXPECT_GT(modes["mono"], 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ColourNewLanguage, testing::Values(Table{"escpr.tsv", 5}, Table{"gdi.tsv", 12}),
                         [](const testing::TestParamInfo<Table>& i) { return i.index == 0 ? "ESCPR" : "GDI"; });

}  // namespace
