#include "pcl/pcl_accurate.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "casefile.h"

namespace {

const std::string E = "\x1b";
const std::string FF = "\x0c";
const std::string UEL = "\x1b%-12345X";

int32_t CountPcl(qm::Bytes job, qm::accurate::Result& r) { return qm::pclaccurate::CountPcl5(job, r); }

// Pages as the printer ejects them (and what is not a page); the copies,
// duplex and paper in force.
TEST(PclAccurate, Records) { qmtest::ExpectAccurateCases(CountPcl, "pcl/cases/accurate.tsv"); }

// What each page prints in, as a string of M (mono), C (colour) and U
// (left open), after Finish; the job's colour follows from its pages.
std::string PageColours(const qm::accurate::Result& r) {
    std::string s;
    for (const qm::accurate::PageLog::Run& run : r.pages.Runs())
        s.append(run.count, run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : 'U');
    return s;
}

TEST(PclAccurate, ColourPageByPage) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("pcl/cases/accurate_colour.tsv")) {
        qm::accurate::Result r;
        ASSERT_EQ(CountPcl(qmtest::Guarded(c.bytes("job")).bytes(), r), QM_OK) << c.name();
        qm::accurate::Finish(r);
        const std::string want = c.text("pages");
        EXPECT_EQ(PageColours(r), want) << c.name();
        EXPECT_EQ(r.rec.color, want.find_first_of("CU") != std::string::npos ? 1 : 0) << c.name();
        EXPECT_EQ((r.unknown & QM_FIELD_COLOR) != 0, want.find('C') == std::string::npos && want.find('U') != std::string::npos)
            << c.name();
    }
}

// Bytes with no PCL in them are no job; junk anywhere never crashes or hangs.
TEST(PclAccurate, NoPclIsNoCount) {
    for (const std::string& job : {std::string(), std::string("plain words, no commands"), std::string(1000, '\0')})
        qmtest::ExpectAccurate(CountPcl, {"no PCL", job, qmtest::kNotUnderstood});
    const std::string cuts[] = {E, E + "*", E + "*b", E + "*b12", E + "*b12W", E + "%-123", UEL + "@PJL",
                                E + "%0B", E + "*b4294967295W", E + "*b99999999999999999999W"};
    for (const std::string& job : cuts) {
        qm::accurate::Result r;
        CountPcl(qmtest::Guarded(job + FF).bytes(), r);
        EXPECT_LE(r.rec.pages, 1u) << job.substr(1);
    }
}

// Plots: the plot size in plotter units, colour from the raster passages, and
// the pages PCL ejects when the plot has no page command.
TEST(HpglAccurate, PlotSizeColourAndPages) {
    qmtest::ExpectAccurateCases(
        [](qm::Bytes job, qm::accurate::Result& r) {
            std::lock_guard<std::mutex> hold(qm::accurate::GroupLock(qm::FindCounter("HPGL")->group));
            return qm::accurate::AccurateHPGL(job, r);
        },
        "pcl/cases/hpgl_accurate.tsv");
}

}  // namespace
