#include "escp/canon_escp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "casefile.h"

using namespace qmtest;

namespace {

struct EscpRun {
    std::string out;
    int mode = 0;
    PageCountResult rec{};
};

EscpRun RunOn(const std::string& job, PageCountResult start = {}) {
    qm::CommandStream s;
    s.Attach(qm::Bytes(job));
    EscpRun r;
    r.rec = start;
    r.mode = qm::canon::kEscpMode;
    testing::internal::CaptureStdout();
    qm::canon::RunEscp(s, r.mode, r.rec);
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

// Each command's trace, word for word, and the bytes it takes as its own.
TEST(CanonEscpTrace, WritesEachCommandWordForWord) {
    for (const CaseRow& c : ReadCases("escp/cases/canon_escp_trace.tsv")) {
        const EscpRun r = RunOn(c.bytes("job"));
        EXPECT_EQ(r.out, c.bytes("out")) << c.name();
        EXPECT_EQ(r.mode, qm::canon::kEndOfData) << c.name();
    }
}

// Pages, colour and paper length of one run, merged into what earlier runs found, and the
// mode the run ends in.
TEST(CanonEscpRun, CountsAndSwitchesMode) {
    for (const CaseRow& c : ReadCases("escp/cases/canon_escp_run.tsv")) {
        PageCountResult start{};
        start.pages = uint32_t(c.num("earlier pages"));
        start.color = uint8_t(c.num("earlier color"));
        start.paperLength = c.num("earlier length");
        start.paperWidth = c.num("earlier width");
        const EscpRun r = RunOn(c.bytes("job"), start);
        EXPECT_EQ(r.rec.pages, c.num("pages")) << c.name();
        EXPECT_EQ(r.rec.copies, 0u) << c.name();
        EXPECT_EQ(r.rec.color, c.num("color")) << c.name();
        EXPECT_DOUBLE_EQ(r.rec.paperLength, c.num("length")) << c.name();
        EXPECT_DOUBLE_EQ(r.rec.paperWidth, 8.5) << c.name();
        EXPECT_EQ(r.mode, c.num("mode")) << c.name();
    }
}

TEST(CanonEscpRun, NoFileEndsTheCount) {
    qm::CommandStream s;
    ASSERT_TRUE(s.Open(""));
    PageCountResult rec{};
    int mode = qm::canon::kEscpMode;
    qm::canon::RunEscp(s, mode, rec);
    EXPECT_EQ(mode, qm::canon::kEndOfData);
    EXPECT_EQ(rec.pages, 0u);
    EXPECT_EQ(rec.paperLength, 0.0);
}

TEST(CanonEscpRun, ZeroBitsPerDotRaises) {
    qm::CommandStream s;
    const std::string job = Lit("\x1bi\x00\x00\x00\x01\x00\x01\x00");
    s.Attach(qm::Bytes(job));
    PageCountResult rec{};
    int mode = qm::canon::kEscpMode;
    EXPECT_THROW(qm::canon::RunEscp(s, mode, rec), qm::escp2::BadRasterArgument);
    EXPECT_EQ(qm::canon::gTracePageFormat, nullptr);  // handlers released
    EXPECT_EQ(qm::canon::TraceDispatch(qm::canon::kTraceEscTable, '@'), 1);  // and a command finds none
}

}  // namespace
