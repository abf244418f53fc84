// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include "accurate/accurate.h"

namespace qm::accurate {

int BidPOSTSCRIPT(const BidInput&) noexcept { return kNoBid; }
int BidPDF(const BidInput&) noexcept { return kNoBid; }

}  // namespace qm::accurate
