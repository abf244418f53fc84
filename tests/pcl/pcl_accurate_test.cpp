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

// The colour a raster, palette or PJL setting gives, and whether it is known or guessed.
TEST(PclAccurate, Colour) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("pcl/cases/accurate_colour.tsv")) {
        qm::accurate::Result r;
        ASSERT_EQ(CountPcl(qm::Bytes(c.bytes("job")), r), QM_OK) << c.name();
        EXPECT_EQ(r.rec.color, c.num("colour")) << c.name();
        EXPECT_EQ((r.unknown & QM_FIELD_COLOR) == 0, qmtest::Yes(c, "known")) << c.name();
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
        CountPcl(qm::Bytes(job + FF), r);
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
