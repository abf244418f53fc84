// Detection bids of the host-based GDI streams of this folder: the stream's
// signature after its PJL header, then its first records walked by the counts
// they state.
#include "gdi/xqx.h"

namespace qm::accurate {
namespace {

// Records a walk must see before the language is believed, unless the head
// holds the whole job and the walk ends it.
constexpr int kRecords = 3;

}  // namespace

// XQX: ",XQX", then a document start whose items parse, then records.
int BidXQX(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, ",XQX")) return kNoBid;
    uint32_t at = gdi::kXqxSignature;
    int n = 0;
    while (n < kRecords && at < b.size) {
        const gdi::XqxStep s = gdi::ReadXqxRecord(b, at);
        if (!s.ok) {
            if (s.cut) break;  // cut by the end of the head or of the job: the signature stands
            return kNoBid;
        }
        if (n == 0 && s.type != uint32_t(gdi::XqxRecord::StartDoc)) return kNoBid;
        at = s.next;
        ++n;
    }
    return n >= kRecords || (n > 0 && WholeJob(in) && at == b.size) ? kBidStructure : kBidSignature;
}

}  // namespace qm::accurate
