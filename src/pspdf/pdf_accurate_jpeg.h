// Whether a JPEG image prints in colour, from its decoded pixels: a grey
// picture stored in YCbCr has its chroma at the middle value, one stored in
// RGB or CMYK has equal components (C, M and Y for CMYK).
#pragma once

#include <cstdint>
#include <string_view>

namespace qm::pdf {

// QM_PAGE_MONO when every pixel is neutral, QM_PAGE_COLOR when one is not,
// QM_PAGE_COLOR_UNKNOWN when the data does not decode or holds more than
// `maxPixels` pixels.
uint8_t JpegColour(std::string_view jpeg, uint64_t maxPixels);

}  // namespace qm::pdf
