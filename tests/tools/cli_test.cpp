// The quirometer tool's count, detect and list commands, run as a user
// would run them. Jobs whose language must be detected are the bundled
// samples; everything else forces a language or needs none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli.h"

namespace {

using qmtest::Cli;
using qmtest::CliRun;
using qmtest::Has;
using qmtest::TempJob;
using qmtest::TempTree;

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
}

// Text, zeros and random bytes are no print job: no number, whatever the tag.
TEST(Cli, AccurateCountGivesNoNumberForWhatIsNoJob) {
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    const struct {
        const char* name;
        std::string bytes;
    } jobs[] = {
        {"zeros", std::string(65536, '\0')},
        {"text", "Dear printer,\nplease count me.\n"},
        {"noise", noise},
    };
    for (const auto& j : jobs) {
        TempJob job(j.bytes, "job.prn");
        CliRun detected = Cli(std::string("count --json ") + job.path());
        EXPECT_EQ(detected.status, 1) << j.name;
        EXPECT_TRUE(Has(detected.out, "\"code\":\"0x80040200\",\"error\":\"not a print job of a language this library knows\""))
            << j.name << ": " << detected.out;
        EXPECT_FALSE(Has(detected.out, "\"pages\"")) << j.name;

        CliRun forced = Cli(std::string("count --pdl PCL ") + job.path());
        EXPECT_EQ(forced.status, 1) << j.name;
        EXPECT_EQ(forced.out, std::string(job.path()) + ": failed 0x80040201 (the job does not parse as its language; no count)\n")
            << j.name;
    }
}

TEST(Cli, UsageErrorsExitTwo) {
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"count --pdl PCL7 x", "unknown tag 'PCL7'"},
        {"count --pdl", "--pdl needs a value"},
        {"count --compatible x", "--compatible needs --pdl TAG"},
        {"count --pdl PCL", "count needs at least one FILE"},
        {"detect", "detect needs at least one FILE"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"count --pdl PCL --fast x", "unknown option '--fast'"},
        {"count -j 0 --pdl PCL x", "-j needs a number from 1 to 1024"},
        {"detect --total x", "option '--total' does not apply to 'detect'"},
        {"count --dir d x", "option '--dir' does not apply to 'count'"},
        {"samples -r", "option '-r' does not apply to 'samples'"},
        {"samples x", "'samples' takes no files"},
        {"count --files-from - -", "standard input cannot hold both"},
        {"count --files-from /nonexistent/list", "/nonexistent/list: cannot read the list of files"},
        {"count --files-from /tmp", "/tmp: cannot read the list of files"},
        {"", "no command given"},
    };
    for (const auto& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_TRUE(Has(r.err, c.message)) << c.args << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(Cli, TagsAndEverydayNamesInAnyCase) {
    TempJob job("@F", "job.prn");
    const struct {
        const char* typed;
        const char* tag;
    } cases[] = {
        {"ps", "POSTSCRIPT"}, {"PCL5", "PCL"},         {"pcl6", "PCLXL"},       {"ESCPAGE", "ESC_PAGE"},
        {"esc/p2", "ESCP2"},  {"Hbp", "HBP"},          {"canonufr", "CanonUFR"}, {"ESC_PAGE", "ESC_PAGE"},
    };
    for (const auto& c : cases) {
        CliRun r = Cli(std::string("count --json --compatible --pdl ") + c.typed + " " + job.path());
        EXPECT_TRUE(Has(r.out, std::string("\"pdl\":\"") + c.tag + "\"")) << c.typed << " -> " << r.out << r.err;
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
    ASSERT_EQ(qmtest::Lines(text.out), 5u) << text.out;
    EXPECT_TRUE(Has(text.out, spool.Path("3.pcl") + ": 1 page, 1 copy, colour, simplex")) << text.out;
    EXPECT_TRUE(Has(text.out, "\ntotal: 4 jobs, 15 pages, 13 sheets, 1 colour job\n")) << text.out;

    CliRun json = Cli(args + " --json " + spool.Path("missing.pcl"));
    EXPECT_EQ(json.status, 1);
    EXPECT_TRUE(Has(json.out, "\n{\"total\":{\"jobs\":4,\"pages\":15,\"sheets\":13,\"colorJobs\":1,\"failed\":1}}\n"))
        << json.out;
    EXPECT_TRUE(Has(Cli(args + " " + spool.Path("missing.pcl")).out, "13 sheets, 1 colour job (1 file not counted)\n"));

    TempTree none;
    EXPECT_EQ(Cli("count --total " + none.Path()).out, "total: 0 jobs, 0 pages, 0 sheets, 0 colour jobs\n");
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
    EXPECT_EQ(qmtest::Lines(detect.out), 2u) << detect.out;
}

TEST(Cli, DetectSaysUnknownForWhatIsNoPrintJob) {
    TempTree t;
    const struct {
        const char* name;
        std::string bytes;
    } negatives[] = {  // in the order of their names
        {"1-text.txt", "Quarterly report\n\nAll figures in euros.\n"},
        {"2-zeros.bin", std::string(8192, '\0')},
        {"3-image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"4-archive.gz", std::string("\x1f\x8b\x08\0\0\0\0\0\0\3", 10)},
        {"5-program.elf", std::string("\x7f" "ELF\2\1\1\0", 8) + std::string(56, '\0')},
    };
    std::string want, wantJson;
    for (const auto& n : negatives) {
        const std::string path = t.Add(n.name, n.bytes);
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
}

// Needs the detection of the sample jobs' languages.
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
    EXPECT_TRUE(Has(text.out, "\ntotal: 3 jobs, 8 pages, 7 sheets, 0 colour jobs\n")) << text.out;
    EXPECT_TRUE(Has(text.out, zjs + ": 1 page, 2 copies, mono, duplex, paper ")) << text.out;

    CliRun json = Cli("count --json -", pxl);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.rfind("{\"file\":\"-\",\"pdl\":\"PCLXL\",\"code\":\"0x00000000\",\"pages\":1,\"copies\":3,", 0), 0u)
        << json.out;
    EXPECT_TRUE(Has(json.out, ",\"mode\":\"accurate\",\"certainty\":\"")) << json.out;
    EXPECT_TRUE(Has(json.out, ",\"detected\":\"PCLXL\"}\n")) << json.out;
}

// Needs the detection of the sample jobs' languages.
TEST(Cli, ForcingALanguageTheJobIsNotWarns) {
    const std::string pxl = kSamples + "letter-memo-1.pxlmono-copies3.pxl";
    for (const char* mode : {"", "--compatible "}) {
        CliRun r = Cli(std::string("count --json ") + mode + "--pdl pcl " + pxl);
        EXPECT_EQ(r.err.rfind("quirometer: " + pxl + ": warning: counted as PCL, but the job looks like PCLXL\n", 0), 0u)
            << mode << r.err;
        EXPECT_TRUE(Has(r.out, ",\"detected\":\"PCLXL\",\"warning\":\"counted as PCL, but the job looks like PCLXL\"}"))
            << mode << r.out;
    }
    CliRun agreeing = Cli("count --pdl PCL6 " + pxl);
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

TEST(Cli, ReadsStandardInputAndAnswersHelpVersionAndList) {
    TempJob job("@F@F", "in.hbp");
    CliRun in = Cli("count --compatible --pdl HBP -", job.path());
    EXPECT_EQ(in.status, 0);
    EXPECT_EQ(in.out, HbpLine("-", 2));

    EXPECT_EQ(Cli("--version").out, "quirometer 5.5.0.68.30\n");
    EXPECT_TRUE(Has(Cli("--help").out, "usage: quirometer count"));

    CliRun list = Cli("list");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(qmtest::Lines(list.out), 29u);
    EXPECT_TRUE(Has(list.out, "ESC_PAGE      Epson ESC/Page\n"));
}

TEST(Cli, DebugSendsDiagnosticLinesToStandardError) {
    TempJob empty("", "empty.prn");
    CliRun quiet = Cli("count --compatible --pdl HBP " + std::string(empty.path()));
    EXPECT_FALSE(Has(quiet.err, "sheetler.dll"));
    CliRun loud = Cli("count --debug --compatible --pdl HBP " + std::string(empty.path()));
    EXPECT_TRUE(Has(loud.err, "sheetler.dll!GetTotalPageCount: CreateFileMapping() failed 800703EE\n"));
}

}  // namespace
