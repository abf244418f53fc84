// What the colour-truth tests share: the pages QuirometerCountPages hands
// over, as letters (M mono, C colour, ? unknown) and papers, and the paper
// of each master's pages (tests/corpus/colour/pages.tsv).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "casefile.h"
#include "quirometer/quirometer.h"

namespace qmtest {

inline const std::string kColourDir = std::string(QM_SOURCE_DIR) + "/tests/corpus/colour";

struct Seen {
    std::string colours;
    std::vector<std::pair<double, double>> paper;
};

inline int OnPage(const QuirometerPage* page, void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->colours += page->color == QM_PAGE_MONO ? 'M' : page->color == QM_PAGE_COLOR ? 'C' : '?';
    seen->paper.emplace_back(page->paperWidth, page->paperLength);
    return 0;
}

// Paper of each master's pages, by master and page number.
inline std::map<std::string, std::vector<std::pair<double, double>>> MasterPaper() {
    std::string error;
    std::map<std::string, std::vector<std::pair<double, double>>> paper;
    for (const CaseRow& r : ReadTsv(kColourDir + "/pages.tsv", "pages.tsv", error))
        paper[r.text("master")].emplace_back(r.num("paperWidth"), r.num("paperLength"));
    EXPECT_TRUE(error.empty()) << error;
    return paper;
}

}  // namespace qmtest
