#include <gtest/gtest.h>

#include <string>

#include "escp/canon.h"
#include "escp/canon_bjl.h"
#include "escp/canon_raster.h"
#include "casefile.h"

using namespace qmtest;
using qm::CommandStream;
using namespace qm::canon;

namespace {

const std::string kBjlMessage = "Bubble Jet Language is not supported. Ignoring all commands.\n";

struct RasterRun {
    int mode = kRasterMode;  // or, for the text-language skip, its result
    PageCountResult rec{};
    std::string out;   // standard output of the run
    std::string rest;  // what the run left unread
};

// Runs `step` over a stream of `job` and collects what it printed and left.
template <typename Step>
RasterRun RunOn(const std::string& job, Step step) {
    TempJob file(job);
    CommandStream stream;
    EXPECT_TRUE(stream.Open(file.path()));
    RasterRun r;
    testing::internal::CaptureStdout();
    step(stream, r);
    r.out = testing::internal::GetCapturedStdout();
    uint8_t b = 0;
    while (stream.ReadByte(b)) r.rest += char(b);
    return r;
}
RasterRun RunRasterOn(const std::string& job, PageCountResult start = {}) {
    return RunOn(job, [&](CommandStream& s, RasterRun& r) { r.rec = start, RunRaster(s, r.mode, r.rec); });
}

// Data behind a count is never a command; where the run ends and what it leaves unread.
TEST(CanonRaster, DataBytesAreNeverTakenForCommands) {
    for (const CaseRow& c : ReadCases("escp/cases/raster_data.tsv")) {
        const RasterRun r = RunRasterOn(c.bytes("job"));
        EXPECT_EQ(r.mode, c.num("mode")) << c.name();
        EXPECT_EQ(r.rec.pages, c.num("pages")) << c.name();
        EXPECT_EQ(r.rec.color, c.num("color")) << c.name();
        EXPECT_EQ(r.rest, c.bytes("rest")) << c.name();
    }
}

// A run's pages, colour and page length merged into what earlier runs found.
TEST(CanonRaster, MergesIntoTheRecord) {
    for (const CaseRow& c : ReadCases("escp/cases/raster_merge.tsv")) {
        PageCountResult start{};
        start.pages = uint32_t(c.num("earlier pages"));
        start.copies = uint32_t(c.num("earlier copies"));
        start.color = uint8_t(c.num("earlier color"));
        start.paperWidth = c.num("earlier width");
        start.paperLength = c.num("earlier length");
        ExpectFields(RunRasterOn(c.bytes("job"), start).rec, WantOf(c), c.name());
    }
}

TEST(CanonRaster, TracesEveryCommand) {
    for (const CaseRow& c : ReadCases("escp/cases/raster_trace.tsv"))
        EXPECT_EQ(RunRasterOn(c.bytes("job")).out, c.bytes("out")) << c.name();
}

TEST(CanonRaster, TreeListsEndWithTheirNulNode) {
    // Every list of the tree ends in a node that matches any byte it does not
    // hold, so a walk never runs off a list.
    const RasterCommandNode* root = RasterCommandRoot();
    const RasterCommandNode* esc = FindRasterNode(root, 0x1B).child;
    ASSERT_NE(esc, nullptr);
    for (const RasterCommandNode* list : {root, esc, FindRasterNode(esc, '(').child, FindRasterNode(esc, '[').child}) {
        ASSERT_NE(list, nullptr);
        for (int code = 0; code < 256; ++code) {
            const RasterCommandNode& node = FindRasterNode(list, static_cast<uint8_t>(code));
            if (node.byte == 0) {
                EXPECT_EQ(node.child, nullptr);
                EXPECT_EQ(node.operation, nullptr);
            } else {
                EXPECT_EQ(node.byte, code);
            }
        }
    }
}

// ---- the text-language skip ----

RasterRun SkipOn(const std::string& job, int result) {
    return RunOn(job, [&](CommandStream& s, RasterRun& r) { r.mode = SkipBubbleJetLanguage(s, result); });
}

// The skip ends after a line starting with the end keyword, in either case; without one it
// gives back the result it was handed (7).
TEST(CanonBjl, SkipsUpToTheEndLine) {
    for (const CaseRow& c : ReadCases("escp/cases/bjl_skip.tsv")) {
        const RasterRun r = SkipOn(c.bytes("job"), 7);
        EXPECT_EQ(r.mode, c.num("result")) << c.name();
        EXPECT_EQ(r.rest, c.bytes("rest")) << c.name();
        EXPECT_EQ(r.out, kBjlMessage) << c.name();
    }
    EXPECT_TRUE(LineStartsWithKeyword("azAZ more", "AZaz"));  // either case, a to z
}

// ---- whole jobs through the entry point ----

// What a count of `job` through the entry point writes to standard output.
std::string TraceOf(const std::string& job) {
    TempJob file(job);
    PageCountResult rec{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetTotalPageCount_CANON(file.path(), &rec), QM_OK);
    return testing::internal::GetCapturedStdout();
}

TEST(Canon, CountsAcrossModeSwitches) {
    SilenceStdout quiet;
    ExpectRecordCases("CANON", "escp/cases/canon_pages.tsv", true);
}

TEST(Canon, TracesWholeJobs) {
    for (const CaseRow& c : ReadCases("escp/cases/canon_trace.tsv"))
        EXPECT_EQ(TraceOf(c.bytes("job")), c.bytes("out")) << c.name();
}

}  // namespace
