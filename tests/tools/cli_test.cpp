// The quirometer tool's count, detect, list and samples commands, run as a
// user would run them. Jobs whose language must be detected are the bundled
// samples; everything else forces a language or needs none.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "accurate/accurate.h"
#include "casefile.h"
#include "testutil.h"

namespace {

using qmtest::ReadFile;
using qmtest::TempJob;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// Runs the tool with standard input from a file: its exit status and both outputs.
CliRun Cli(const std::string& args, const std::string& stdinFile = "/dev/null",
           const std::string& program = QM_CLI_PATH) {
    TempJob out("", "stdout.txt"), err("", "stderr.txt");
    const std::string cmd = program + " " + args + " <" + stdinFile + " >" + out.path() + " 2>" + err.path();
    const int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadFile(out.path()), ReadFile(err.path())};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// A private temporary folder, removed with everything in it.
class TempTree {
public:
    TempTree() {
        char tmpl[] = "/tmp/qmtest-tree-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        root_ = d ? d : "";
    }
    ~TempTree() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Writes `bytes` to `relative` under the root, making its folders; returns its path.
    std::string Add(const std::string& relative, const std::string& bytes) {
        const std::filesystem::path p = std::filesystem::path(root_) / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::string Path(const std::string& rel = "") const { return rel.empty() ? root_ : root_ + "/" + rel; }

private:
    std::string root_;
};

const std::string kSamples = std::string(QM_SOURCE_DIR) + "/samples/";

// Detection of a hand-made job may change as languages learn to recognise
// it; what it found is left out where a test does not depend on it.
std::string WithoutDetected(std::string json) {
    for (size_t at; (at = json.find(",\"detected\":\"")) != std::string::npos;)
        json.erase(at, json.find('"', at + 13) + 1 - at);
    return json;
}

// The text line of a job as the HBP export counts it.
std::string HbpLine(const std::string& file, int pages) {
    return file + ": " + std::to_string(pages) + (pages == 1 ? " page" : " pages") +
           ", 1 copy, colour, simplex, paper 0.00 x 0.00 in\n";
}

// A PCL job as the PCL export counts it: a page per form feed.
std::string Pcl(int pages, int copies, bool duplex, bool colour = false) {
    std::string job = "\x1b" "E\x1b&l" + std::to_string(copies) + "X";
    if (duplex) job += "\x1b&l1S";
    if (colour) job += std::string("\x1b*v6W\0\3\0\10\10\10", 11);
    for (int i = 0; i < pages; ++i) job += "page\f";
    return job + "\x1b" "E";
}

TEST(Cli, CompatibleCountsFilesInOrderWithTextAndJson) {
    TempJob a("@F@F@F", "a.hbp");
    TempJob b("@F", "b.hbp");
    const std::string files = std::string(a.path()) + " " + b.path();

    CliRun text = Cli("count --compatible --pdl hbp -j 2 " + files);
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, HbpLine(a.path(), 3) + HbpLine(b.path(), 1));

    CliRun json = Cli("count --json --pdl HBP --compatible " + files);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(WithoutDetected(json.out),
              std::string("{\"file\":\"") + a.path() +
                  "\",\"pdl\":\"HBP\",\"code\":\"0x00000000\",\"pages\":3,\"copies\":1,\"color\":1,"
                  "\"duplex\":0,\"paperLength\":0,\"paperWidth\":0,\"mode\":\"compatible\"}\n"
                  "{\"file\":\"" + b.path() +
                  "\",\"pdl\":\"HBP\",\"code\":\"0x00000000\",\"pages\":1,\"copies\":1,\"color\":1,"
                  "\"duplex\":0,\"paperLength\":0,\"paperWidth\":0,\"mode\":\"compatible\"}\n");
}

TEST(Cli, FailuresExitOneAndExplainOnStandardErrorInBothModes) {
    TempJob empty("", "empty.prn");
    const std::string missing = empty.dir() + "/missing.prn";
    for (const char* mode : {"--compatible --pdl HBP", "", "--pdl PCL"}) {
        CliRun r = Cli(std::string("count ") + mode + " " + missing + " " + empty.path());
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_EQ(r.out, missing + ": failed 0x80070002 (file not found)\n" + empty.path() +
                             ": failed 0x800703EE (empty file)\n")
            << mode;
        EXPECT_EQ(r.err, "quirometer: " + missing + ": file not found\nquirometer: " + empty.path() + ": empty file\n")
            << mode;
    }
    CliRun json = Cli("count --json " + missing);
    EXPECT_EQ(json.out, "{\"file\":\"" + missing +
                            "\",\"pdl\":\"unknown\",\"code\":\"0x80070002\",\"error\":\"file not found\","
                            "\"mode\":\"accurate\"}\n");
    // --debug adds the exports' diagnostic lines, and only it.
    EXPECT_FALSE(Has(Cli("count --compatible --pdl HBP " + std::string(empty.path())).err, "sheetler.dll"));
    EXPECT_TRUE(Has(Cli("count --debug --compatible --pdl HBP " + std::string(empty.path())).err,
                    "sheetler.dll!GetTotalPageCount: CreateFileMapping() failed 800703EE\n"));
}

TEST(Cli, UsageErrorsExitTwo) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("tools/cases/usage.tsv")) {
        CliRun r = Cli(c.text("args"));
        EXPECT_EQ(r.status, 2) << c.name();
        EXPECT_TRUE(Has(r.err, c.text("message"))) << c.name() << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.name();
    }
}

// Sheets: each copy takes sheets of its own, two pages a sheet when
// two-sided; pages are those printed, every copy included.
TEST(Cli, TotalsAddPagesSheetsAndColourJobs) {
    TempTree spool;
    spool.Add("1.pcl", Pcl(3, 2, true));        // 6 pages on 2 x 2 sheets
    spool.Add("2.pcl", Pcl(2, 3, false));       // 6 pages on 6 sheets
    spool.Add("3.pcl", Pcl(1, 1, false, true));  // 1 colour page
    spool.Add("4.pcl", Pcl(1, 2, true));        // 2 pages on 2 sheets, not 1
    const std::string args = "count --compatible --pdl PCL --total " + spool.Path();

    CliRun text = Cli(args);
    EXPECT_EQ(text.status, 0) << text.err;
    ASSERT_EQ(Lines(text.out), 5u) << text.out;
    EXPECT_TRUE(Has(text.out, spool.Path("3.pcl") + ": 1 page, 1 copy, colour, simplex")) << text.out;
    EXPECT_TRUE(Has(text.out, "\ntotal: 4 jobs, 15 pages, 13 sheets, 1 colour job\n")) << text.out;

    CliRun json = Cli(args + " --json " + spool.Path("missing.pcl"));
    EXPECT_EQ(json.status, 1);
    EXPECT_TRUE(Has(json.out, "\n{\"total\":{\"jobs\":4,\"pages\":15,\"sheets\":13,\"colorJobs\":1,\"failed\":1}}\n"))
        << json.out;
    EXPECT_TRUE(Has(Cli(args + " " + spool.Path("missing.pcl")).out, "13 sheets, 1 colour job (1 file not counted)\n"));

    TempTree none;
    EXPECT_EQ(Cli("count --total " + none.Path()).out,
              "total: 0 jobs, 0 pages, 0 sheets, 0 colour jobs; 0 colour pages, 0 mono pages\n");
}

// The accurate count tells each page: its colour in the line, the page list
// in JSON, and in the totals the colour and mono pages printed (copies
// included) and the sheets by paper, counted page by page.
TEST(Cli, AccurateCountGivesColourPagesAndEachPage) {
    const std::string mark = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour/jobs/streams/one-mark-5.stcolor-colour.prn";
    const std::string duplex = kSamples + "a4-report-3.ljet4d-duplex.pcl";
    const std::string copies = kSamples + "letter-memo-1.pxlmono-copies3.pxl";
    TempJob hbp(std::string("@G\0\0\x02" "dd@F@F@F", 13), "c.hbp");  // three pages whose colour the job does not state

    CliRun text = Cli("count --total " + mark + " " + copies);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(Has(text.out, mark + ": 5 pages, 1 in colour, 1 copy, simplex, paper ")) << text.out;
    EXPECT_TRUE(Has(text.out, "\ntotal: 2 jobs, 8 pages, 8 sheets, 1 colour job; 1 colour page, 7 mono pages; "
                              "sheets by paper: 8.50 x 11.00 in 8\n"))
        << text.out;
    CliRun unknown = Cli("count --total --pdl HBP " + std::string(hbp.path()));
    EXPECT_EQ(unknown.out, std::string(hbp.path()) + ": 3 pages, 0 in colour, 3 of unknown colour, 1 copy, simplex, "
                           "paper unknown (HBP; unknown: colour, duplex, paper)\ntotal: 1 job, 3 pages, 3 sheets, "
                           "1 colour job; 0 colour pages, 0 mono pages, 3 pages of unknown colour; sheets by paper: "
                           "unknown 3\n");

    CliRun json = Cli("count --json --pages " + mark + " " + duplex);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(Has(json.out, "\"pages\":5,\"copies\":1,\"color\":1,\"colorPages\":1,\"colorUnknownPages\":0,"))
        << json.out;
    std::string list = ",\"pageList\":[";
    for (int n = 1; n <= 5; ++n)
        list += std::string(n > 1 ? "," : "") + "{\"number\":" + std::to_string(n) + ",\"color\":\"" +
                (n == 3 ? "color" : "mono") + "\",\"side\":\"none\",\"paperWidth\":8.5,\"paperLength\":11}";
    EXPECT_TRUE(Has(json.out, list + "]")) << json.out;
    // Two-sided: fronts and backs in turn.
    EXPECT_TRUE(Has(json.out, "{\"number\":1,\"color\":\"mono\",\"side\":\"front\"")) << json.out;
    EXPECT_TRUE(Has(json.out, "{\"number\":2,\"color\":\"mono\",\"side\":\"back\"")) << json.out;
    EXPECT_TRUE(Has(json.out, "{\"number\":3,\"color\":\"mono\",\"side\":\"front\"")) << json.out;
    EXPECT_FALSE(Has(Cli("count --json " + mark).out, "pageList"));

    CliRun total = Cli("count --json --total " + duplex + " " + copies);
    EXPECT_TRUE(Has(total.out, "{\"total\":{\"jobs\":2,\"pages\":6,\"sheets\":5,\"colorJobs\":0,\"colorPages\":0,"
                               "\"monoPages\":6,\"colorUnknownPages\":0,\"sheetsByPaper\":[{\"paperWidth\":8.27,"
                               "\"paperLength\":11.69,\"sheets\":2},{\"paperWidth\":8.5,\"paperLength\":11,\"sheets\":3}],"
                               "\"failed\":0}}\n"))
        << total.out;
}

TEST(Cli, FoldersGiveTheirFilesSortedAndSubfoldersOnlyWithR) {
    TempTree t;
    t.Add("spool/b.hbp", "@F@F");
    t.Add("spool/a.hbp", "@F");
    t.Add("spool/sub/c.hbp", "@F@F@F");
    t.Add("spool/sub/deeper/d.hbp", "@F@F@F@F");
    t.Add("elsewhere/e.hbp", "@F@F@F@F@F");
    ASSERT_EQ(::symlink(t.Path("spool").c_str(), t.Path("spool/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink(t.Path("elsewhere/e.hbp").c_str(), t.Path("spool/link.hbp").c_str()), 0);
    const std::string s = t.Path("spool");
    const std::string top = HbpLine(s + "/a.hbp", 1) + HbpLine(s + "/b.hbp", 2) + HbpLine(s + "/link.hbp", 5);

    CliRun flat = Cli("count --compatible --pdl HBP " + s);
    EXPECT_EQ(flat.status, 0);
    EXPECT_EQ(flat.out, top);
    // The link back to the spool folder is not followed.
    CliRun deep = Cli("count -r -j 3 --compatible --pdl HBP " + s + "/");
    EXPECT_EQ(deep.status, 0);
    EXPECT_EQ(deep.out, top + HbpLine(s + "/sub/c.hbp", 3) + HbpLine(s + "/sub/deeper/d.hbp", 4)) << deep.out;
}

TEST(Cli, FilesFromReadsAListFileOrStandardInput) {
    TempTree t;
    const std::string a = t.Add("a.hbp", "@F");
    const std::string b = t.Add("jobs/b.hbp", "@F@F");
    const std::string list = t.Add("list.txt", "\n" + a + "\r\n\n" + t.Path("jobs") + "\n");
    const std::string want = HbpLine(a, 1) + HbpLine(b, 2);

    CliRun fromFile = Cli("count --compatible --pdl HBP --files-from " + list);
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out, want);
    CliRun fromStdin = Cli("count --compatible --pdl HBP --files-from - " + a, list);
    EXPECT_EQ(fromStdin.out, HbpLine(a, 1) + want);
    CliRun detect = Cli("detect --files-from " + list);
    EXPECT_EQ(Lines(detect.out), 2u) << detect.out;
}

// Text and zeros are no print job: unknown, in the order of their names,
// and no number, whether a language is detected or forced.
TEST(Cli, NoPrintJobIsUnknownAndGetsNoNumber) {
    TempTree t;
    const std::string text = t.Add("1-text.txt", "Quarterly report\n\nAll figures in euros.\n");
    const std::string zeros = t.Add("2-zeros.bin", std::string(8192, '\0'));
    std::string want, wantJson;
    for (const std::string& path : {text, zeros}) {
        want += path + ": unknown\n";
        wantJson += "{\"file\":\"" + path +
                    "\",\"pdl\":\"unknown\",\"code\":\"0x80040200\",\"error\":\"not a print job of a language this "
                    "library knows\"}\n";
    }
    CliRun r = Cli("detect " + t.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "");  // the lines say it all
    EXPECT_EQ(Cli("detect --json " + t.Path()).out, wantJson);

    CliRun missing = Cli("detect " + t.Path("nothing.prn"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, t.Path("nothing.prn") + ": unknown\n");
    EXPECT_EQ(missing.err, "quirometer: " + t.Path("nothing.prn") + ": file not found\n");

    CliRun detected = Cli("count --json " + text);
    EXPECT_EQ(detected.status, 1);
    EXPECT_TRUE(Has(detected.out, "\"code\":\"0x80040200\",\"error\":\"not a print job of a language")) << detected.out;
    EXPECT_FALSE(Has(detected.out, "\"pages\""));
    CliRun forced = Cli("count --pdl PCL " + zeros);
    EXPECT_EQ(forced.status, 1);
    EXPECT_EQ(forced.out, zeros + ": failed 0x80040201 (the job does not parse as its language; no count)\n");
}

// Sample jobs, whose languages are detected.
TEST(Cli, DetectsAndCountsSampleJobsWithoutATag) {
    const std::string pxl = kSamples + "letter-memo-1.pxlmono-copies3.pxl";
    const std::string pcl = kSamples + "a4-report-3.ljet4d-duplex.pcl";
    const std::string zjs = kSamples + "letter-memo-1.foo2zjs-copies2-duplex.zjs";
    const std::string files = pxl + " " + pcl + " " + zjs;

    CliRun detect = Cli("detect " + files);
    EXPECT_EQ(detect.status, 0) << detect.out;
    EXPECT_EQ(detect.out, pxl + ": PCLXL\n" + pcl + ": PCL\n" + zjs + ": ZJSTREAM\n");
    CliRun text = Cli("count --total " + files);
    EXPECT_EQ(text.status, 0) << text.err;
    // 1 page x 3 + 3 two-sided pages + 1 two-sided page x 2 copies.
    EXPECT_TRUE(Has(text.out, "\ntotal: 3 jobs, 8 pages, 7 sheets, 0 colour jobs; 0 colour pages, 8 mono pages; "
                              "sheets by paper: 8.50 x 11.00 in 5, 8.27 x 11.69 in 2\n"))
        << text.out;
    EXPECT_TRUE(Has(text.out, zjs + ": 1 page, 0 in colour, 2 copies, duplex, paper ")) << text.out;

    CliRun json = Cli("count --json -", pxl);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.rfind("{\"file\":\"-\",\"pdl\":\"PCLXL\",\"code\":\"0x00000000\",\"pages\":1,\"copies\":3,", 0), 0u)
        << json.out;
    EXPECT_TRUE(Has(json.out, ",\"mode\":\"accurate\",\"certainty\":\"")) << json.out;
    EXPECT_TRUE(Has(json.out, ",\"detected\":\"PCLXL\"}\n")) << json.out;

    // Forcing a language the job is not warns.
    for (const char* mode : {"", "--compatible "}) {
        CliRun r = Cli(std::string("count --json ") + mode + "--pdl pcl " + pxl);
        EXPECT_EQ(r.err.rfind("quirometer: " + pxl + ": warning: counted as PCL, but the job looks like PCLXL\n", 0), 0u)
            << mode << r.err;
        EXPECT_TRUE(Has(r.out, ",\"detected\":\"PCLXL\",\"warning\":\"counted as PCL, but the job looks like PCLXL\"}"))
            << mode << r.out;
    }
    CliRun agreeing = Cli("count --pdl PCL6 " + pxl);  // an everyday name of the job's language
    EXPECT_EQ(agreeing.status, 0);
    EXPECT_EQ(agreeing.err, "");
}

// Fields a job does not let the count know are listed, and never shown as
// if they were known.
TEST(Cli, UnknownFieldsAreListedInBothFormats) {
    CliRun json = Cli("count --json -j 4 " + kSamples);
    CliRun text = Cli("count -j 4 " + kSamples);
    size_t counted = 0;
    size_t from = 0, textFrom = 0;
    for (size_t end; (end = json.out.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string obj = json.out.substr(from, end - from);
        const size_t textEnd = text.out.find('\n', textFrom);
        const std::string line = text.out.substr(textFrom, textEnd - textFrom);
        textFrom = textEnd + 1;
        if (!Has(obj, "\"code\":\"0x00000000\"")) continue;
        ++counted;
        const bool paperUnknown = Has(obj, "\"paperLength\":0,");
        EXPECT_EQ(Has(obj, "\"unknown\":[") && Has(obj, "\"paperLength\",\"paperWidth\"]"), paperUnknown) << obj;
        EXPECT_EQ(Has(line, "paper unknown"), paperUnknown) << line;
        EXPECT_EQ(Has(obj, "\"certainty\":\"estimated\""), Has(line, ", estimated")) << obj << "\n" << line;
    }
    EXPECT_GT(counted, 0u) << json.out;
}

TEST(Cli, AnswersHelpVersionAndList) {
    EXPECT_EQ(Cli("--version").out, "quirometer 5.5.0.68.30\n");
    EXPECT_TRUE(Has(Cli("--help").out, "usage: quirometer count"));

    CliRun list = Cli("list");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(Lines(list.out), qm::accurate::Languages().size());
    EXPECT_TRUE(Has(list.out, "ESC_PAGE      Epson ESC/Page\n"));
    EXPECT_TRUE(Has(list.out, "PWGRaster     PWG Raster"));  // a language without an export
}

// quirometer samples: the bundled jobs beside their truth, found where the
// tool runs from, and what it says when there is nothing to check. Folders
// of jobs and truth made for these tests are in tools/cases/samples.
const std::string kSampleFolders = std::string(QM_SOURCE_DIR) + "/tests/tools/cases/samples/";

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
    // The truth of b.hbp states 3 pages, and gone.hbp is missing.
    CliRun r = Cli("samples --compatible --dir " + kSampleFolders + "disagreeing");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "ok     HBP          a.hbp: 2 pages")) << r.out;
    EXPECT_TRUE(Has(r.out, "DIFFER HBP          b.hbp: 1 page, 1 copy, colour, simplex, paper 0.00 x 0.00 in   "
                           "[by its rules: pages=3]\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "DIFFER HBP          gone.hbp: failed 0x80070002 (file not found)")) << r.out;
    EXPECT_TRUE(Has(r.out, "\n1 of 3 sample jobs agree")) << r.out;
    CliRun json = Cli("samples --compatible --json --dir " + kSampleFolders + "disagreeing");
    EXPECT_TRUE(Has(json.out, "\"truth\":{\"pdl\":\"HBP\",\"pages\":3},\"agrees\":false}\n")) << json.out;

    for (const qmtest::CaseRow& c : qmtest::ReadCases("tools/cases/sample-folders.tsv")) {
        CliRun bad = Cli("samples --compatible --dir " + kSampleFolders + c.text("dir"));
        EXPECT_EQ(bad.status, 2) << c.name();
        EXPECT_TRUE(Has(bad.err, c.text("message"))) << c.name() << ": " << bad.err;
        EXPECT_EQ(bad.out, "") << c.name();
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
    fs::create_directories(prefix.Path("share/quirometer"));
    fs::copy(kSampleFolders + "installed", prefix.Path("share/quirometer/samples"));  // one job of 3 pages

    CliRun r = Cli("samples --compatible", "/dev/null", prefix.Path("bin/quirometer"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ok     HBP          only.hbp: 3 pages, 1 copy, colour, simplex, paper 0.00 x 0.00 in   "
                     "[by its rules: pages=3 copies=1 color=1 duplex=0 paperWidth=0 paperLength=0]\n"
                     "1 of 1 sample jobs agree with the records of their exports' rules\n");
}

}  // namespace
