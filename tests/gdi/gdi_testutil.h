// The case runner of this folder's tables: a job built from a row, counted,
// and compared field by field and page by page.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "accurate_testutil.h"
#include "casefile.h"

namespace qmtest::gdi {

// Each page of a counted job as its colour letter (M, C, ?), followed by
// its side (f, b) where the page states one.
inline std::string PageLetters(const qm::accurate::Result& r) {
    std::string s;
    for (const auto& run : r.pages.Runs()) {
        const char c = run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : '?';
        const char side = run.page.side == QM_SIDE_FRONT ? 'f' : run.page.side == QM_SIDE_BACK ? 'b' : '\0';
        for (uint32_t i = 0; i < run.count; ++i) {
            s += c;
            if (side) s += side;
        }
    }
    return s;
}

// Each page's own paper as WxL in inches, pages separated by blanks.
inline std::string PagePapers(const qm::accurate::Result& r) {
    std::string s;
    for (const auto& run : r.pages.Runs()) {
        char one[48];
        std::snprintf(one, sizeof one, "%.2fx%.2f", run.page.paperWidth, run.page.paperLength);
        for (uint32_t i = 0; i < run.count; ++i) s += (s.empty() ? "" : " ") + std::string(one);
    }
    return s;
}

// Rows: pages ("-": not understood), copies, duplex, width, length,
// estimated (yes/no), pagelog (PageLetters), and where given papers (PagePapers).
inline void ExpectPageCases(int32_t (*count)(qm::Bytes, qm::accurate::Result&), const std::string& table,
                            const std::function<std::string(const CaseRow&)>& job) {
    for (const CaseRow& c : ReadCases(table)) {
        const std::string bytes = job(c);
        qm::accurate::Result r;
        const Guarded guarded(bytes);  // a read past its end faults
        const int32_t code = count(guarded.bytes(), r);
        if (c.text("pages") == "-") {
            EXPECT_EQ(code, QM_E_NOT_UNDERSTOOD) << c.name();
            continue;
        }
        ASSERT_EQ(code, QM_OK) << c.name();
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.pages, uint32_t(c.num("pages"))) << c.name();
        EXPECT_EQ(r.rec.copies, uint32_t(c.num("copies", 1))) << c.name();
        EXPECT_EQ(r.rec.duplex, c.num("duplex")) << c.name();
        EXPECT_NEAR(r.rec.paperWidth, c.num("width"), 0.01) << c.name();
        EXPECT_NEAR(r.rec.paperLength, c.num("length"), 0.01) << c.name();
        EXPECT_EQ(r.estimated, c.text("estimated") == "yes") << c.name();
        EXPECT_EQ(PageLetters(r), c.text("pagelog")) << c.name();
        if (!c.text("papers").empty()) {
            EXPECT_EQ(PagePapers(r), c.text("papers")) << c.name();
        }
    }
}

}  // namespace qmtest::gdi
