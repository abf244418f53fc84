// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
#include "accurate/accurate.h"

namespace qm::accurate {

int BidZIMF(const BidInput&) noexcept { return kNoBid; }
int BidLexmark(const BidInput&) noexcept { return kNoBid; }
int BidHBP(const BidInput&) noexcept { return kNoBid; }
int BidTCPL(const BidInput&) noexcept { return kNoBid; }
int BidPPA(const BidInput&) noexcept { return kNoBid; }
int BidOKI(const BidInput&) noexcept { return kNoBid; }
int BidZJSTREAM(const BidInput&) noexcept { return kNoBid; }
int BidTALLYSTREAM(const BidInput&) noexcept { return kNoBid; }
int BidOAKT(const BidInput&) noexcept { return kNoBid; }
int BidPANASONIC(const BidInput&) noexcept { return kNoBid; }
int BidCanonUFR(const BidInput&) noexcept { return kNoBid; }
int BidHIPERC(const BidInput&) noexcept { return kNoBid; }
int BidLIDIL(const BidInput&) noexcept { return kNoBid; }
int BidCanonCAPT(const BidInput&) noexcept { return kNoBid; }
int BidBrotherNCM(const BidInput&) noexcept { return kNoBid; }
int BidFijiPhoto(const BidInput&) noexcept { return kNoBid; }

}  // namespace qm::accurate
