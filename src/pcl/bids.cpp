// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include "accurate/accurate.h"

namespace qm::accurate {

int BidPCL(const BidInput&) noexcept { return kNoBid; }
int BidPCLXL(const BidInput&) noexcept { return kNoBid; }
int BidHPGL(const BidInput&) noexcept { return kNoBid; }
int BidUnixTextPCL(const BidInput&) noexcept { return kNoBid; }

}  // namespace qm::accurate
