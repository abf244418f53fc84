// The quirometer tool, run as a user would run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "testutil.h"

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(const std::string& args, const std::string& stdinFile = "/dev/null") {
    qmtest::TempJob errFile("", "stderr.txt");
    const std::string cmd = std::string(QM_CLI_PATH) + " " + args + " <" + stdinFile + " 2>" + errFile.path();
    CliRun r{-1, {}, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    FILE* e = std::fopen(errFile.path(), "rb");
    while (e != nullptr && (n = std::fread(buf.data(), 1, buf.size(), e)) > 0) r.err.append(buf.data(), n);
    if (e != nullptr) std::fclose(e);
    return r;
}

TEST(Cli, CountsFilesInOrderWithTextAndJson) {
    qmtest::TempJob a("@F@F@F", "a.hbp");
    qmtest::TempJob b("@F", "b.hbp");
    const std::string files = std::string(a.path()) + " " + b.path();

    CliRun text = Cli("count --pdl hbp -j 2 " + files);
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, std::string(a.path()) + ": 3 pages, 1 copy, colour, simplex, paper 0.00 x 0.00 in\n" +
                            b.path() + ": 1 page, 1 copy, colour, simplex, paper 0.00 x 0.00 in\n");

    CliRun json = Cli("count --json --pdl HBP " + files);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out, std::string("{\"file\":\"") + a.path() +
                            "\",\"pdl\":\"HBP\",\"code\":\"0x00000000\",\"pages\":3,\"copies\":1,\"color\":1,"
                            "\"duplex\":0,\"paperLength\":0,\"paperWidth\":0}\n"
                            "{\"file\":\"" + b.path() +
                            "\",\"pdl\":\"HBP\",\"code\":\"0x00000000\",\"pages\":1,\"copies\":1,\"color\":1,"
                            "\"duplex\":0,\"paperLength\":0,\"paperWidth\":0}\n");
}

TEST(Cli, FailuresExitOneAndExplainOnStandardError) {
    qmtest::TempJob empty("", "empty.prn");
    const std::string missing = empty.dir() + "/missing.prn";
    CliRun r = Cli("count --pdl HBP " + missing + " " + empty.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, missing + ": failed 0x80070002 (file not found)\n" + empty.path() +
                         ": failed 0x800703EE (empty file)\n");
    EXPECT_EQ(r.err, "quirometer: " + missing + ": file not found\nquirometer: " + empty.path() + ": empty file\n");

    CliRun json = Cli("count --json --pdl HBP " + missing);
    EXPECT_EQ(json.out, "{\"file\":\"" + missing +
                            "\",\"pdl\":\"HBP\",\"code\":\"0x80070002\",\"error\":\"file not found\"}\n");
}

TEST(Cli, UsageErrorsExitTwo) {
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"count --pdl PCL5 x", "unknown tag 'PCL5'"},
        {"count x", "count needs --pdl TAG"},
        {"count --pdl PCL", "count needs at least one FILE"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"count --pdl PCL --fast x", "unknown option '--fast'"},
        {"count -j 0 --pdl PCL x", "-j needs a number"},
        {"", "no command given"},
    };
    for (const auto& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << " -> " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(Cli, ReadsStandardInputAndAnswersHelpVersionAndList) {
    qmtest::TempJob job("@F@F", "in.hbp");
    CliRun in = Cli("count --pdl HBP -", job.path());
    EXPECT_EQ(in.status, 0);
    EXPECT_EQ(in.out, "-: 2 pages, 1 copy, colour, simplex, paper 0.00 x 0.00 in\n");

    EXPECT_EQ(Cli("--version").out, "quirometer 5.5.0.68.30\n");
    EXPECT_NE(Cli("--help").out.find("usage: quirometer count"), std::string::npos);

    CliRun list = Cli("list");
    EXPECT_EQ(list.status, 0);
    size_t lines = 0;
    for (char ch : list.out) lines += ch == '\n';
    EXPECT_EQ(lines, 29u);
    EXPECT_NE(list.out.find("ESC_PAGE      Epson ESC/Page\n"), std::string::npos);
}

TEST(Cli, DebugSendsDiagnosticLinesToStandardError) {
    qmtest::TempJob empty("", "empty.prn");
    CliRun quiet = Cli("count --pdl HBP " + std::string(empty.path()));
    EXPECT_EQ(quiet.err.find("sheetler.dll"), std::string::npos);
    CliRun loud = Cli("count --debug --pdl HBP " + std::string(empty.path()));
    EXPECT_NE(loud.err.find("sheetler.dll!GetTotalPageCount: CreateFileMapping() failed 800703EE\n"), std::string::npos);
}

}  // namespace
