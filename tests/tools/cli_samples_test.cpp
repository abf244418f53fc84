// quirometer samples: the bundled jobs beside their truth, found where the
// tool runs from, and what it says when there is nothing to check.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli.h"

namespace {

using qmtest::Cli;
using qmtest::CliRun;
using qmtest::Has;
using qmtest::TempTree;

const std::string kHeader =
    "file\ttag\tpages\tcopies\tcolor\tduplex\tpaperWidth\tpaperLength\tcompatible.pages\tcompatible.copies\t"
    "compatible.color\tcompatible.duplex\tcompatible.paperWidth\tcompatible.paperLength\tnote\n";

// Each JSON line carries the truth and whether the count agrees with it,
// and the exit status says whether all of them did.
void ExpectTruthAndAgreement(const CliRun& r, const char* mode) {
    size_t lines = 0, agreeing = 0;
    size_t from = 0;
    for (size_t end; (end = r.out.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string obj = r.out.substr(from, end - from);
        ++lines;
        EXPECT_TRUE(Has(obj, std::string("\"mode\":\"") + mode + "\"")) << obj;
        EXPECT_TRUE(Has(obj, ",\"truth\":{\"pdl\":\"")) << obj;
        const bool agrees = Has(obj, ",\"agrees\":true}");
        EXPECT_TRUE(agrees || Has(obj, ",\"agrees\":false}")) << obj;
        agreeing += agrees;
    }
    EXPECT_EQ(lines, 16u) << r.out;
    EXPECT_EQ(r.status, agreeing == lines ? 0 : 1);
}

TEST(CliSamples, JsonCarriesTheTruthAndExportsAgreeWithTheirRules) {
    CliRun text = Cli("samples --compatible");
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_TRUE(Has(text.out, "\n16 of 16 sample jobs agree with the records of their exports' rules\n")) << text.out;
    // The QPDL export reports the two-sided sample as one-sided, by its rules.
    EXPECT_TRUE(Has(text.out, "ok     QPDL         letter-memo-1.foo2qpdl-copies2-duplex.qpdl: 1 page, 2 copies, mono, "
                              "simplex, paper 8.50 x 11.00 in   [by its rules: pages=1 copies=2 color=0 duplex=0"))
        << text.out;

    CliRun json = Cli("samples --compatible --json -j 3");
    ExpectTruthAndAgreement(json, "compatible");
    EXPECT_TRUE(Has(json.out, "\"truth\":{\"pdl\":\"PCLXL\",\"pages\":1,\"copies\":3,\"color\":0,\"duplex\":0,"
                              "\"paperWidth\":8.5,\"paperLength\":11},\"agrees\":true}\n"))
        << json.out;

    json = Cli("samples --json");
    ExpectTruthAndAgreement(json, "accurate");
    // The truth of the two-sided QPDL sample is what it prints.
    EXPECT_TRUE(Has(json.out, "\"truth\":{\"pdl\":\"QPDL\",\"pages\":1,\"copies\":2,\"color\":0,\"duplex\":1,")) << json.out;
}

TEST(CliSamples, DisagreementFailsAndAFolderWithoutJobsIsAUsageError) {
    TempTree t;
    t.Add("jobs/a.hbp", "@F@F");
    t.Add("jobs/b.hbp", "@F");
    t.Add("jobs/truth.tsv", kHeader + "a.hbp\tHBP\t2\t1\t0\t0\t-\t-\t2\t1\t1\t0\t0\t0\tagrees\n"
                                      "b.hbp\tHBP\t1\t1\t0\t0\t-\t-\t3\t-\t-\t-\t-\t-\tcounts 1\n"
                                      "gone.hbp\tHBP\t1\t-\t-\t-\t-\t-\t1\t-\t-\t-\t-\t-\tmissing\n");
    CliRun r = Cli("samples --compatible --dir " + t.Path("jobs"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "ok     HBP          a.hbp: 2 pages")) << r.out;
    EXPECT_TRUE(Has(r.out, "DIFFER HBP          b.hbp: 1 page, 1 copy, colour, simplex, paper 0.00 x 0.00 in   "
                           "[by its rules: pages=3]\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "DIFFER HBP          gone.hbp: failed 0x80070002 (file not found)")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n1 of 3 sample jobs agree")) << r.out;
    CliRun json = Cli("samples --compatible --json --dir " + t.Path("jobs"));
    EXPECT_TRUE(Has(json.out, "\"truth\":{\"pdl\":\"HBP\",\"pages\":3},\"agrees\":false}\n")) << json.out;

    t.Add("empty/README", "no jobs here\n");
    t.Add("header-only/truth.tsv", kHeader);
    t.Add("no-columns/truth.tsv", "file\ttag\tpages\na.hbp\tHBP\t1\n");  // no compatible record
    t.Add("no-tags/truth.tsv", "file\tcompatible.pages\na.hbp\t1\n");
    const struct {
        const char* dir;
        const char* message;
    } cases[] = {
        {"empty", "no sample jobs here (no truth.tsv)"},
        {"absent", "no sample jobs here (no truth.tsv)"},
        {"header-only", "truth.tsv lists no sample jobs"},
        {"no-columns", "truth.tsv has no 'compatible.pages' column (nor any other field's)"},
        {"no-tags", "truth.tsv has no 'tag' column"},
    };
    for (const auto& c : cases) {
        CliRun bad = Cli("samples --compatible --dir " + t.Path(c.dir));
        EXPECT_EQ(bad.status, 2) << c.dir;
        EXPECT_TRUE(Has(bad.err, c.message)) << c.dir << ": " << bad.err;
        EXPECT_EQ(bad.out, "") << c.dir;
    }
}

// An installed (or staged, or moved) tool reads share/quirometer/samples
// under its own prefix, not the source tree it was built from.
TEST(CliSamples, InstalledToolFindsTheSamplesOfItsPrefix) {
    TempTree prefix;
    namespace fs = std::filesystem;
    fs::create_directories(prefix.Path("bin"));
    fs::copy_file(QM_CLI_PATH, prefix.Path("bin/quirometer"));
    fs::permissions(prefix.Path("bin/quirometer"), fs::perms::owner_all);
    prefix.Add("share/quirometer/samples/only.hbp", "@F@F@F");
    prefix.Add("share/quirometer/samples/truth.tsv", kHeader + "only.hbp\tHBP\t3\t-\t-\t-\t-\t-\t3\t1\t1\t0\t0\t0\t\n");

    CliRun r = Cli("samples --compatible", "/dev/null", prefix.Path("bin/quirometer"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ok     HBP          only.hbp: 3 pages, 1 copy, colour, simplex, paper 0.00 x 0.00 in   "
                     "[by its rules: pages=3 copies=1 color=1 duplex=0 paperWidth=0 paperLength=0]\n"
                     "1 of 1 sample jobs agree with the records of their exports' rules\n");
}

}  // namespace
