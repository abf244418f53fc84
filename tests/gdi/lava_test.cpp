// LAVAFLOW: jobs of cases/lava.tsv (foo2lava's PJL header, then the row's
// commands) counted page by page; the bid, and detection of a job whose
// header enters LAVAFLOW over commands that read as PCL.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "gdi/lava.h"
#include "gdi_testutil.h"

namespace {

const std::string kHeader = "\x1b%-12345X@PJL JOB NAME=\"stdin\"\n\x1b%-12345X@PJL ENTER LANGUAGE=LAVAFLOW\n";

std::string Job(const qmtest::CaseRow& c) { return (c.text("header") == "no" ? "" : kHeader) + c.bytes("job"); }

TEST(Lava, CommandWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateLAVAFLOW, "gdi/cases/lava.tsv", &Job); }

TEST(Lava, Bid) { qmtest::ExpectBidLevels("gdi/cases/lava_bids.tsv", &Job); }

// A header that enters LAVAFLOW leaves the job to LAVAFLOW alone: PCL, whose
// commands these are too, never gets it.
TEST(Lava, DeclaredJobIsLavaflowOrUnknown) {
    const std::string lava = kHeader + "\x1b" "E\x1b&l0S\x1b&l1X\x1b*b1234M\x1b*r1U\x1b*r1A\x1b*x5K\x1b*rC\x1b" "E\x1b%-12345X";
    const std::string pcl = kHeader + "\x1b" "E\x1b&l0o0e1X\x1b*p0x0Y\x1b*t300R\x1b*r1A\x1b*b2W\xff\xff\x1b*rB\x0c";
    const auto detected = [](const std::string& job) {
        const qm::accurate::Detection d = qm::accurate::Detect(qm::Bytes(job));
        return d.winner ? std::string(d.winner->counter->tag) : std::string("unknown");
    };
    EXPECT_EQ(detected(lava), "LAVAFLOW");
    EXPECT_EQ(detected(pcl), "unknown");
    // A real PCL job under the header.
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/samples/a4-report-3.ljet4d-duplex.pcl", std::ios::binary);
    const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(sample.empty());
    EXPECT_EQ(detected(kHeader + sample), "unknown");
}

}  // namespace
