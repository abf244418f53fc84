// Detection of the host-based and vendor streams: each bid walks the first
// records by their own lengths, so a chain that holds names the language and
// one that breaks names none.
#include "accurate/accurate.h"
#include "casefile.h"

using namespace qmtest;

namespace {

TEST(HostVendorBids, ChainsThatHoldAndChainsThatBreak) {
    for (const CaseRow& r : ReadCases("hostbased/cases/bids.tsv")) {
        const std::string job = r.bytes("job");
        const auto d = qm::accurate::Detect(qm::Bytes(job));
        EXPECT_STREQ(d.winner ? d.winner->counter->tag : "unknown", r.text("tag").c_str()) << r.name();
    }
}

}  // namespace
