// The accurate counts of the driverless rasters and of PCLm.
#include "driverless/raster_accurate.h"
#include "pspdf/pdf_accurate.h"

namespace qm::accurate {
namespace {

int32_t CountBody(Bytes job, Result& out) {
    char pjl[32], ejl[32];
    const BidInput wrapper = Unwrap(job, pjl, ejl);
    return driverless::CountRaster(job, wrapper.body, out, driverless::Pixels::Read);
}

}  // namespace

int32_t AccuratePWGRaster(Bytes job, Result& out) { return CountBody(job, out); }
int32_t AccurateURF(Bytes job, Result& out) { return CountBody(job, out); }
int32_t AccurateCUPSRaster(Bytes job, Result& out) { return CountBody(job, out); }

// PCLm pages are PDF pages of image strips: the PDF reader counts them, and
// decides each page's colour from the strips it can decode.
int32_t AccuratePCLm(Bytes job, Result& out) { return pdf::Count(job, out, pdf::Colour::Read); }

}  // namespace qm::accurate
