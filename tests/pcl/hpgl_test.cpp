#include "casefile.h"

using namespace qmtest;

namespace {

const std::string E = "\x1B";

TEST(HpglPages, AdvanceAndReplot) { ExpectRecordCases("HPGL", "pcl/cases/hpgl_pages.tsv"); }

// The plot-size factor is single precision; a job cut inside a command reads no further.
TEST(HpglAttributes, CopiesPaperColour) {
    ExpectRecordCases("HPGL", "pcl/cases/hpgl_attributes.tsv");
    for (const char* end : {"BP", "BP2,", "BP1,\"x", "PE<", "LBx"})
        EXPECT_EQ(ScanEndingAtAPage("HPGL", end), QM_OK) << end;
}

TEST(HpglDiagnostics, Lines) { ExpectLinesCases("HPGL", "pcl/cases/hpgl_lines.tsv"); }

TEST(UnixTextPclPages, PageEjects) { ExpectRecordCases("UnixTextPCL", "pcl/cases/unixtext_pages.tsv"); }

TEST(UnixTextPclPages, SharedRecordIsRewrittenWhole) {
    // A PCL job leaves colour, duplex and paper in the shared record; the
    // text counter reports none of them.
    PageCountResult rec{};
    ASSERT_EQ(CountWith("PCL", E + "&l1S" + E + "&l26A" + E + "*v1A" + "\x0C", rec), QM_OK);
    EXPECT_EQ(rec.duplex, 1);
    ExpectRecord("UnixTextPCL", "after a PCL job", E + "&l0h1", {1, 1});
}

}  // namespace
