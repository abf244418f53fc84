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
        r.unknown = static_cast<uint32_t>(c.num("unknown"));
        qm::PjlSettings pjl;  // a PJL header before the job: its settings fill what the counter left
        const std::string header = c.bytes("pjl");
        qm::ReadPjlHeader(qm::Bytes(header), 0, pjl);
        qm::accurate::ApplyHeader(pjl, r);
        qm::accurate::Finish(r);
        const bool paperUnknown = c.num("paperUnknown") != 0;
        EXPECT_EQ(r.rec.copies, c.num("wantCopies"));
        EXPECT_EQ(r.rec.color, c.num("wantColor", c.num("color") != 0 ? 1 : 0));
        EXPECT_EQ(r.rec.duplex, c.num("wantDuplex"));
        EXPECT_EQ(r.rec.paperWidth, c.num("wantWidth"));
        EXPECT_EQ(r.rec.paperLength, paperUnknown ? 0.0 : c.num("wantLength", c.num("length")));
        EXPECT_EQ(r.unknown, paperUnknown ? QM_FIELD_PAPER : 0u);
    }
}

// The export's record passed through, cleared first: the languages of command
// streams are counted from the bytes too; PDF, whose export reads its file by
// path, gives none, and an unknown tag leaves the record alone.
TEST(AccuratePassThrough, CountsCommandStreamsAndNothingElse) {
    const std::tuple<const char*, int32_t, uint32_t> cases[] = {{"ESCP2", QM_OK, 1}, {"CANON", QM_OK, 1},
        {"HBP", QM_OK, 0}, {"PDF", QM_E_NOT_UNDERSTOOD, 0}, {"NOSUCH", QM_E_INVALIDARG, 7}};
    qmtest::SilenceStdout quiet;  // the interpreters trace their commands
    for (const auto& [tag, code, pages] : cases) {
        qm::accurate::Result r;
        r.rec.pages = 7;
        EXPECT_EQ(qm::accurate::PassThrough(tag, qm::Bytes(std::string_view("\x1b@page\f")), r), code) << tag;
        EXPECT_EQ(r.rec.pages, pages) << tag;
    }
}

// The page log against the record: pages made from the record where the
// counter logged none, a log of the counter's own cut or filled to the
// count and deciding the job's colour, sides alternating in duplex jobs.
TEST(AccurateFinish, SettlesThePagesAgainstTheRecord) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("accurate/cases/pages.tsv")) {
        SCOPED_TRACE(c.name());
        qm::accurate::Result r;
        r.rec.pages = static_cast<uint32_t>(c.num("pages"));
        r.rec.color = static_cast<uint8_t>(c.num("color"));
        r.rec.duplex = static_cast<uint8_t>(c.num("duplex"));
        r.rec.paperWidth = 8.5;
        r.rec.paperLength = 11;
        if (c.num("colorUnknown") != 0) r.unknown |= QM_FIELD_COLOR;
        for (char k : c.text("log")) {
            qm::accurate::Page p;
            p.color = k == 'C' ? QM_PAGE_COLOR : k == 'U' ? QM_PAGE_COLOR_UNKNOWN : QM_PAGE_MONO;
            p.paperWidth = k == 'T' || k == 'W' ? 11 : 0;
            p.paperLength = k == 'T' ? 17 : k == 'L' ? 14 : 0;
            p.side = k == 'F' ? QM_SIDE_FRONT : k == 'B' ? QM_SIDE_BACK : QM_SIDE_NONE;
            if (k != '-') r.pages.Add(p);
        }
        qm::accurate::Finish(r);
        std::string got;
        uint32_t n = 0;
        for (const auto& run : r.pages.Runs()) {
            for (uint32_t i = 0; i < run.count; ++i) {
                const QuirometerPage p = qm::accurate::Deliver(r, run.page, ++n);
                EXPECT_EQ(p.number, n);
                const bool own = p.paperWidth == 11 && p.paperLength == 17;
                if (!own) {
                    EXPECT_EQ(std::pair(p.paperWidth, p.paperLength), std::pair(8.5, 11.0));
                }
                got += "MCU"[p.color] + std::string(own ? "t" : "");
                if (p.side != QM_SIDE_NONE) got += p.side == QM_SIDE_FRONT ? 'f' : 'b';
            }
        }
        EXPECT_EQ(got, c.text("want"));
        EXPECT_EQ(r.rec.color, c.num("wantColor"));
        EXPECT_EQ(r.unknown & QM_FIELD_COLOR, c.num("wantUnknown") != 0 ? QM_FIELD_COLOR : 0u);
    }
}

// Runs merge alike pages, and past the cap a page joins the last run, which
// turns unknown where the two differ; the count of pages stays exact.
TEST(AccuratePageLog, MergesAlikePagesAndStaysBounded) {
    qm::accurate::PageLog log;
    qm::accurate::Page mono, colour;
    mono.color = QM_PAGE_MONO;
    colour.color = QM_PAGE_COLOR;
    log.Add(mono, 5);
    log.Add(mono);
    EXPECT_EQ(log.Runs().size(), 1u);
    for (size_t i = 1; i < qm::accurate::PageLog::kMaxRuns; ++i) log.Add(i % 2 ? colour : mono);
    ASSERT_EQ(log.Runs().size(), qm::accurate::PageLog::kMaxRuns);
    const uint8_t lastColor = log.Runs().back().page.color;
    log.Add(lastColor == QM_PAGE_MONO ? colour : mono, 2);
    EXPECT_EQ(log.Runs().size(), qm::accurate::PageLog::kMaxRuns);
    EXPECT_EQ(log.Runs().back().page.color, QM_PAGE_COLOR_UNKNOWN);
    EXPECT_EQ(log.Runs().back().count, 3u);
    EXPECT_EQ(log.Pages(), 6 + qm::accurate::PageLog::kMaxRuns - 1 + 2);
    log.Resize(7, mono);  // cut inside the runs: those after the 7th page go
    EXPECT_EQ(log.Pages(), 7u);
    EXPECT_EQ(log.Runs().size(), 2u);
    EXPECT_EQ(log.Count(QM_PAGE_MONO) + log.Count(QM_PAGE_COLOR), 7u);
    log.Add(colour, 3);
    log.Resize(8, mono);  // cut inside the second run
    EXPECT_EQ(log.Count(QM_PAGE_COLOR), 2u);
}
