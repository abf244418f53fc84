// Checks of case tables that the PCL and ESC/P tests share: diagnostic lines kept with their
// line feeds, records of the accurate counters, and detection bids.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "accurate_testutil.h"
#include "casefile.h"

namespace qmtest {

// A yes/no column; an empty one is no.
inline bool Yes(const CaseRow& r, const std::string& col) {
    const std::string& t = r.text(col);
    EXPECT_TRUE(t == "yes" || t == "no" || t.empty()) << r.where << ": " << col << " is yes or no";
    return t == "yes";
}

// Column `lines`: the diagnostic lines one after another, each ending in its line feed.
inline std::vector<std::string> LinesOf(const CaseRow& r) {
    std::vector<std::string> lines;
    const std::string all = r.bytes("lines");
    for (size_t from = 0; from < all.size();) {
        const size_t end = std::min(all.find('\n', from), all.size() - 1) + 1;
        lines.push_back(all.substr(from, end - from));
        from = end;
    }
    return lines;
}

inline void ExpectLineFeedCases(const char* tag, const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) ExpectLines(tag, r.name().c_str(), r.bytes("job"), LinesOf(r));
}

// Counts the job of every row with `count`; columns as in AccurateWant ("not understood" for
// its code, estimated yes or no).
inline void ExpectAccurateCases(int32_t (*count)(qm::Bytes, qm::accurate::Result&), const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) {
        AccurateWant w;
        w.code = r.text("code") == "not understood" ? QM_E_NOT_UNDERSTOOD : int32_t(r.num("code", QM_OK));
        w.pages = uint32_t(r.num("pages"));
        w.copies = uint32_t(r.num("copies", 1));
        w.colour = int(r.num("colour"));
        w.duplex = int(r.num("duplex"));
        w.width = r.num("width");
        w.length = r.num("length");
        w.estimated = Yes(r, "estimated");
        const std::string name = r.name();
        ExpectAccurate(count, {name.c_str(), r.bytes("job"), w});
    }
}

// Whether the language of column `tag` bids for the job (column bid, yes or no).
inline void ExpectBidCases(const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) {
        const std::string job = r.bytes("job");
        const int bid = qm::accurate::BidOf(*qm::accurate::FindLanguage(r.text("tag")), qm::Bytes(job));
        EXPECT_EQ(bid > qm::accurate::kNoBid, Yes(r, "bid")) << r.name();
    }
}

}  // namespace qmtest
