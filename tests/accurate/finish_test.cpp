// What every accurate count ends with: copies at least 1, colour and duplex
// 0 or 1, a paper of which one side is unknown reported as 0 x 0 and marked.
#include <gtest/gtest.h>

#include "accurate/accurate.h"
#include "casefile.h"
#include "testutil.h"

TEST(AccurateFinish, SettlesEveryField) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("accurate/cases/finish.tsv")) {
        SCOPED_TRACE(c.name());
        qm::accurate::Result r;
        r.rec.copies = static_cast<uint32_t>(c.num("copies"));
        r.rec.color = static_cast<uint8_t>(c.num("color"));
        r.rec.duplex = static_cast<uint8_t>(c.num("duplex"));
        r.rec.paperWidth = c.num("width");
        r.rec.paperLength = c.num("length");
        qm::accurate::Finish(r);
        const bool paperUnknown = c.num("paperUnknown") != 0;
        EXPECT_EQ(r.rec.copies, c.num("wantCopies"));
        EXPECT_EQ(r.rec.color, c.num("color") != 0 ? 1 : 0);
        EXPECT_EQ(r.rec.duplex, c.num("wantDuplex"));
        EXPECT_EQ(r.rec.paperWidth, c.num("wantWidth"));
        EXPECT_EQ(r.rec.paperLength, paperUnknown ? 0.0 : c.num("length"));
        EXPECT_EQ(r.unknown, paperUnknown ? QM_FIELD_PAPER : 0u);
    }
}

// The export's record passed through: the languages of command streams are
// counted from the bytes too; PDF, whose export reads its file by path, and
// an unknown tag give none.
TEST(AccuratePassThrough, CountsCommandStreamsAndNothingElse) {
    const std::pair<const char*, int32_t> cases[] = {
        {"ESCP2", QM_OK}, {"CANON", QM_OK}, {"PDF", QM_E_NOT_UNDERSTOOD}, {"NOSUCH", QM_E_INVALIDARG}};
    qmtest::SilenceStdout quiet;  // the interpreters trace their commands
    for (const auto& [tag, code] : cases) {
        qm::accurate::Result r;
        EXPECT_EQ(qm::accurate::PassThrough(tag, qm::Bytes(std::string_view("\x1b@page\f")), r), code) << tag;
    }
}
