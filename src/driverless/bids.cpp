// Detection bids of the driverless rasters and PCLm: the signature, then the
// first page header read and checked as a printer checks it.
#include <algorithm>

#include "driverless/raster_accurate.h"

namespace qm::accurate {
namespace {

using driverless::HeaderState;
using driverless::RasterKind;

// A valid first page header is the structure; a header cut short by the end
// of what detection sees leaves the signature alone.
template <RasterKind... Kinds>
int BidRaster(const BidInput& in) noexcept {
    const Bytes body = Body(in);
    const driverless::RasterStream s = driverless::ReadSignature(body);
    if (((s.kind != Kinds) && ...)) return kNoBid;
    driverless::RasterPage page;
    switch (driverless::ReadPageHeader(body, s.firstPage, s, page)) {
        case HeaderState::Valid: return kBidStructure;
        case HeaderState::Cut: return kBidSignature;
        case HeaderState::Invalid: break;
    }
    return kNoBid;
}

// How far into a PDF the PCLm comment may stand: it follows the header line.
constexpr uint32_t kPclmCommentWindow = 64;

}  // namespace

int BidPWGRaster(const BidInput& in) noexcept { return BidRaster<RasterKind::Pwg>(in); }
int BidURF(const BidInput& in) noexcept { return BidRaster<RasterKind::Urf>(in); }
int BidCUPSRaster(const BidInput& in) noexcept {
    return BidRaster<RasterKind::CupsV1, RasterKind::CupsV2, RasterKind::CupsV3>(in);
}

// PCLm is a PDF that says so in a comment line right after its header: it
// outbids the PDF it also is.
int BidPCLm(const BidInput& in) noexcept {
    const int pdf = BidPDF(in);
    if (pdf <= kNoBid) return kNoBid;
    const Bytes body = Body(in);
    const uint32_t window = std::min(body.size, kPclmCommentWindow);
    for (uint32_t i = body.find(0, '\n'); i + 1 < window; i = body.find(i + 1, '\n')) {
        if (body.matches(i + 1, "%PCLm ")) return pdf + 1;
    }
    return kNoBid;
}

}  // namespace qm::accurate
