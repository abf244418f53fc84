// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include "accurate/accurate.h"

namespace qm::accurate {

int BidESC_PAGE(const BidInput&) noexcept { return kNoBid; }
int BidRPCS(const BidInput&) noexcept { return kNoBid; }
int BidQPDL(const BidInput&) noexcept { return kNoBid; }
int BidIPDL(const BidInput&) noexcept { return kNoBid; }
int BidPrintronixGL(const BidInput&) noexcept { return kNoBid; }

}  // namespace qm::accurate
