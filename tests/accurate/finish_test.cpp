// What every accurate count ends with: copies at least 1, colour and duplex
// 0 or 1, a paper of which one side is unknown reported as 0 x 0 and marked.
#include <gtest/gtest.h>

#include "accurate/accurate.h"
#include "testutil.h"

TEST(AccurateFinish, SettlesEveryField) {
    struct Case {
        uint32_t copies;
        uint8_t color, duplex;
        double width, length;
        uint32_t wantCopies;
        uint8_t wantDuplex;
        double wantWidth;
        uint32_t wantUnknown;
    } cases[] = {
        {0, 0, 0, 8.5, 11.0, 1, 0, 8.5, 0},                // no copies stated: one
        {3, 7, 2, 8.5, 11.0, 3, 1, 8.5, 0},                // flags become 0 or 1
        {1, 0, 0, 8.5, 0.0, 1, 0, 0.0, QM_FIELD_PAPER},    // half a paper size is none
        {1, 0, 0, -1.0, 11.0, 1, 0, 0.0, QM_FIELD_PAPER},
    };
    for (const Case& c : cases) {
        qm::accurate::Result r;
        r.rec.copies = c.copies;
        r.rec.color = c.color;
        r.rec.duplex = c.duplex;
        r.rec.paperWidth = c.width;
        r.rec.paperLength = c.length;
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.copies, c.wantCopies);
        EXPECT_EQ(r.rec.color, c.color ? 1 : 0);
        EXPECT_EQ(r.rec.duplex, c.wantDuplex);
        EXPECT_EQ(r.rec.paperWidth, c.wantWidth);
        EXPECT_EQ(r.rec.paperLength, c.wantUnknown ? 0.0 : c.length);
        EXPECT_EQ(r.unknown, c.wantUnknown);
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
