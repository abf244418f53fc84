// The PJL header in front of a job: the one reader every accurate counter
// and detection use, a header naming a language outside ours refusing the
// job, and what a header sets applying to the job behind it.
#include <gtest/gtest.h>

#include <string>

#include "accurate/accurate.h"
#include "casefile.h"
#include "testutil.h"

namespace {

using qm::Bytes;
using qmtest::CaseRow;
using qmtest::ReadCases;
using qmtest::ReadFile;

const std::string kSamples = std::string(QM_SOURCE_DIR) + "/samples/";

TEST(PjlHeader, ReadsEveryLineBeforeTheBody) {
    for (const CaseRow& r : ReadCases("accurate/cases/pjl_header.tsv")) {
        SCOPED_TRACE(r.name());
        const std::string text = r.bytes("text");
        qm::PjlSettings pjl;
        const uint32_t body = qm::ReadPjlHeader(Bytes(text), 0, pjl);
        EXPECT_EQ(text.substr(body), r.bytes("rest"));
        EXPECT_EQ(pjl.entered, qmtest::Yes(r, "entered"));
        EXPECT_EQ(std::string(pjl.language), r.text("language"));
        EXPECT_EQ(pjl.Copies(), uint32_t(r.num("copies")));
        const std::string& duplex = r.text("duplex");
        EXPECT_EQ(pjl.duplex, duplex == "on"    ? qm::PjlDuplex::On
                              : duplex == "off" ? qm::PjlDuplex::Off
                                                : qm::PjlDuplex::Unstated);
        EXPECT_EQ(pjl.Mono(), qmtest::Yes(r, "mono"));
        EXPECT_DOUBLE_EQ(pjl.paperWidth, r.num("width"));
        EXPECT_DOUBLE_EQ(pjl.paperLength, r.num("length"));
    }
    // Between PJL lines inside a job the UEL is the caller's to read.
    qm::PjlSettings pjl;
    const std::string uel = "\x1b%-12345X@PJL SET COPIES=2\n";
    EXPECT_EQ(qm::ReadPjlLines(Bytes(uel), 0, pjl), 0u);
    EXPECT_EQ(qm::ReadPjlLines(Bytes(uel), 9, pjl), uel.size());
    EXPECT_EQ(pjl.copies, 2u);
}

std::string Job(const CaseRow& r, const std::string& body = {}) {
    const std::string& sample = r.text("sample");
    return r.bytes("header") + (sample.empty() ? body : ReadFile(kSamples + sample));
}

TEST(PjlHeader, AForeignLanguageVetoesEveryBid) {
    for (const CaseRow& r : ReadCases("accurate/cases/foreign.tsv")) {
        const auto d = qm::accurate::Detect(Bytes(Job(r, r.bytes("body"))));
        EXPECT_EQ(d.winner ? d.winner->counter->tag : "unknown", r.text("tag")) << r.name();
        EXPECT_EQ(d.foreign, r.text("tag") == "unknown") << r.name();
    }
}

TEST(PjlHeader, SettingsApplyToTheBody) {
    for (const CaseRow& r : ReadCases("accurate/cases/header_settings.tsv")) {
        SCOPED_TRACE(r.name());
        qmtest::TempJob file(Job(r));
        QuirometerJob job{};
        job.size = sizeof job;
        ASSERT_EQ(QuirometerCount(file.path(), nullptr, &job), QM_OK);
        EXPECT_EQ(job.pages, uint32_t(r.num("pages")));
        EXPECT_EQ(job.copies, uint32_t(r.num("copies")));
        // 1, 0 (known), ? (0 and marked unknown), - (not checked).
        const auto check = [&](const char* column, uint32_t value, uint32_t field) {
            const std::string& want = r.text(column);
            if (want == "-") return;
            EXPECT_EQ(value, want == "1" ? 1u : 0u) << column;
            EXPECT_EQ((job.unknown & field) != 0, want == "?") << column;
        };
        check("duplex", job.duplex, QM_FIELD_DUPLEX);
        check("colour", job.color, QM_FIELD_COLOR);
        EXPECT_DOUBLE_EQ(job.paperWidth, r.num("width"));
        EXPECT_DOUBLE_EQ(job.paperLength, r.num("length"));
        EXPECT_EQ(job.certainty, r.num("certainty"));
        EXPECT_EQ((job.unknown & QM_FIELD_PAPER) != 0, r.num("width") == 0);
    }
}

}  // namespace
