#include "casefile.h"

using namespace qmtest;

namespace {

const std::string E = "\x1B";
const std::string FF = "\x0C";

TEST(PclPages, PreferenceOrder) { ExpectRecordCases("PCL", "pcl/cases/pages.tsv"); }

// Data behind a length, passages and comment blocks hide the form feeds in them.
TEST(PclPages, PayloadIsSkipped) { ExpectRecordCases("PCL", "pcl/cases/payload.tsv"); }

TEST(PclAttributes, CopiesColourDuplexPaper) { ExpectRecordCases("PCL", "pcl/cases/attributes.tsv"); }

TEST(PclAttributes, NothingCarriesOverFromAnEarlierCall) {
    PageCountResult rec{};
    const std::string pjl = "@PJL SET QTY=9\n";
    const std::string full = pjl + E + "&l1S" + E + "&l26A" + E + "*v1A" + FF + FF + std::string(20, ' ');
    ASSERT_EQ(CountWith("PCL", full, rec), QM_OK);
    EXPECT_EQ(rec.pages, 2u);
    ExpectRecord("PCL", "empty after a full job", "nothing here", {0, 1});
}

TEST(PclDiagnostics, Lines) { ExpectLinesCases("PCL", "pcl/cases/lines.tsv"); }

// Detection reads the first sequences and steps over their data: text
// between them, data bytes read as text or a mode selection alone decide.
TEST(PclBids, SequencesAndTheirData) { ExpectBidCases("pcl/cases/bids.tsv"); }

}  // namespace
