// The accurate counts of the driverless rasters and of PCLm.
#include "driverless/raster_accurate.h"
#include "pspdf/pdf_accurate.h"

namespace qm::accurate {
namespace {

using driverless::RasterKind;

// The job behind its wrapper, when it is a raster of one of `kinds`: a job
// counted as a language it is not (forced by the caller) is not understood.
template <RasterKind... Kinds>
int32_t CountBody(Bytes job, Result& out) {
    char pjl[32], ejl[32];
    const BidInput wrapper = Unwrap(job, pjl, ejl);
    const RasterKind kind = driverless::ReadSignature(Bytes(job.data + wrapper.body, job.left(wrapper.body))).kind;
    if (((kind != Kinds) && ...)) return QM_E_NOT_UNDERSTOOD;
    return driverless::CountRaster(job, wrapper.body, out, driverless::Pixels::Read);
}

}  // namespace

int32_t AccuratePWGRaster(Bytes job, Result& out) { return CountBody<RasterKind::Pwg>(job, out); }
int32_t AccurateURF(Bytes job, Result& out) { return CountBody<RasterKind::Urf>(job, out); }
// PWG Raster is a CUPS Raster version 2 profile: counted as either.
int32_t AccurateCUPSRaster(Bytes job, Result& out) {
    return CountBody<RasterKind::CupsV1, RasterKind::CupsV2, RasterKind::CupsV3, RasterKind::Pwg>(job, out);
}

// PCLm pages are PDF pages of image strips: the PDF reader counts them, and
// decides each page's colour from the strips it can decode.
int32_t AccuratePCLm(Bytes job, Result& out) { return pdf::Count(job, out, pdf::Colour::Read); }

}  // namespace qm::accurate
