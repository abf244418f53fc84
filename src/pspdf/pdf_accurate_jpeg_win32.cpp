// JPEG images on Windows, where there is no libjpeg: the system's imaging
// component decodes them to RGB (the decoder the PCL XL colour pass uses),
// and a pixel whose components differ by more than the slack is colour.
// CMYK and other layouts it does not turn into RGB stay unknown.
#if defined(_WIN32)
#include "pspdf/pdf_accurate_jpeg.h"

#include "jobfile/bytes.h"
#include "pcl/jpeg_accurate.h"
#include "quirometer/quirometer.h"

namespace qm::pdf {

uint8_t JpegColour(std::string_view jpeg, uint64_t maxPixels) {
    (void)maxPixels;  // the decoder keeps its own cap on pixels
    switch (pclraster::ColourOfJpeg(Bytes(jpeg), 8)) {
        case pclraster::JpegColour::Neutral: return QM_PAGE_MONO;
        case pclraster::JpegColour::Colour: return QM_PAGE_COLOR;
        default: return QM_PAGE_COLOR_UNKNOWN;
    }
}

}  // namespace qm::pdf
#endif
